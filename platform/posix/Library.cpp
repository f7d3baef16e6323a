// Libraries loaded at run time on the host: shared objects through the dynamic loader.
#include <dlfcn.h>

#include "platform/Native.h"

namespace platform::native {

void* LoadLibrary(const std::string& path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void FreeLibrary(void* library) { ::dlclose(library); }

void* GetProcAddress(void* library, const char* name) { return ::dlsym(library, name); }

}  // namespace platform::native
