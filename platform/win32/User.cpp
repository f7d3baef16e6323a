// The Windows user: message boxes, the one-line input box, the screen cursor and the one message pump.
#include "platform/win32/WindowsApi.h"

#include <string>
#include <utility>

#include "platform/User.h"
#include "platform/win32/Window.h"
#include "platform/win32/WindowKit.h"

namespace platform::win32 {
namespace {

// The input box: caption, prompt, an edit field holding the starting text (one line, or several
// with their own scroll bar), OK and Cancel.
// At most `bytes` bytes of UTF-8 text, never ending inside a character (the box counts characters,
// the limits are bytes).
std::string CutAtCharacter(std::string text, size_t bytes) {
    if (text.size() <= bytes) return text;
    size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text;
}

class InputBoxDialog final : public ModalDialog {
public:
    InputBoxDialog(std::string caption, std::string prompt, std::string defaultText, size_t maxLength, bool lines)
        : caption_(std::move(caption)), prompt_(std::move(prompt)), defaultText_(std::move(defaultText)),
          maxLength_(maxLength), lines_(lines) {}

    std::string Answer;  // the edited text, after IDOK

private:
    static constexpr WORD kPromptId = 100;
    static constexpr WORD kEditId = 101;
    static constexpr short kWidth = 240;
    static constexpr short kLineHeight = 13;
    static constexpr short kLinesHeight = 80;

    DialogTemplate MakeTemplate() const override {
        const short editHeight = lines_ ? kLinesHeight : kLineHeight;
        const short buttonsTop = 36 + editHeight + 7;
        const DWORD editStyle = lines_ ? ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL : ES_AUTOHSCROLL;
        DialogTemplate layout(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, kWidth,
                              static_cast<short>(buttonsTop + 20));
        layout.AddItem(SS_LEFT | SS_NOPREFIX, 7, 7, kWidth - 14, 26, kPromptId, DialogTemplate::kStatic);
        layout.AddItem(editStyle | WS_BORDER | WS_TABSTOP, 7, 36, kWidth - 14, editHeight, kEditId,
                       DialogTemplate::kEdit);
        layout.AddItem(BS_DEFPUSHBUTTON | WS_TABSTOP, kWidth - 114, buttonsTop, 50, 14, IDOK, DialogTemplate::kButton);
        layout.AddItem(BS_PUSHBUTTON | WS_TABSTOP, kWidth - 57, buttonsTop, 50, 14, IDCANCEL, DialogTemplate::kButton);
        return layout;
    }

    void OnInitDialog() override {
        SetWindowText(Handle(), caption_);
        SetItemText(kPromptId, prompt_);
        ::SendDlgItemMessageW(Handle(), kEditId, EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
        SetItemText(kEditId, defaultText_);
        SetItemText(IDOK, "OK");
        SetItemText(IDCANCEL, "Cancel");
    }

    bool OnOk() override {
        Answer = CutAtCharacter(ItemText(kEditId), maxLength_);
        return true;
    }

    std::string caption_;
    std::string prompt_;
    std::string defaultText_;
    size_t maxLength_;
    bool lines_;
};

bool RunInputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                 size_t maxLength, bool lines, std::string& answer) {
    InputBoxDialog box(caption, prompt, defaultText, maxLength, lines);
    const bool ok = box.RunModal(nullptr) == IDOK;
    answer = ok ? box.Answer : std::string();
    return ok;
}

HCURSOR SystemCursor(LPCWSTR name) { return ::LoadCursorW(nullptr, name); }

HCURSOR WaitCursor() { return SystemCursor(reinterpret_cast<LPCWSTR>(IDC_WAIT)); }
HCURSOR ArrowCursor() { return SystemCursor(reinterpret_cast<LPCWSTR>(IDC_ARROW)); }

class WindowsUser final : public User {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        return ::MessageBoxW(::GetActiveWindow(), Wide(text).c_str(), Wide(caption).c_str(), flags);
    }

    bool InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                  size_t maxLength, std::string& answer) override {
        return RunInputBox(caption, prompt, defaultText, maxLength, false, answer);
    }

    bool TextBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                 size_t maxLength, std::string& answer) override {
        return RunInputBox(caption, prompt, defaultText, maxLength, true, answer);
    }

    Cursor SetCursor(Cursor cursor) override {
        const HCURSOR previous = ::SetCursor(cursor == Cursor::Busy ? WaitCursor() : ArrowCursor());
        return previous == WaitCursor() ? Cursor::Busy : Cursor::Default;
    }

    // The one place that pumps messages while an operation runs. WM_QUIT is posted again so that
    // the program's main loop, not this one, ends the program.
    void ProcessMessages() override {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            if (HandleDialogKeys(message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }

    void Beep() override { ::MessageBeep(0); }
};

}  // namespace

}  // namespace platform::win32

namespace platform {

std::unique_ptr<User> MakeNativeUser() { return std::make_unique<win32::WindowsUser>(); }

}  // namespace platform
