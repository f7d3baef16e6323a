// The progress window: its layout, positioning, status text, bar and the Cancel button.
#include "engine/win32/ProgressWindow.h"

#include "engine/EngineOperations.h"
#include "platform/win32/WindowKit.h"

using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr const char* kWindowClass = "LarkspoolProgressForm";
constexpr int kCancelId = 1100;

// Layout: every child centred horizontally in the 300-pixel client area.
constexpr int kLabelTop = 15;
constexpr int kLabelWidth = 280;
constexpr int kLabelHeight = 13;
constexpr int kBarTop = 35;
constexpr int kBarWidth = 280;
constexpr int kBarHeight = 17;
constexpr int kButtonTop = 60;
constexpr int kButtonWidth = 75;  // the standard push-button width
constexpr int kButtonHeight = 25;

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// A fixed dialog border, on top of other windows.
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;

int Centred(int width) { return (TProgressWindow::kClientWidth - width) / 2; }

HWND MakeChild(HWND parent, const char* className, const std::string& text, DWORD style, int left, int top, int width,
               int height, int id) {
    HWND child = platform::win32::CreateChild(parent, 0, className, text, style, RECT{left, top, left + width, top + height},
                                              id);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

}  // namespace

ProgressFormFactory ProgressWindowFactory(HWND ownerWindow) {
    return [ownerWindow](engine::EngineOperations& owner) { return std::make_unique<TProgressWindow>(owner, ownerWindow); };
}

TProgressWindow::TProgressWindow(engine::EngineOperations& owner, HWND ownerWindow) : owner_(owner), ownerWindow_(ownerWindow) {
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    const RECT outer{0, 0, frame.right - frame.left, frame.bottom - frame.top};
    Create({kWindowClass}, kExStyle, zip::kApplicationTitle, kStyle, outer, ownerWindow_);
    Position();
}

TProgressWindow::~TProgressWindow() { Destroy(); }

LRESULT TProgressWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateChildren();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCancelId && HIWORD(wParam) == BN_CLICKED) CancelButtonClick();
        return 0;
    case DM_GETDEFID:  // Enter presses Cancel
        return MAKELRESULT(kCancelId, DC_HASDEFID);
    case WM_SETFOCUS:
        ::SetFocus(cancelButton_);
        return 0;
    case WM_CLOSE:  // the close box only hides: the operation goes on, not cancelled
        Hide();
        return 0;
    default:
        return DefaultHandling(message, wParam, lParam);
    }
}

void TProgressWindow::CreateChildren() {
    HWND window = Handle();
    statusLabel_ = MakeChild(window, "STATIC", FormatMsg(Msg::ProgressWait).c_str(), SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                             Centred(kLabelWidth), kLabelTop, kLabelWidth, kLabelHeight, 0);
    progressBar_ = MakeChild(window, "msctls_progress32", "", 0, Centred(kBarWidth), kBarTop, kBarWidth, kBarHeight, 0);
    cancelButton_ = MakeChild(window, "BUTTON", FormatMsg(Msg::ProgressCancel).c_str(), BS_DEFPUSHBUTTON | WS_TABSTOP,
                              Centred(kButtonWidth), kButtonTop, kButtonWidth, kButtonHeight, kCancelId);
}

// Over the middle of the main window (a narrower main window gives a negative half-difference,
// truncated toward zero), else in the middle of the work area.
void TProgressWindow::Position() {
    RECT own;
    ::GetWindowRect(Handle(), &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    if (!ownerWindow_) {
        CentreOnWorkArea();
        return;
    }
    RECT main;
    ::GetWindowRect(ownerWindow_, &main);
    const int left = main.left + (main.right - main.left - width) / 2;
    const int top = main.top + (main.bottom - main.top - height) / 2;
    ::SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TProgressWindow::CentreOnWorkArea() {
    RECT own;
    ::GetWindowRect(Handle(), &own);
    RECT work;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + (work.right - work.left - (own.right - own.left)) / 2;
    const int top = work.top + (work.bottom - work.top - (own.bottom - own.top)) / 2;
    ::SetWindowPos(Handle(), nullptr, left, top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

void TProgressWindow::Show() {
    ::ShowWindow(Handle(), SW_SHOW);
    // Keyboard messages pumped during the operation go through IsDialogMessage: Enter and Alt+C.
    SetDialogKeys(true);
}

void TProgressWindow::Hide() {
    ::ShowWindow(Handle(), SW_HIDE);
    SetDialogKeys(false);
}

void TProgressWindow::SetProgressMax(int32_t n) { ::SendMessageW(progressBar_, PBM_SETRANGE32, 0, n); }

void TProgressWindow::SetProgressPosition(int32_t n) { ::SendMessageW(progressBar_, PBM_SETPOS, n, 0); }

void TProgressWindow::SetStatusText(const std::string& text) {
    platform::win32::SetWindowText(statusLabel_, text);
    // The label does not size itself, so its width stays and it stays centred.
    RECT label;
    ::GetWindowRect(statusLabel_, &label);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&label), 2);
    ::SetWindowPos(statusLabel_, nullptr, Centred(label.right - label.left), label.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TProgressWindow::CancelButtonClick() {
    owner_.Cancelled = true;
    Hide();
}
