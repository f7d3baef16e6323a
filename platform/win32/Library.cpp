// Libraries loaded at run time on Windows, and the process error mode.
#include "platform/win32/WindowsApi.h"

#include "platform/Backend.h"
#include "platform/Library.h"

namespace platform {

void LibraryPolicy::Close(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

LibraryHandle LoadLibrary(const std::string& path) {
    for (const std::string& place : detail::LibraryPlaces(path)) {
        if (HMODULE library = ::LoadLibraryW(win32::Wide(place).c_str())) return LibraryHandle(library);
    }
    return LibraryHandle();
}

void* GetProcAddress(const LibraryHandle& library, const char* name) {
    return library ? reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library.Get()), name)) : nullptr;
}

unsigned SetErrorMode(unsigned mode) { return ::SetErrorMode(mode); }

}  // namespace platform
