// Windows console: the wide command line, wide text into a console window, typed lines as UTF-8.
#include "platform/win32/WindowsApi.h"

#include <shellapi.h>

#include "platform/Text.h"

namespace platform {
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
    return win32::Utf8(win32::CodePageToUtf16(::GetConsoleCP(), line));
}

}  // namespace platform
