// Windows only: registering the program's window classes and creating child controls.
#include "platform/win32/WindowKit.h"

#include <string>

#include "platform/Files.h"

namespace platform::win32 {

HINSTANCE ProgramInstance() { return ::GetModuleHandleW(nullptr); }

void ThrowLastError(const char* call) {
    const DWORD error = ::GetLastError();
    RaiseFileError(std::string(call) + ": " + SystemMessage(error));
}

std::string WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, &text[0], length + 1)));
    return Utf8(text);
}

void SetWindowText(HWND window, const std::string& text) { ::SetWindowTextW(window, Wide(text).c_str()); }

void RegisterClassOnce(WNDCLASSEXW windowClass) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(ProgramInstance(), windowClass.lpszClassName, &existing)) return;
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = ProgramInstance();
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    if (!::RegisterClassExW(&windowClass)) ThrowLastError("RegisterClassEx");
}

HWND CreateChild(HWND parent, DWORD exStyle, const char* className, const std::string& text, DWORD style,
                 const RECT& bounds, int id) {
    HWND child = ::CreateWindowExW(exStyle, Wide(className).c_str(), Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
                                   bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ProgramInstance(), nullptr);
    if (!child) ThrowLastError("CreateWindowEx");
    return child;
}

}  // namespace platform::win32
