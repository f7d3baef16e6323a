// sfx.bin's window: a dialog from the resources, with the extraction run inside the Extract click.
#include "StubWindow.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "StubResource.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/Text.h"
#include "platform/win32/WindowsApi.h"

namespace sfxstub {
namespace {

constexpr int kProgressSteps = 1000;
constexpr DWORD kPumpInterval = 50;  // milliseconds between looks at the message queue
constexpr size_t kListedFailures = 15;
constexpr int kNameColumnWidth = 330;
constexpr int kSizeColumnWidth = 90;

// Names, paths and the typed password are UTF-8 inside and wide in the controls (the cipher is keyed
// in the ANSI page where that page holds the password); the settings block's texts are ANSI.
std::string WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return platform::win32::Utf8(text);
}

void SetItemText(HWND window, int id, const std::string& text) {
    ::SetDlgItemTextW(window, id, platform::win32::Wide(text).c_str());
}

void ShowMessage(HWND window, const std::string& text, const std::string& ansiCaption, UINT flags) {
    ::MessageBoxW(window, platform::win32::Wide(text).c_str(), platform::win32::Wide(platform::AnsiToUtf8(ansiCaption)).c_str(),
                  flags);
}

// The password box: its prompt in, the typed text out.
struct PasswordState {
    std::string prompt;
    std::string answer;
};

INT_PTR CALLBACK PasswordProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* state = reinterpret_cast<PasswordState*>(lParam);
        ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        ::SetWindowTextA(dialog, MsgText(StubMsg::PasswordCaption));
        SetItemText(dialog, IDC_PASSWORDPROMPT, state->prompt);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        auto* state = reinterpret_cast<PasswordState*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        if (LOWORD(wParam) == IDOK) state->answer = WindowText(::GetDlgItem(dialog, IDC_PASSWORD));
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// A size in decimal, without the wide printf family, which the stub does not otherwise carry.
std::wstring Digits(uint64_t value) {
    std::wstring text;
    do {
        text.insert(text.begin(), static_cast<wchar_t>(L'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return text;
}

// Starts the folder browser at the folder typed so far.
int CALLBACK BrowseProc(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

template <typename Function>
Function Export(const platform::LibraryHandle& library, const char* name) {
    return reinterpret_cast<Function>(platform::GetProcAddress(library, name));
}

}  // namespace

// The common controls, the shell and COM serve the window alone. Loaded when it opens (by name,
// found as the loader would find them as imports), they stay out of an unattended run, whose
// start they would lengthen by about a tenth of a second under Wine.
struct WindowLibraries {
    platform::LibraryHandle comctl32 = platform::LoadLibrary("comctl32.dll");
    platform::LibraryHandle shell32 = platform::LoadLibrary("shell32.dll");
    platform::LibraryHandle ole32 = platform::LoadLibrary("ole32.dll");
    decltype(&::InitCommonControlsEx) initCommonControlsEx = Export<decltype(initCommonControlsEx)>(comctl32, "InitCommonControlsEx");
    decltype(&::SHBrowseForFolderW) browseForFolder = Export<decltype(browseForFolder)>(shell32, "SHBrowseForFolderW");
    decltype(&::SHGetPathFromIDListW) pathFromIdList = Export<decltype(pathFromIdList)>(shell32, "SHGetPathFromIDListW");
    decltype(&::ShellExecuteW) shellExecute = Export<decltype(shellExecute)>(shell32, "ShellExecuteW");
    decltype(&::CoInitialize) coInitialize = Export<decltype(coInitialize)>(ole32, "CoInitialize");
    decltype(&::CoUninitialize) coUninitialize = Export<decltype(coUninitialize)>(ole32, "CoUninitialize");
    decltype(&::CoTaskMemFree) coTaskMemFree = Export<decltype(coTaskMemFree)>(ole32, "CoTaskMemFree");

    bool Complete() const {
        return initCommonControlsEx && browseForFolder && pathFromIdList && shellExecute && coInitialize &&
               coUninitialize && coTaskMemFree;
    }
};

int StubWindow::Run() {
    const WindowLibraries libraries;
    if (!libraries.Complete()) return kExitFailed;
    libraries_ = &libraries;
    // The folder browser needs COM.
    libraries.coInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    libraries.initCommonControlsEx(&controls);
    const INT_PTR result = ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_STUB), nullptr,
                                             DialogProc, reinterpret_cast<LPARAM>(this));
    libraries.coUninitialize();
    libraries_ = nullptr;
    return result < 0 ? kExitFailed : static_cast<int>(result);
}

INT_PTR CALLBACK StubWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<StubWindow*>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->window_ = window;
    }
    auto* self = reinterpret_cast<StubWindow*>(::GetWindowLongPtrA(window, DWLP_USER));
    return self ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR StubWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_EXTRACT:
            if (!extracting_) OnExtract();
            return TRUE;
        case IDC_BROWSE:
            OnBrowse();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        }
        break;
    case WM_CLOSE:
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

