// The real dialogs of the main window: the common file dialogs, the shell's folder browser, the input box, opening files.
#include "app/Dialogs.h"

#include <cderr.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include "archive/Messages.h"
#include "platform/Text.h"
#include "platform/User.h"
#include "platform/win32/Window.h"

namespace {

using platform::win32::Utf8;
using platform::win32::Wide;

constexpr size_t kPathBuffer = 261;  // MAX_PATH and its terminating zero
constexpr size_t kInputBoxLimit = 255;
// The name box takes 32767 characters; the list it gives is its names and the folder before them.
constexpr size_t kLongestTypedList = 32768 + 2 * kPathBuffer;
constexpr size_t kCommentBoxLimit = 65535;  // the format's comment length field

// An edit box of several lines breaks lines at "\r\n" only; comments written elsewhere often hold "\n".
std::string WithWindowsLineBreaks(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) shown += '\r';
        shown += text[i];
    }
    return shown;
}

// "Description|patterns" as the dialog takes it: NUL for the bar, two NULs at the end.
std::wstring DialogFilter(const std::string& filter) {
    std::wstring text = Wide(filter);
    std::replace(text.begin(), text.end(), L'|', L'\0');
    text.push_back(L'\0');
    return text;  // the string's own terminator is the second NUL
}

DWORD DialogFlags(unsigned options) {
    DWORD flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_NOCHANGEDIR;
    if (options & ofOverwritePrompt) flags |= OFN_OVERWRITEPROMPT;
    if (options & ofHideReadOnly) flags |= OFN_HIDEREADONLY;
    if (options & ofPathMustExist) flags |= OFN_PATHMUSTEXIST;
    if (options & ofAllowMultiSelect) flags |= OFN_ALLOWMULTISELECT;
    if (options & ofEnableSizing) flags |= OFN_ENABLESIZING;
    if (options & ofFileMustExist) flags |= OFN_FILEMUSTEXIST;
    return flags;
}

bool IsFullPath(const std::string& name) {
    return (name.size() >= 2 && name[1] == ':') || (name.size() >= 2 && name[0] == '\\' && name[1] == '\\');
}

// SaveDialogShow: the save dialog's OK button reads "&Open", for New as for Open. The hook's window
// is a child of the dialog box, which owns the button.
void SaveDialogShow(HWND hookWindow) {
    const std::wstring caption = Wide(zip::FormatMsg(zip::Msg::SaveDialogOk));
    ::SendMessageW(::GetParent(hookWindow), CDM_SETCONTROLTEXT, IDOK, reinterpret_cast<LPARAM>(caption.c_str()));
}

// A file dialog run, with the buffer for the chosen names, in wide text: names in any script. While
// the user selects, the buffer is grown to fit the selection, so the dialog need not refuse a long
// list; a dialog that reports the list too long or cuts it is asked again with a larger one. Wine's
// wide dialog keeps the buffer it started with and writes a longer list past its end, so the first
// buffer holds the longest list its name box can take.
class ChosenFilesDialog {
public:
    ChosenFilesDialog(HWND owner, const TFileDialog& dialog, bool saving, size_t firstBuffer)
        : filter_(DialogFilter(dialog.Filter)), names_(saving ? kPathBuffer * 4 : std::max(firstBuffer, kLongestTypedList), L'\0'),
          initialDir_(Wide(dialog.InitialDir)), title_(Wide(dialog.Title)), defaultExt_(Wide(dialog.DefaultExt)),
          saving_(saving) {
        // The name box starts empty: a name in it would override the first folder.
        settings_.lStructSize = sizeof settings_;
        settings_.hwndOwner = owner;
        settings_.lpstrFilter = filter_.data();
        settings_.nFilterIndex = 1;
        settings_.lpstrInitialDir = initialDir_.empty() ? nullptr : initialDir_.c_str();
        settings_.lpstrTitle = title_.c_str();
        settings_.lpstrDefExt = defaultExt_.empty() ? nullptr : defaultExt_.c_str();
        settings_.Flags = DialogFlags(dialog.Options);
        settings_.lpfnHook = &ChosenFilesDialog::Hook;
        settings_.lCustData = reinterpret_cast<LPARAM>(this);
        Attach();
    }

