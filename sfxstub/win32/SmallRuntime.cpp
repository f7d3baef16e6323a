// sfx.bin runs without exceptions: what the C++ library would throw ends the program with a message.
#include <windows.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <new>
#include <string>

#include "platform/Files.h"

namespace {

[[noreturn]] void Fail(const char* text) {
    ::MessageBoxA(nullptr, text, "", MB_OK | MB_ICONERROR);
    ::ExitProcess(1);
}

}  // namespace

// Only opening the stub's own file and starting zlib raise this; both are checked for before.
void platform::RaiseFileError(const std::string& text) { Fail(text.c_str()); }

namespace __gnu_cxx {
// Replaces the verbose handler, which would bring in the demangler.
void __verbose_terminate_handler() { Fail("Internal error."); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { Fail("Out of memory."); }
void __throw_bad_array_new_length() { Fail("Out of memory."); }
void __throw_length_error(const char*) { Fail("Out of memory."); }
void __throw_logic_error(const char* what) { Fail(what); }
void __throw_out_of_range(const char* what) { Fail(what); }
void __throw_out_of_range_fmt(const char* what, ...) { Fail(what); }
void __throw_invalid_argument(const char* what) { Fail(what); }
void __throw_bad_function_call() { Fail("Internal error."); }
}  // namespace std

// The library's clocks come with its exception tables; these read Windows' clocks instead. The
// stub uses them only to vary temporary names and cipher headers.
std::chrono::system_clock::time_point std::chrono::system_clock::now() noexcept {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const int64_t ticks = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr int64_t kUnixEpochTicks = 116444736000000000;  // 100 ns ticks from 1601 to 1970
    return time_point(std::chrono::duration_cast<duration>(std::chrono::microseconds((ticks - kUnixEpochTicks) / 10)));
}

std::chrono::steady_clock::time_point std::chrono::steady_clock::now() noexcept {
    return time_point(std::chrono::duration_cast<duration>(std::chrono::milliseconds(::GetTickCount())));
}

// The C++ library formats through MinGW's own printf, which brings floating-point conversion the
// stub never uses (25 KB); Windows' C library does the stub's %s, %d and %X as well.
extern "C" int __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list arguments) {
    va_list counting;
    va_copy(counting, arguments);
    const int length = _vscprintf(format, counting);
    va_end(counting);
    if (length < 0 || size == 0) return length;
    _vsnprintf(buffer, size, format, arguments);
    buffer[std::min<size_t>(size - 1, static_cast<size_t>(length))] = '\0';
    return length;
}

void* operator new(std::size_t size) {
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    Fail("Out of memory.");
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
