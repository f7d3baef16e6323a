// Windows text: the system's own OEM and ANSI conversion; the console already speaks ANSI.
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

namespace {

// Converts through UTF-16, the one form both code pages share with the system.
std::string Recode(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return text;
    const int length = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(from, 0, text.data(), length, nullptr, 0);
    if (wide <= 0) return std::string();
    std::wstring utf16(static_cast<size_t>(wide), L'\0');
    ::MultiByteToWideChar(from, 0, text.data(), length, utf16.data(), wide);
    const int bytes = ::WideCharToMultiByte(to, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string result(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(to, 0, utf16.data(), wide, result.data(), bytes, nullptr, nullptr);
    return result;
}

}  // namespace

std::string Utf8ToAnsi(const std::string& text) { return Recode(text, CP_UTF8, CP_ACP); }
std::string AnsiToUtf8(const std::string& text) { return Recode(text, CP_ACP, CP_UTF8); }

// The program's text is UTF-8; the console's and the command line's are the ANSI page here.
std::string AnsiFromConsole(const std::string& text) { return AnsiToUtf8(text); }
std::string AnsiToConsole(const std::string& text) { return Utf8ToAnsi(text); }
std::string SystemPathFromArgument(const std::string& argument) { return argument; }

// Only a console has a console mode; the NUL device is a character device too, but not a terminal.
bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace platform
