// TPasswordForm: the Set Password box, laid out in dialog units as the input boxes are.
#include "app/PasswordForm.h"

#include "app/resource.h"
#include "archive/Messages.h"

using platform::win32::DialogTemplate;
using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr short kWidth = 240;
constexpr short kHeight = 90;
// Longer than any password may be, so that one too long reaches the archive object, which refuses it.
constexpr WPARAM kTextLimit = 255;

}  // namespace

DialogTemplate TPasswordForm::MakeTemplate() const {
    DialogTemplate layout(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, kWidth, kHeight);
    layout.AddItem(SS_LEFT | SS_NOPREFIX, 7, 7, kWidth - 14, 12, IDC_LBLPASSWORD, DialogTemplate::kStatic);
    layout.AddItem(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 22, kWidth - 14, 13, IDC_EDPASSWORD, DialogTemplate::kEdit);
    layout.AddItem(BS_AUTOCHECKBOX | WS_TABSTOP, 7, 42, kWidth - 14, 12, IDC_CBSTRONGENCRYPTION, DialogTemplate::kButton);
    layout.AddItem(BS_DEFPUSHBUTTON | WS_TABSTOP, kWidth - 114, 68, 50, 14, IDOK, DialogTemplate::kButton);
    layout.AddItem(BS_PUSHBUTTON | WS_TABSTOP, kWidth - 57, 68, 50, 14, IDCANCEL, DialogTemplate::kButton);
    return layout;
}

void TPasswordForm::OnInitDialog() {
    ::SetWindowTextA(Handle(), Caption.c_str());
    SetItemText(IDC_LBLPASSWORD, FormatMsg(Msg::EnterPassword));
    ::SendDlgItemMessageA(Handle(), IDC_EDPASSWORD, EM_LIMITTEXT, kTextLimit, 0);
    SetItemText(IDC_EDPASSWORD, Password);
    SetItemText(IDC_CBSTRONGENCRYPTION, FormatMsg(Msg::CbStrongEncryption));
    ::CheckDlgButton(Handle(), IDC_CBSTRONGENCRYPTION, StrongEncryption ? BST_CHECKED : BST_UNCHECKED);
    SetItemText(IDOK, FormatMsg(Msg::BtnOk));
    SetItemText(IDCANCEL, FormatMsg(Msg::BtnCancel));
}

bool TPasswordForm::OnOk() {
    Password = ItemText(IDC_EDPASSWORD);
    StrongEncryption = ::IsDlgButtonChecked(Handle(), IDC_CBSTRONGENCRYPTION) == BST_CHECKED;
    return true;
}
