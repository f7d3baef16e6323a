// The Windows user: message boxes, the screen cursor and the one message pump of the program.
#include "platform/win32/WindowsApi.h"

#include "platform/Native.h"
#include "platform/win32/DialogWindow.h"

namespace platform::win32 {
namespace {

HWND gDialogWindow = nullptr;

HCURSOR SystemCursor(LPCSTR name) { return ::LoadCursorA(nullptr, name); }

HCURSOR WaitCursor() { return SystemCursor(reinterpret_cast<LPCSTR>(IDC_WAIT)); }
HCURSOR ArrowCursor() { return SystemCursor(reinterpret_cast<LPCSTR>(IDC_ARROW)); }

class WindowsUser final : public User {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        return ::MessageBoxA(::GetActiveWindow(), text.c_str(), caption.c_str(), flags);
    }

    Cursor SetCursor(Cursor cursor) override {
        const HCURSOR previous = ::SetCursor(cursor == Cursor::Busy ? WaitCursor() : ArrowCursor());
        return previous == WaitCursor() ? Cursor::Busy : Cursor::Default;
    }

    // The one place that pumps messages while an operation runs. WM_QUIT is posted again so that
    // the program's main loop, not this one, ends the program.
    void ProcessMessages() override {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            if (gDialogWindow && ::IsDialogMessageA(gDialogWindow, &message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }

    void Beep() override { ::MessageBeep(0); }
};

}  // namespace

void SetDialogWindow(void* window) { gDialogWindow = static_cast<HWND>(window); }

}  // namespace platform::win32

namespace platform::native {

std::unique_ptr<User> MakeUser() { return std::make_unique<win32::WindowsUser>(); }

}  // namespace platform::native
