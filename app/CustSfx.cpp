// TCustSfxForm: the "Customize Sfx" dialog, laid out in pixels, with its icon chooser.
#include "app/CustSfx.h"

#include <shellapi.h>

#include "app/resource.h"
#include "archive/Messages.h"
#include "platform/win32/WindowKit.h"
#include "abi/SfxSettings.h"
#include "platform/Text.h"

using platform::win32::DialogTemplate;
using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr DWORD kDialogStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr int kFontHeight = -11;  // MS Sans Serif, 8 points at 96 dots per inch
constexpr const char* kFontFace = "MS Sans Serif";
constexpr int kNoTab = -1;

// The controls in their tab order, which is also their order in the dialog: a label comes just
// before its edit, so the label's access key moves the focus there.
struct ControlSpec {
    int id;
    WORD windowClass;
    DWORD style;
    int left, top, width, height;
    bool captioned;  // the edits take the caller's texts, the image an icon
    Msg caption;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEditStyle = kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
const ControlSpec kControls[] = {
    {IDC_LBLCAPTION, DialogTemplate::kStatic, kChild | SS_LEFTNOWORDWRAP, 39, 26, 39, 13, true, Msg::LblCaption},
    {IDC_EDCAPTION, DialogTemplate::kEdit, kEditStyle, 39, 46, 348, 21, false, {}},
    {IDC_LBLPRODUCTINFO, DialogTemplate::kStatic, kChild | SS_LEFTNOWORDWRAP, 39, 82, 141, 13, true, Msg::LblProductInfo},
    {IDC_EDPRODUCTINFO, DialogTemplate::kEdit, kEditStyle, 39, 103, 348, 21, false, {}},
    {IDC_LBLCOMMANDLINE, DialogTemplate::kStatic, kChild | SS_LEFTNOWORDWRAP, 39, 139, 70, 13, true, Msg::LblCommandLine},
    {IDC_EDCOMMANDLINE, DialogTemplate::kEdit, kEditStyle, 39, 160, 348, 21, false, {}},
    // Sized by the layout, not by the icon it shows.
    {IDC_CUSTIMAGE1, DialogTemplate::kStatic, kChild | SS_ICON | SS_REALSIZECONTROL, 41, 227, 32, 32, false, {}},
    {IDC_BTNCHANGEICON, DialogTemplate::kButton, kChild | WS_TABSTOP | BS_PUSHBUTTON, 93, 234, 75, 25, true,
     Msg::BtnChangeIcon},
    {IDOK, DialogTemplate::kButton, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 180, 234, 75, 25, true, Msg::BtnOk},
    {IDCANCEL, DialogTemplate::kButton, kChild | WS_TABSTOP | BS_PUSHBUTTON, 311, 234, 75, 25, true, Msg::BtnCancel},
    {IDC_CBSHOWFILELIST, DialogTemplate::kButton, kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 39, 195, 97, 17, true,
     Msg::CbShowFileList},
};

void PlaceControl(HWND dialog, const ControlSpec& control, bool repaint) {
    ::MoveWindow(::GetDlgItem(dialog, control.id), control.left, control.top, control.width, control.height, repaint);
}

// The labels size themselves to their text, as the design's labels do: in MS Sans Serif that is
// the size the layout gives, and where the system draws a wider face the caption is still whole.
void FitLabelToText(HWND label, HFONT font) {
    const std::wstring text = platform::win32::Wide(platform::win32::WindowText(label));
    platform::win32::WindowDc dc(label);
    platform::win32::SelectGuard selected(dc.Get(), font);
    RECT extent{0, 0, 0, 0};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &extent, DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
    ::SetWindowPos(label, nullptr, 0, 0, extent.right, extent.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The longest text each edit takes: what the program's settings block holds.
size_t TextLimit(int id) {
    switch (id) {
    case IDC_EDCAPTION: return sfxsettings::kMaxCaption;
    case IDC_EDPRODUCTINFO: return sfxsettings::kMaxProductLine;
    case IDC_EDCOMMANDLINE: return sfxsettings::kMaxCommandLine;
    default: return 0;
    }
}

}  // namespace

TCustSfxForm::TCustSfxForm(TDialogs& dialogs) : dialogs_(dialogs) {
    OpenDialog1.Title = FormatMsg(Msg::SelectIconTitle);
    OpenDialog1.Filter = FormatMsg(Msg::IconFilesFilter);
    OpenDialog1.Options = ofHideReadOnly | ofFileMustExist | ofPathMustExist;
}

DialogTemplate TCustSfxForm::MakeTemplate() const {
    // Sizes in dialog units are placeholders: OnInitDialog places everything in pixels.
    DialogTemplate layout(kDialogStyle, 10, 10);
    for (const ControlSpec& control : kControls)
        layout.AddItem(control.style, 0, 0, 1, 1, static_cast<WORD>(control.id), control.windowClass);
    return layout;
}

INT_PTR TCustSfxForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_BTNCHANGEICON && HIWORD(wParam) == BN_CLICKED) {
        btnChangeIconClick();
        return TRUE;
    }
    return ModalDialog::HandleMessage(message, wParam, lParam);
}

