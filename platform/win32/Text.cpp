// Windows text: the system's own OEM and ANSI conversion; the console already speaks ANSI.
#include "platform/win32/WindowsApi.h"

#include "platform/Native.h"

namespace platform::native {

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

std::string AnsiFromConsole(const std::string& text) { return text; }
std::string AnsiToConsole(const std::string& text) { return text; }
std::string SystemPathFromArgument(const std::string& argument) { return argument; }

// Only a console has a console mode; the NUL device is a character device too, but not a terminal.
bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace platform::native
