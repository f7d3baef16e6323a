// Libraries loaded at run time on Windows.
#include "platform/win32/WindowsApi.h"

#include "platform/Native.h"

namespace platform::native {

void* LoadLibrary(const std::string& path) { return ::LoadLibraryA(path.c_str()); }

void FreeLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

void* GetProcAddress(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace platform::native
