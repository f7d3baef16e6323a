// Windows text: UTF-8 to and from the system's UTF-16, the OEM and ANSI code pages, the console.
#include "platform/win32/WindowsApi.h"

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

std::wstring win32::CodePageToUtf16(UINT codePage, const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring utf16(static_cast<size_t>(wide), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, utf16.data(), wide);
    return utf16;
}

namespace {

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

std::wstring Wide(const std::string& utf8) { return CodePageToUtf16(CP_UTF8, utf8); }
std::string Utf8(const wchar_t* utf16, size_t length) { return FromUtf16(CP_UTF8, utf16, length); }
std::string Utf8(const std::wstring& utf16) { return Utf8(utf16.data(), utf16.size()); }
std::string Utf8(const wchar_t* utf16) { return utf16 ? Utf8(utf16, ::lstrlenW(utf16)) : std::string(); }

}  // namespace win32

// Both code pages meet in UTF-16, the one form they share with the system.
std::string Utf8ToAnsi(const std::string& text) {
    const std::wstring utf16 = win32::Wide(text);
    return FromUtf16(CP_ACP, utf16.data(), utf16.size());
}
std::string AnsiToUtf8(const std::string& text) { return win32::Utf8(win32::CodePageToUtf16(CP_ACP, text)); }

std::string SystemPathFromArgument(const std::string& argument) { return argument; }

// Only a console has a console mode; the NUL device is a character device too, but not a terminal.
bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace platform
