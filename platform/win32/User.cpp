// The Windows user: message boxes, the one-line input box, the screen cursor and the one message pump.
#include "platform/win32/WindowsApi.h"

#include <exception>
#include <vector>

#include "platform/Native.h"
#include "platform/win32/DialogWindow.h"

namespace platform::win32 {
namespace {

HWND gDialogWindow = nullptr;

// The input box is built at run time from an in-memory dialog template (dialog units).
constexpr WORD kPromptId = 100;
constexpr WORD kEditId = 101;
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr short kDialogWidth = 240;
constexpr short kDialogHeight = 76;

struct InputBoxState {
    std::string caption;
    std::string prompt;
    std::string defaultText;
    size_t maxLength = 0;
    std::string answer;
};

// A DLGTEMPLATE and its items as the dialog manager reads them: WORDs, items on DWORD boundaries.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, short cx, short cy) {
        PutDword(style);
        PutDword(0);        // extended style
        countAt_ = words_.size();
        words_.push_back(0);  // item count, filled in as items are added
        PutRect(0, 0, cx, cy);
        words_.push_back(0);  // no menu
        words_.push_back(0);  // the standard dialog class
        words_.push_back(0);  // caption set at WM_INITDIALOG (it is ANSI text)
        words_.push_back(8);  // DS_SETFONT: point size and face
        for (const char* c = "MS Shell Dlg"; *c; ++c) words_.push_back(static_cast<WORD>(*c));
        words_.push_back(0);
    }

    void AddItem(DWORD style, short x, short y, short cx, short cy, WORD id, WORD windowClass) {
        if (words_.size() % 2 != 0) words_.push_back(0);
        PutDword(style | WS_CHILD | WS_VISIBLE);
        PutDword(0);
        PutRect(x, y, cx, cy);
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(windowClass);
        words_.push_back(0);  // text set at WM_INITDIALOG
        words_.push_back(0);  // no creation data
        ++words_[countAt_];
    }

    // The dialog manager takes the template by this type; the buffer is WORD-built and DWORD-aligned.
    LPCDLGTEMPLATEA Get() const { return reinterpret_cast<LPCDLGTEMPLATEA>(words_.data()); }

private:
    void PutDword(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void PutRect(short x, short y, short cx, short cy) {
        for (short value : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(value));
    }

    std::vector<WORD> words_;
    size_t countAt_ = 0;
};

void InitInputBox(HWND dialog, InputBoxState& state) {
    ::SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    ::SetWindowTextA(dialog, state.caption.c_str());
    ::SetDlgItemTextA(dialog, kPromptId, state.prompt.c_str());
    ::SendDlgItemMessageA(dialog, kEditId, EM_LIMITTEXT, static_cast<WPARAM>(state.maxLength), 0);
    ::SetDlgItemTextA(dialog, kEditId, state.defaultText.c_str());
    ::SetDlgItemTextA(dialog, IDOK, "OK");
    ::SetDlgItemTextA(dialog, IDCANCEL, "Cancel");
}

std::string EditText(HWND dialog, size_t maxLength) {
    std::vector<char> buffer(maxLength + 1, '\0');
    const UINT length = ::GetDlgItemTextA(dialog, kEditId, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), length);
}

INT_PTR HandleInputBoxMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InitInputBox(dialog, *reinterpret_cast<InputBoxState*>(lParam));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    auto* state = reinterpret_cast<InputBoxState*>(::GetWindowLongPtrA(dialog, DWLP_USER));
    switch (LOWORD(wParam)) {
    case IDOK:
        state->answer = EditText(dialog, state->maxLength);
        ::EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL:
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// The barrier: nothing may unwind into the dialog manager. A failure is shown and the box cancelled.
void ShowDialogFailure(HWND dialog, const char* text) {
    ::MessageBoxA(dialog, text, "", MB_OK | MB_ICONERROR);
    ::EndDialog(dialog, IDCANCEL);
}

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleInputBoxMessage(dialog, message, wParam, lParam);
    } catch (const std::exception& error) {
        ShowDialogFailure(dialog, error.what());
    } catch (...) {
        ShowDialogFailure(dialog, "Unexpected error in the input box.");
    }
    return TRUE;
}

bool RunInputBox(InputBoxState& state) {
    DialogTemplate dialog(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                          kDialogWidth, kDialogHeight);
    dialog.AddItem(SS_LEFT, 7, 7, kDialogWidth - 14, 26, kPromptId, kStaticClass);
    dialog.AddItem(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 36, kDialogWidth - 14, 13, kEditId, kEditClass);
    dialog.AddItem(BS_DEFPUSHBUTTON | WS_TABSTOP, kDialogWidth - 114, 56, 50, 14, IDOK, kButtonClass);
    dialog.AddItem(BS_PUSHBUTTON | WS_TABSTOP, kDialogWidth - 57, 56, 50, 14, IDCANCEL, kButtonClass);
    const INT_PTR result = ::DialogBoxIndirectParamA(::GetModuleHandleA(nullptr), dialog.Get(), ::GetActiveWindow(),
                                                     InputBoxProc, reinterpret_cast<LPARAM>(&state));
    return result == IDOK;
}

HCURSOR SystemCursor(LPCSTR name) { return ::LoadCursorA(nullptr, name); }

HCURSOR WaitCursor() { return SystemCursor(reinterpret_cast<LPCSTR>(IDC_WAIT)); }
HCURSOR ArrowCursor() { return SystemCursor(reinterpret_cast<LPCSTR>(IDC_ARROW)); }

class WindowsUser final : public User {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        return ::MessageBoxA(::GetActiveWindow(), text.c_str(), caption.c_str(), flags);
    }

    bool InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                  size_t maxLength, std::string& answer) override {
        InputBoxState state{caption, prompt, defaultText, maxLength, {}};
        const bool ok = RunInputBox(state);
        answer = ok ? state.answer : std::string();
        return ok;
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
