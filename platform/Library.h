// Libraries loaded at run time (the engines), and the process error mode that keeps a load quiet.
#pragma once

#include <string>

#include "platform/Handle.h"

namespace platform {

struct LibraryPolicy {
    using Value = void*;
    static constexpr void* Invalid() { return nullptr; }
    static void Close(void* library);
};
using LibraryHandle = UniqueHandle<LibraryPolicy>;

// A path with a folder is loaded from there; a bare name is searched for as Windows does, the
// running program's folder first. An invalid handle when the library cannot be loaded.
LibraryHandle LoadLibrary(const std::string& path);
// The address of an export found by its plain name, or nullptr.
void* GetProcAddress(const LibraryHandle& library, const char* name);

constexpr unsigned kFailCriticalErrors = 1;
unsigned SetErrorMode(unsigned mode);  // returns the previous mode

// Puts the process error mode back when it goes out of scope.
class ErrorModeGuard {
public:
    explicit ErrorModeGuard(unsigned mode) : previous_(SetErrorMode(mode)) {}
    ~ErrorModeGuard() { SetErrorMode(previous_); }
    ErrorModeGuard(const ErrorModeGuard&) = delete;
    ErrorModeGuard& operator=(const ErrorModeGuard&) = delete;

private:
    unsigned previous_;
};

}  // namespace platform
