// Windows text: UTF-8 to and from the system's UTF-16, the OEM and ANSI code pages, the console.
#include "platform/win32/WindowsApi.h"

#include <shellapi.h>

#include "platform/Text.h"

namespace platform {

std::string OemToAnsi(const std::string& text) {
    std::string ansi(text.size(), '\0');
    if (!text.empty()) ::OemToCharBuffA(text.data(), ansi.data(), static_cast<DWORD>(text.size()));
    return ansi;
}

std::string AnsiToOem(const std::string& text) {
    std::string oem(text.size(), '\0');
    if (!text.empty()) ::CharToOemBuffA(text.data(), oem.data(), static_cast<DWORD>(text.size()));
    return oem;
}

namespace {

std::wstring ToUtf16(UINT codePage, const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring utf16(static_cast<size_t>(wide), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, utf16.data(), wide);
    return utf16;
}

std::string FromUtf16(UINT codePage, const wchar_t* utf16, size_t length) {
    if (!utf16 || length == 0) return {};
    const int wide = static_cast<int>(length);
    const int bytes = ::WideCharToMultiByte(codePage, 0, utf16, wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string text(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(codePage, 0, utf16, wide, text.data(), bytes, nullptr, nullptr);
    return text;
}

}  // namespace

namespace win32 {

std::wstring Wide(const std::string& utf8) { return ToUtf16(CP_UTF8, utf8); }
std::string Utf8(const wchar_t* utf16, size_t length) { return FromUtf16(CP_UTF8, utf16, length); }
std::string Utf8(const std::wstring& utf16) { return Utf8(utf16.data(), utf16.size()); }
std::string Utf8(const wchar_t* utf16) { return utf16 ? Utf8(utf16, ::lstrlenW(utf16)) : std::string(); }

}  // namespace win32

// Both code pages meet in UTF-16, the one form they share with the system.
std::string Utf8ToAnsi(const std::string& text) {
    const std::wstring utf16 = win32::Wide(text);
    return FromUtf16(CP_ACP, utf16.data(), utf16.size());
}
std::string AnsiToUtf8(const std::string& text) { return win32::Utf8(ToUtf16(CP_ACP, text)); }

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

HANDLE HandleOf(std::FILE* stream) {
    if (stream == stdout) return ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (stream == stderr) return ::GetStdHandle(STD_ERROR_HANDLE);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(win32::Utf8(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

void WriteText(std::FILE* stream, const std::string& text) {
    const HANDLE console = HandleOf(stream);
    if (!IsConsole(console)) {
        std::fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    std::fflush(stream);  // what went out through the stream comes first
    const std::wstring wide = win32::Wide(text);
    DWORD written = 0;
    ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

std::string TextFromConsole(const std::string& line) {
    if (!IsConsole(::GetStdHandle(STD_INPUT_HANDLE))) return line;
    return win32::Utf8(ToUtf16(::GetConsoleCP(), line));
}

std::string SystemPathFromArgument(const std::string& argument) { return argument; }

// Only a console has a console mode; the NUL device is a character device too, but not a terminal.
bool StandardErrorIsTerminal() { return IsConsole(::GetStdHandle(STD_ERROR_HANDLE)); }

}  // namespace platform
