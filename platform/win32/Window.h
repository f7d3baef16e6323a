// Windows only: the one skeleton of every window and dialog: a trampoline to a member handler and a catch-all barrier.
#pragma once

#include "platform/win32/WindowsApi.h"

#include <exception>
#include <string>
#include <vector>

namespace platform::win32 {

// Shows a failure that stopped at a barrier, in an error box captioned with the application's title.
void ShowFailure(const std::string& text) noexcept;

// What a barrier caught, as text: an exception's message, or the text for anything else.
std::string FailureText(const std::exception_ptr& failure);

// Hands a keyboard message to the modeless dialog it belongs to (Tab, Enter, Alt+key), when its
// top-level window asked for dialog keys. True when the dialog took it. Every message loop of the
// program calls this first.
bool HandleDialogKeys(MSG& message);

// A window class of ours: registered once with the shared procedure of Window.
struct WindowClass {
    const char* name = nullptr;
    WORD menu = 0;  // a menu resource, or none
    HICON icon = nullptr;        // shared icons (LR_SHARED): nothing to release
    HICON smallIcon = nullptr;
};

// A window whose messages reach the member HandleMessage. `this` travels with WM_NCCREATE; an
// exception out of a handler stops at the procedure: during WM_CREATE it makes the creation fail
// (WM_CREATE answers -1) and Create rethrows it; later it is shown and the window goes on.
class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const { return window_; }

    // Lets the message loops hand this window's keyboard messages to IsDialogMessage, so that a
    // modeless window behaves as a dialog box (Enter, Tab, Alt+key).
    void SetDialogKeys(bool on);

protected:
    Window() = default;

    // Creates the window; `outer` is the size of the whole window. Throws the reason it could not be
    // made, the exception of its WM_CREATE handler included.
    void Create(const WindowClass& windowClass, DWORD exStyle, const std::string& caption, DWORD style,
                const RECT& outer, HWND owner);
    // Destroys the window while the derived object still stands, so that its own WM_DESTROY
    // handling runs. The base destructor only detaches and destroys.
    void Destroy();

    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);
    // Where a failure of a handler after creation goes; the default shows it with ShowFailure.
    virtual void HandlerFailed(const std::string& text) noexcept;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    std::exception_ptr creationFailure_;
};

// A dialog-box template built in memory (dialog units), so that dialogs need no resource script:
// the dialog manager reads WORDs, with each item on a DWORD boundary. Texts are set at WM_INITDIALOG.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, short width, short height);
    void AddItem(DWORD style, short x, short y, short width, short height, WORD id, WORD windowClass);
    LPCDLGTEMPLATEW Get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data()); }

    // The predefined classes of dialog items.
    static constexpr WORD kButton = 0x0080;
    static constexpr WORD kEdit = 0x0081;
    static constexpr WORD kStatic = 0x0082;

private:
    void PutDword(DWORD value);
    void PutRect(short x, short y, short width, short height);

    std::vector<WORD> words_;
    size_t countAt_ = 0;
};

// A modal dialog box whose messages reach the member HandleMessage (`this` travels with
// WM_INITDIALOG). Inputs are fields set before RunModal, outputs fields read after it returned IDOK.
// An exception out of WM_INITDIALOG ends the dialog and RunModal rethrows it; out of a later
// handler it is shown and the dialog goes on.
class ModalDialog {
public:
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;
    virtual ~ModalDialog() = default;

    // Shows the dialog owned by `owner` (nullptr: the active window) until it ends; returns the
    // value it ended with (IDOK, IDCANCEL ...).
    INT_PTR RunModal(HWND owner);

    HWND Handle() const { return dialog_; }

protected:
    ModalDialog() = default;

    // The dialog's layout, from memory or from a resource of the program.
    virtual DialogTemplate MakeTemplate() const = 0;

    // Messages the dialog handles itself; answers FALSE for the rest. The default ends the dialog
    // on IDOK and IDCANCEL (after OnOk agreed).
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnInitDialog() {}
    // Reads the dialog's outputs; false keeps the dialog open.
    virtual bool OnOk() { return true; }
    void End(INT_PTR result);

    std::string ItemText(int id) const;
    void SetItemText(int id, const std::string& text);

private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    HWND dialog_ = nullptr;
    std::exception_ptr initFailure_;
};

}  // namespace platform::win32