void TCustSfxForm::OnInitDialog() {
    LayOut();
    FormCreate();
    platform::win32::SetWindowText(Handle(), FormatMsg(Msg::CustSfxCaption));
    // The stub shows its settings in the ANSI code page; the edits hold them as the window's text.
    SetItemText(IDC_EDCAPTION, platform::AnsiToUtf8(Caption));
    SetItemText(IDC_EDPRODUCTINFO, platform::AnsiToUtf8(ProductInfo));
    SetItemText(IDC_EDCOMMANDLINE, platform::AnsiToUtf8(CommandLine));
    ::CheckDlgButton(Handle(), IDC_CBSHOWFILELIST, ShowFileList ? BST_CHECKED : BST_UNCHECKED);
}

void TCustSfxForm::LayOut() {
    font_.Reset(::CreateFontA(kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, kFontFace));
    for (const ControlSpec& control : kControls) {
        HWND item = ::GetDlgItem(Handle(), control.id);
        PlaceControl(Handle(), control, false);
        ::SendMessageA(item, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
        if (control.captioned) platform::win32::SetWindowText(item, FormatMsg(control.caption));
        if (control.windowClass == DialogTemplate::kStatic && control.captioned)
            FitLabelToText(item, static_cast<HFONT>(font_.Get()));
        if (const size_t limit = TextLimit(control.id)) ::SendMessageA(item, EM_LIMITTEXT, limit, 0);
    }
    // The client area's size, then centred on the screen.
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongA(Handle(), GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongA(Handle(), GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    ::SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// FormCreate: the program's own icon in the image; IconFileName stays empty.
void TCustSfxForm::FormCreate() {
    chosenIcon_.Reset();
    IconFileName.clear();
    // Loaded from the program's resources, so shared: not destroyed.
    HICON own = ::LoadIconA(platform::win32::ProgramInstance(), "MAINICON");
    ::SendDlgItemMessageA(Handle(), IDC_CUSTIMAGE1, STM_SETICON, reinterpret_cast<WPARAM>(own), 0);
}

void TCustSfxForm::btnChangeIconClick() {
    if (!dialogs_.ExecuteOpen(OpenDialog1)) return;
    ChooseIcon(OpenDialog1.FileName());
}

void TCustSfxForm::ChooseIcon(const std::string& path) {
    HICON extracted = ::ExtractIconW(platform::win32::ProgramInstance(), platform::win32::Wide(path).c_str(), 0);
    // 1 means "not a program or icon file": no icon either.
    if (extracted == reinterpret_cast<HICON>(1)) extracted = nullptr;
    platform::win32::IconHandle icon(extracted);
    ::SendDlgItemMessageA(Handle(), IDC_CUSTIMAGE1, STM_SETICON, reinterpret_cast<WPARAM>(icon.Get()), 0);
    // Some systems size an icon control to its icon all the same: put it back where the layout has it.
    for (const ControlSpec& control : kControls)
        if (control.id == IDC_CUSTIMAGE1) PlaceControl(Handle(), control, true);
    IconFileName = icon ? path : std::string();
    chosenIcon_ = std::move(icon);
}

HICON TCustSfxForm::ShownIcon() const {
    return reinterpret_cast<HICON>(::SendDlgItemMessageA(Handle(), IDC_CUSTIMAGE1, STM_GETICON, 0, 0));
}

bool TCustSfxForm::OnOk() {
    Caption = platform::Utf8ToAnsi(ItemText(IDC_EDCAPTION));
    ProductInfo = platform::Utf8ToAnsi(ItemText(IDC_EDPRODUCTINFO));
    CommandLine = platform::Utf8ToAnsi(ItemText(IDC_EDCOMMANDLINE));
    ShowFileList = ::IsDlgButtonChecked(Handle(), IDC_CBSHOWFILELIST) == BST_CHECKED;
    return true;
}