    // Shows the dialog; when it reports the buffer too small, grows it and asks again. Some
    // dialogs (Wine's) cut the list off instead of reporting it: a list that runs to the end of the
    // buffer counts as cut.
    bool Run(std::vector<std::string>& files) {
        for (;;) {
            const BOOL chosen = saving_ ? ::GetSaveFileNameW(&settings_) : ::GetOpenFileNameW(&settings_);
            if (chosen && !RanFull()) {
                const std::string list = Utf8(names_.data(), names_.size());
                files = SplitChosenFiles(std::vector<char>(list.begin(), list.end()));
                return !files.empty();
            }
            size_t needed = 0;
            if (!chosen) {
                if (::CommDlgExtendedError() != FNERR_BUFFERTOOSMALL) return false;
                // The first two bytes hold the size needed, where the dialog tells it.
                needed = static_cast<uint16_t>(names_[0]);
            }
            Grow(std::max(needed + kGuard, names_.size() * 2));
            std::fill(names_.begin(), names_.end(), L'\0');  // the name box starts empty again
        }
    }

private:
    // Two NULs past what the dialog may fill, so that a list always ends in a double NUL here.
    static constexpr size_t kGuard = 2;

    void Attach() {
        settings_.lpstrFile = names_.data();
        settings_.nMaxFile = static_cast<DWORD>(names_.size() - kGuard);
    }

    void Grow(size_t size) {
        if (size <= names_.size()) return;
        names_.resize(size, L'\0');
        Attach();
    }

    bool RanFull() const {
        const size_t room = names_.size() - kGuard;
        for (size_t i = 0; i + 1 < names_.size(); ++i)
            if (names_[i] == L'\0' && names_[i + 1] == L'\0') return i + 1 >= room;
        return true;
    }

    // The dialog tells the hook of each new selection: the buffer grows to the folder and the
    // quoted names of the selection, with room to spare.
    void OnSelectionChanged(HWND hookWindow) {
        HWND dialog = ::GetParent(hookWindow);
        const LRESULT spec = ::SendMessageW(dialog, CDM_GETSPEC, 0, 0);
        const LRESULT folder = ::SendMessageW(dialog, CDM_GETFOLDERPATH, 0, 0);
        if (spec > 0 && folder > 0) Grow((static_cast<size_t>(spec) + static_cast<size_t>(folder)) * 2 + kPathBuffer);
    }

    static UINT_PTR CALLBACK Hook(HWND hookWindow, UINT message, WPARAM, LPARAM lParam) {
        // A barrier: nothing may unwind into the dialog.
        try {
            if (message == WM_INITDIALOG) {
                auto* settings = reinterpret_cast<OPENFILENAMEW*>(lParam);
                ::SetWindowLongPtrA(hookWindow, DWLP_USER, settings->lCustData);
                return 0;
            }
            auto* self = reinterpret_cast<ChosenFilesDialog*>(::GetWindowLongPtrA(hookWindow, DWLP_USER));
            if (message != WM_NOTIFY || !self) return 0;
            const auto& notice = *reinterpret_cast<const OFNOTIFYW*>(lParam);
            if (notice.hdr.code == CDN_INITDONE && self->saving_) SaveDialogShow(hookWindow);
            if (notice.hdr.code == CDN_SELCHANGE && !self->saving_) self->OnSelectionChanged(hookWindow);
        } catch (...) {
            platform::win32::ShowFailure(platform::win32::FailureText(std::current_exception()));
        }
        return 0;
    }

    std::wstring filter_;
    std::vector<wchar_t> names_;
    std::wstring initialDir_;
    std::wstring title_;
    std::wstring defaultExt_;
    bool saving_;
    OPENFILENAMEW settings_{};
};

// BrowseCallback: shows and selects the starting folder, then follows the selection in the status line.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM param, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        ::SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, data);
        ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[kPathBuffer] = {};
        // A virtual folder (the computer node) has no path: the previous one stays shown.
        if (::SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(param), path))
            ::SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

