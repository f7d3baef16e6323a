// Windows only: registering the program's window classes and creating child controls.
#include "platform/win32/WindowKit.h"

#include <string>

#include "platform/Files.h"

namespace platform::win32 {

HINSTANCE ProgramInstance() { return ::GetModuleHandleA(nullptr); }

void ThrowLastError(const char* call) {
    const DWORD error = ::GetLastError();
    RaiseFileError(std::string(call) + ": " + SystemMessage(error));
}

std::string WindowText(HWND window) {
    const int length = ::GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(::GetWindowTextA(window, &text[0], length + 1)));
    return text;
}

void RegisterClassOnce(WNDCLASSEXA windowClass) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExA(ProgramInstance(), windowClass.lpszClassName, &existing)) return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = ProgramInstance();
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    if (!::RegisterClassExA(&windowClass)) ThrowLastError("RegisterClassEx");
}

HWND CreateChild(HWND parent, DWORD exStyle, const char* className, const char* text, DWORD style, const RECT& bounds,
                 int id) {
    HWND child = ::CreateWindowExA(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
                                   bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ProgramInstance(), nullptr);
    if (!child) ThrowLastError("CreateWindowEx");
    return child;
}

}  // namespace platform::win32