void StubWindow::OnInitDialog() {
    const sfxsettings::SfxSettings& settings = inputs_.settings;
    ::SetWindowTextA(window_, settings.caption.c_str());
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    // Shared icons from the program's own resources need no destroying.
    HICON icon = ::LoadIconA(instance, "MAINICON");
    ::SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    ::SetDlgItemTextA(window_, IDC_PRODUCT, settings.productLine.c_str());
    ::SetDlgItemTextA(window_, IDC_DESTLABEL, MsgText(StubMsg::DestinationLabel));
    ::SetDlgItemTextA(window_, IDC_BROWSE, MsgText(StubMsg::BrowseButton));
    ::SetDlgItemTextA(window_, IDC_OVERWRITE, MsgText(StubMsg::OverwriteBox));
    ::SetDlgItemTextA(window_, IDC_EXTRACT, MsgText(StubMsg::ExtractButton));
    ::SetDlgItemTextA(window_, IDCANCEL, MsgText(StubMsg::CancelButton));
    const std::string& given = inputs_.arguments.destination;
    SetItemText(window_, IDC_DESTINATION, given.empty() ? inputs_.defaultDestination : given);
    ::CheckDlgButton(window_, IDC_OVERWRITE, inputs_.arguments.overwrite ? BST_CHECKED : BST_UNCHECKED);
    ::SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_SETRANGE32, 0, kProgressSteps);
    if (settings.showFileList) {
        FillFileList();
    } else {
        HideFileList();
    }
}

void StubWindow::FillFileList() {
    HWND list = ::GetDlgItem(window_, IDC_FILELIST);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const std::pair<StubMsg, int> columns[] = {{StubMsg::ListName, kNameColumnWidth},
                                               {StubMsg::ListSize, kSizeColumnWidth}};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
        column.cx = columns[i].second;
        column.pszText = const_cast<char*>(MsgText(columns[i].first));
        ::SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    int row = 0;
    for (const engines::Entry& entry : archive_.Entries()) {
        std::wstring name = platform::win32::Wide(entry.ShownName());
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = name.data();
        ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        std::wstring size = entry.IsFolder() ? std::wstring() : Digits(static_cast<uint64_t>(entry.Size()));
        item.iSubItem = 1;
        item.pszText = size.data();
        ::SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        ++row;
    }
}

// Without the list, everything below it moves up and the window shrinks by the list's height.
void StubWindow::HideFileList() {
    HWND list = ::GetDlgItem(window_, IDC_FILELIST);
    RECT listBounds;
    ::GetWindowRect(list, &listBounds);
    ::ShowWindow(list, SW_HIDE);
    const int shift = listBounds.bottom - listBounds.top;
    for (HWND child = ::GetWindow(window_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT bounds;
        ::GetWindowRect(child, &bounds);
        if (bounds.top < listBounds.bottom) continue;
        ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&bounds), 2);
        ::SetWindowPos(child, nullptr, bounds.left, bounds.top - shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    RECT frame;
    ::GetWindowRect(window_, &frame);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top - shift,
                   SWP_NOMOVE | SWP_NOZORDER);
}

std::string StubWindow::ItemText(int id) const { return WindowText(::GetDlgItem(window_, id)); }

void StubWindow::OnBrowse() {
    const std::wstring start = platform::win32::Wide(ItemText(IDC_DESTINATION));
    const std::wstring title = platform::win32::Wide(MsgText(StubMsg::BrowseTitle));
    wchar_t chosen[MAX_PATH] = L"";
    BROWSEINFOW browse{};
    browse.hwndOwner = window_;
    browse.pszDisplayName = chosen;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = BrowseProc;
    browse.lParam = reinterpret_cast<LPARAM>(start.c_str());
    LPITEMIDLIST picked = libraries_->browseForFolder(&browse);
    if (!picked) return;
    if (libraries_->pathFromIdList(picked, chosen)) ::SetDlgItemTextW(window_, IDC_DESTINATION, chosen);
    libraries_->coTaskMemFree(picked);
}

