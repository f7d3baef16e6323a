// Windows only: the window and dialog skeleton: the trampolines, the barriers, the dialog keys, in-memory dialog templates.
#include "platform/win32/Window.h"

#include "platform/User.h"
#include "platform/win32/WindowKit.h"

namespace platform::win32 {
namespace {

// Marks a top-level window whose keyboard messages go through IsDialogMessage.
constexpr const wchar_t* kDialogKeysProperty = L"LarkspoolDialogKeys";

}  // namespace

void ShowFailure(const std::string& text) noexcept {
    try {
        CurrentUser().MessageBox(text, kApplicationTitle, kMbOk | kMbIconError);
    } catch (...) {
        ::MessageBeep(MB_ICONHAND);  // the box itself failed: nothing is left to report with
    }
}

std::string FailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return kUnexpectedError;
    }
}

bool HandleDialogKeys(MSG& message) {
    if (!message.hwnd || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
    return root && ::GetPropW(root, kDialogKeysProperty) && ::IsDialogMessageW(root, &message);
}

// ---------------------------------------------------------------------------------------------
// Window

Window::~Window() {
    if (!window_) return;
    // The derived part is gone: later messages of this window go to the default procedure.
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    HWND window = window_;
    window_ = nullptr;
    ::DestroyWindow(window);
}

void Window::SetDialogKeys(bool on) {
    if (!window_) return;
    if (on)
        ::SetPropW(window_, kDialogKeysProperty, reinterpret_cast<HANDLE>(1));
    else
        ::RemovePropW(window_, kDialogKeysProperty);
}

void Window::Create(const WindowClass& windowClass, DWORD exStyle, const std::string& caption, DWORD style,
                    const RECT& outer, HWND owner) {
    // Registered as a wide window: its texts and its controls' notifications are UTF-16.
    const std::wstring className = Wide(windowClass.name);
    WNDCLASSEXW registration{};
    registration.lpfnWndProc = &Window::Procedure;
    registration.lpszClassName = className.c_str();
    registration.lpszMenuName = windowClass.menu ? MAKEINTRESOURCEW(windowClass.menu) : nullptr;
    registration.hIcon = windowClass.icon;
    registration.hIconSm = windowClass.smallIcon;
    RegisterClassOnce(registration);
    creationFailure_ = nullptr;
    HWND window = ::CreateWindowExW(exStyle, className.c_str(), Wide(caption).c_str(), style, outer.left, outer.top,
                                    outer.right - outer.left, outer.bottom - outer.top, owner, nullptr,
                                    ProgramInstance(), this);
    if (creationFailure_) {
        std::exception_ptr failure = creationFailure_;
        creationFailure_ = nullptr;
        std::rethrow_exception(failure);
    }
    if (!window) ThrowLastError("CreateWindowEx");
}

void Window::Destroy() {
    if (window_) ::DestroyWindow(window_);
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandling(message, wParam, lParam);
}

LRESULT Window::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void Window::HandlerFailed(const std::string& text) noexcept { ShowFailure(text); }

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    const LRESULT result = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::RemovePropW(window, kDialogKeysProperty);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
    }
    return result;
}

// The barrier: an exception cannot unwind through user32's frames with this toolchain.
LRESULT Window::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleMessage(message, wParam, lParam);
    } catch (...) {
        if (message == WM_CREATE) {
            creationFailure_ = std::current_exception();
            return -1;
        }
        HandlerFailed(FailureText(std::current_exception()));
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Dialog templates

DialogTemplate::DialogTemplate(DWORD style, short width, short height) {
    PutDword(style);
    PutDword(0);  // extended style
    countAt_ = words_.size();
    words_.push_back(0);  // item count, raised as items are added
    PutRect(0, 0, width, height);
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the standard dialog class
    words_.push_back(0);  // caption set at WM_INITDIALOG
    if (style & DS_SETFONT) {
        words_.push_back(8);  // point size and face
        for (const char* c = "MS Shell Dlg"; *c; ++c) words_.push_back(static_cast<WORD>(*c));
        words_.push_back(0);
    }
}

void DialogTemplate::AddItem(DWORD style, short x, short y, short width, short height, WORD id, WORD windowClass) {
    if (words_.size() % 2 != 0) words_.push_back(0);
    PutDword(style | WS_CHILD | WS_VISIBLE);
    PutDword(0);
    PutRect(x, y, width, height);
    words_.push_back(id);
    words_.push_back(0xFFFF);
    words_.push_back(windowClass);
    words_.push_back(0);  // text set at WM_INITDIALOG
    words_.push_back(0);  // no creation data
    ++words_[countAt_];
}

void DialogTemplate::PutDword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
}

void DialogTemplate::PutRect(short x, short y, short width, short height) {
    for (short value : {x, y, width, height}) words_.push_back(static_cast<WORD>(value));
}

// ---------------------------------------------------------------------------------------------
// ModalDialog

INT_PTR ModalDialog::RunModal(HWND owner) {
    const DialogTemplate layout = MakeTemplate();
    initFailure_ = nullptr;
    const INT_PTR result = ::DialogBoxIndirectParamW(ProgramInstance(), layout.Get(), owner ? owner : ::GetActiveWindow(),
                                                     &ModalDialog::Procedure, reinterpret_cast<LPARAM>(this));
    dialog_ = nullptr;
    if (initFailure_) {
        std::exception_ptr failure = initFailure_;
        initFailure_ = nullptr;
        std::rethrow_exception(failure);
    }
    if (result == -1) ThrowLastError("DialogBoxIndirectParam");
    return result;
}

INT_PTR ModalDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            if (OnOk()) End(IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {  // also Escape and the close box
            End(IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void ModalDialog::End(INT_PTR result) { ::EndDialog(dialog_, result); }

std::string ModalDialog::ItemText(int id) const { return WindowText(::GetDlgItem(dialog_, id)); }

void ModalDialog::SetItemText(int id, const std::string& text) { SetWindowText(::GetDlgItem(dialog_, id), text); }

INT_PTR CALLBACK ModalDialog::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ModalDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<ModalDialog*>(lParam);
        self->dialog_ = dialog;
        ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return FALSE;
    // The barrier, as for windows: nothing may unwind into the dialog manager.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        if (message == WM_INITDIALOG) {
            self->initFailure_ = std::current_exception();
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        ShowFailure(FailureText(std::current_exception()));
    }
    return TRUE;
}

}  // namespace platform::win32
