// Libraries loaded at run time on the host: shared objects through the dynamic loader.
#include <dlfcn.h>

#include "platform/Backend.h"
#include "platform/Library.h"

namespace platform {
namespace {

unsigned gErrorMode = 0;

}  // namespace

void LibraryPolicy::Close(void* library) { ::dlclose(library); }

LibraryHandle LoadLibrary(const std::string& path) {
    for (const std::string& place : detail::LibraryPlaces(path)) {
        if (void* library = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL)) return LibraryHandle(library);
    }
    return LibraryHandle();
}

void* GetProcAddress(const LibraryHandle& library, const char* name) {
    return library ? ::dlsym(library.Get(), name) : nullptr;
}

// The host shows no critical-error dialog; the mode is kept only so that it reads back as set.
unsigned SetErrorMode(unsigned mode) {
    const unsigned previous = gErrorMode;
    gErrorMode = mode;
    return previous;
}

}  // namespace platform