void StubWindow::SetBusy(bool busy) {
    extracting_ = busy;
    for (int id : {IDC_DESTINATION, IDC_BROWSE, IDC_OVERWRITE, IDC_EXTRACT}) {
        ::EnableWindow(::GetDlgItem(window_, id), !busy);
    }
}

void StubWindow::OnExtract() {
    ExtractRequest request;
    request.destination = ItemText(IDC_DESTINATION);
    request.password = inputs_.arguments.password;
    request.overwrite = ::IsDlgButtonChecked(window_, IDC_OVERWRITE) == BST_CHECKED;
    if (request.destination.empty() || !MakeDestination(request.destination)) {
        ShowMessage(window_, FormatStubMsg(StubMsg::CannotMakeDestination, request.destination),
                    inputs_.settings.caption, MB_OK | MB_ICONERROR);
        return;
    }
    SetBusy(true);
    cancelRequested_ = false;
    notExtracted_.clear();
    total_ = TotalSize(archive_.Entries());
    done_ = 0;
    const ExtractResult result = ExtractAll(archive_, request, *this);
    ::SetDlgItemTextA(window_, IDC_CURRENTFILE, "");
    ShowOutcome(request.destination, result);
    const int code = ExitCodeOf(result.failed, result.cancelled);
    if (code == kExitAllExtracted) RunCommand(request.destination);
    extracting_ = false;
    ::EndDialog(window_, code);
}

void StubWindow::OnCancel() {
    if (extracting_) {
        cancelRequested_ = true;
    } else {
        ::EndDialog(window_, kExitBadArguments);
    }
}

void StubWindow::ShowOutcome(const std::string& destination, const ExtractResult& result) {
    std::string text = FormatStubMsg(StubMsg::Summary, destination, result.extracted);
    if (result.cancelled) text += std::string("\n") + MsgText(StubMsg::Cancelled);
    if (!notExtracted_.empty()) {
        text += std::string("\n\n") + MsgText(StubMsg::SummaryFailedHeader);
        for (size_t i = 0; i < notExtracted_.size() && i < kListedFailures; ++i) text += "\n" + notExtracted_[i];
        if (notExtracted_.size() > kListedFailures) {
            text += "\n" + FormatStubMsg(StubMsg::SummaryMore, std::string(),
                                         static_cast<long>(notExtracted_.size() - kListedFailures));
        }
    }
    const UINT icon = result.failed > 0 || result.cancelled ? MB_ICONWARNING : MB_ICONINFORMATION;
    ShowMessage(window_, text, inputs_.settings.caption, MB_OK | icon);
}

// The command runs only when the file it names came out of the archive (or was there already).
void StubWindow::RunCommand(const std::string& destination) {
    std::string file;
    std::string parameters;
    SplitCommand(platform::AnsiToUtf8(inputs_.settings.commandLine), destination, file, parameters);
    if (file.empty() || !platform::FileExists(file)) return;
    const std::wstring wideParameters = platform::win32::Wide(parameters);
    libraries_->shellExecute(window_, L"open", platform::win32::Wide(file).c_str(),
                             parameters.empty() ? nullptr : wideParameters.c_str(),
                             platform::win32::Wide(destination).c_str(), SW_SHOWNORMAL);
}

bool StubWindow::BeginFile(const std::string& name, int64_t) {
    SetItemText(window_, IDC_CURRENTFILE, name);
    lastPump_ = 0;
    return Progress(0);
}

// Keeps the window alive and Cancel working while the extraction runs on this thread.
bool StubWindow::Progress(size_t bytes) {
    done_ += static_cast<int64_t>(bytes);
    const DWORD now = ::GetTickCount();
    if (lastPump_ != 0 && now - lastPump_ < kPumpInterval) return !cancelRequested_;
    lastPump_ = now;
    const int64_t step = total_ > 0 ? done_ * kProgressSteps / total_ : 0;
    ::SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(step), 0);
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            cancelRequested_ = true;
            break;
        }
        if (!::IsDialogMessageA(window_, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    return !cancelRequested_;
}

bool StubWindow::AskPassword(const std::string& name, std::string& password) {
    PasswordState state{FormatStubMsg(StubMsg::PasswordPrompt, name), std::string()};
    const INT_PTR answer = ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PASSWORD), window_,
                                             PasswordProc, reinterpret_cast<LPARAM>(&state));
    if (answer != IDOK) return false;
    password = state.answer;
    return true;
}

void StubWindow::FileDone(const std::string& name, Failure failure) {
    if (failure != Failure::None) notExtracted_.push_back(name + ": " + MsgText(ReasonOf(failure)));
}

}  // namespace sfxstub