class ShellDialogs final : public TDialogs {
public:
    ShellDialogs(HWND owner, size_t firstNamesBuffer) : owner_(owner), firstNamesBuffer_(firstNamesBuffer) {}

    bool ExecuteSave(TFileDialog& dialog) override { return Run(dialog, true); }
    bool ExecuteOpen(TFileDialog& dialog) override { return Run(dialog, false); }

    bool BrowseForFolder(std::string& folder, const std::string& title) override {
        // On this, the user-interface thread, every time; never balanced, as the browser needs it
        // for the rest of the run.
        ::CoInitialize(nullptr);
        wchar_t displayName[kPathBuffer] = {};
        if (!folder.empty()) folder = TrimTrailingBackslash(folder);
        const std::wstring wideTitle = Wide(title);
        const std::wstring start = Wide(folder);
        BROWSEINFOW settings{};
        settings.hwndOwner = owner_;
        settings.pszDisplayName = displayName;
        settings.lpszTitle = wideTitle.c_str();
        settings.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
        if (!start.empty()) {
            settings.lpfn = &BrowseCallback;
            settings.lParam = reinterpret_cast<LPARAM>(start.c_str());
        }
        LPITEMIDLIST item = ::SHBrowseForFolderW(&settings);
        if (!item) return false;
        wchar_t path[kPathBuffer] = {};
        const bool chosen = ::SHGetPathFromIDListW(item, path) != FALSE;
        ::CoTaskMemFree(item);
        if (chosen) folder = Utf8(path);
        return chosen;
    }

    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& defaultText) override {
        std::string answer;
        return platform::CurrentUser().InputBox(caption, prompt, defaultText, kInputBoxLimit, answer) ? answer
                                                                                                     : defaultText;
    }

    std::string CommentBox(const std::string& caption, const std::string& prompt,
                           const std::string& defaultText) override {
        const std::string shown = WithWindowsLineBreaks(defaultText);
        std::string answer;
        if (!platform::CurrentUser().TextBox(caption, prompt, shown, kCommentBoxLimit, answer)) return defaultText;
        // Untouched, the comment keeps its own line breaks and the archive stays as it is.
        return answer == shown ? defaultText : answer;
    }

    INT_PTR ShowModal(platform::win32::ModalDialog& dialog) override { return dialog.RunModal(owner_); }

    void ShellOpen(const std::string& file, const std::string& workingFolder) override {
        ::ShellExecuteW(owner_, L"open", Wide(file).c_str(), nullptr, Wide(workingFolder).c_str(), SW_SHOW);
    }

private:
    bool Run(TFileDialog& dialog, bool saving) {
        ChosenFilesDialog run(owner_, dialog, saving, firstNamesBuffer_);
        std::vector<std::string> files;
        if (!run.Run(files)) return false;
        dialog.Files = std::move(files);
        return true;
    }

    HWND owner_;
    size_t firstNamesBuffer_;
};

}  // namespace

std::unique_ptr<TDialogs> MakeShellDialogs(HWND owner, size_t firstNamesBuffer) {
    return std::make_unique<ShellDialogs>(owner, firstNamesBuffer);
}

std::string TrimTrailingBackslash(const std::string& path) {
    if (path.size() < 4 || path.back() != '\\') return path;
    return path.substr(0, path.size() - 1);
}

std::vector<std::string> SplitChosenFiles(const std::vector<char>& buffer) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < buffer.size() && buffer[at] != '\0') {
        const size_t end = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(at), buffer.end(), '\0') - buffer.begin();
        parts.emplace_back(buffer.data() + at, end - at);
        at = end + 1;
    }
    if (parts.size() <= 1) return parts;
    std::string folder = parts.front();
    if (folder.back() != '\\') folder += '\\';
    std::vector<std::string> files;
    for (size_t i = 1; i < parts.size(); ++i) files.push_back(IsFullPath(parts[i]) ? parts[i] : folder + parts[i]);
    return files;
}
