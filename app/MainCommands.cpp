// TMainForm's commands: the one dispatcher, the one function that sets every command's state, the handlers.
#include "app/Main.h"

#include "app/resource.h"

using zip::FormatMsg;
using zip::Msg;

// What a command needs to be enabled, from the state table.
enum class TMainForm::Needs { Nothing, OpenArchive, Selection, OneSelected, SfxArchive, PlainArchive };

struct TMainForm::Command {
    int id;
    Needs needs;
    void (TMainForm::*menuHandler)();
    void (TMainForm::*buttonHandler)();  // nullptr when no button carries the command
};

// Every command of the menu bar with its rule; the toolbar buttons share the ids of their commands.
const std::vector<TMainForm::Command>& TMainForm::CommandTable() {
    static const std::vector<Command> kCommands = {
        {IDM_NEW, Needs::Nothing, &TMainForm::NewActionExecute, &TMainForm::BtnNewClick},
        {IDM_OPEN, Needs::Nothing, &TMainForm::OpenActionExecute, &TMainForm::BtnOpenClick},
        {IDM_CLOSE, Needs::Nothing, &TMainForm::ExitActionExecute, nullptr},
        {IDM_SELECTALL, Needs::Nothing, &TMainForm::SelectAllActionExecute, nullptr},
        {IDM_SELECTNONE, Needs::Nothing, &TMainForm::InvertSelectActionExecute, nullptr},
        {IDM_ADDFILES, Needs::OpenArchive, &TMainForm::AddFilesActionExecute, &TMainForm::BtnAddClick},
        {IDM_ADDFOLDER, Needs::OpenArchive, &TMainForm::AddFolderActionExecute, nullptr},
        {IDM_EXTRACT, Needs::Selection, &TMainForm::ExtractActionExecute, &TMainForm::BtnExtractClick},
        {IDM_DELETE, Needs::Selection, &TMainForm::DeleteActionExecute, nullptr},
        {IDM_PASSWORD, Needs::OpenArchive, &TMainForm::PasswordClick, nullptr},
        {IDM_CONVERTSFXTOZIP, Needs::SfxArchive, &TMainForm::ConvertSfxtoZipClick, nullptr},
        {IDM_CONVERTZIPTOSFX, Needs::PlainArchive, &TMainForm::ConvertZiptoSfxClick, nullptr},
        {IDM_SPANARCHIVETOADRIVE, Needs::OpenArchive, &TMainForm::SpanArchiveToADriveClick, nullptr},
        {IDM_MERGEARCHIVEFROMADRIVE, Needs::OpenArchive, &TMainForm::MergeArchiveFromADriveClick, nullptr},
        {IDM_MODIFYFILECOMMENT, Needs::OneSelected, &TMainForm::ModFileComActionExecute, nullptr},
        {IDM_MODIFYZIPCOMMENT, Needs::OpenArchive, &TMainForm::ModZipComActionExecute, nullptr},
        {IDM_ABOUT, Needs::Nothing, &TMainForm::AboutClick, &TMainForm::BtnHelpClick},
    };
    return kCommands;
}

void TMainForm::OnCommand(int command, bool fromButton) {
    // Commands are not re-entrant: while one runs, the pumped messages of its operation may carry
    // clicks and shortcuts, which are dropped here.
    if (Busy()) return;
    for (const Command& entry : CommandTable()) {
        if (entry.id != command) continue;
        BusyScope busy(*this);
        // Buttons ignore the state table (Add and Extract run without an archive or a selection);
        // the system sends no WM_COMMAND for a disabled menu item or its shortcut.
        if (fromButton && entry.buttonHandler)
            (this->*entry.buttonHandler)();
        else
            (this->*entry.menuHandler)();
        return;
    }
}

void TMainForm::UpdateCommandStates() {
    HMENU menu = ::GetMenu(Handle());
    for (const Command& entry : CommandTable()) {
        bool enabled = true;
        switch (entry.needs) {
        case Needs::Nothing: break;
        case Needs::OpenArchive: enabled = archiveOpen_; break;
        case Needs::Selection: enabled = selectedCount_ >= 1; break;
        case Needs::OneSelected: enabled = selectedCount_ == 1; break;
        case Needs::SfxArchive: enabled = archiveOpen_ && sfxArchive_; break;
        case Needs::PlainArchive: enabled = archiveOpen_ && !sfxArchive_; break;
        }
        if (Busy()) enabled = false;
        if (menu) ::EnableMenuItem(menu, static_cast<UINT>(entry.id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }
    for (HWND button : buttons_) ::EnableWindow(button, !Busy());
}

void TMainForm::UpdateConvertCommands() { sfxArchive_ = zipArchive_->SfxOffset() > 0; }

void TMainForm::SetStatusText(const std::string& text) {
    ::SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TMainForm::OpenArchive(const std::string& path) {
    // Refills the list and the comment through OnContentsChanged; a failure leaves the rest as it was.
    zipArchive_->SetZipFileName(path);
    UpdateConvertCommands();
    archiveOpen_ = true;
    UpdateCommandStates();
    if (!rows_.empty()) {
        LVITEMA focus{};
        focus.stateMask = LVIS_FOCUSED;
        focus.state = LVIS_FOCUSED;
        ::SendMessageA(listView_, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&focus));
    }
    ::SetFocus(listView_);
    ::SetWindowTextA(Handle(), zipArchive_->ZipFileName().c_str());
    SetStatusText(FormatMsg(Msg::FilesInArchive, zipArchive_->Count()));
}

// Dropped files are opened or added by the archive commands; the handle is released in every case.
void TMainForm::WMDropFiles(HDROP drop) {
    platform::win32::DropHandle dropped(drop);
    if (Busy()) return;
}

void TMainForm::ExitActionExecute() { ::PostMessageA(Handle(), WM_CLOSE, 0, 0); }

void TMainForm::SelectAllActionExecute() {
    LVITEMA select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ::SendMessageA(listView_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&select));
}

void TMainForm::InvertSelectActionExecute() {
    const int count = static_cast<int>(rows_.size());
    for (int i = 0; i < count; ++i) {
        const bool selected = ::SendMessageA(listView_, LVM_GETITEMSTATE, i, LVIS_SELECTED) != 0;
        LVITEMA flip{};
        flip.stateMask = LVIS_SELECTED;
        flip.state = selected ? 0 : LVIS_SELECTED;
        ::SendMessageA(listView_, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&flip));
    }
}

// The commands below come with the archive commands, the shell helpers and the comment, conversion
// and floppy-disk commands; they are in the menu with their states already.
void TMainForm::NewActionExecute() {}
void TMainForm::OpenActionExecute() {}
void TMainForm::AddFilesActionExecute() {}
void TMainForm::AddFolderActionExecute() {}
void TMainForm::ExtractActionExecute() {}
void TMainForm::DeleteActionExecute() {}
void TMainForm::PasswordClick() {}
void TMainForm::AboutClick() {}

void TMainForm::BtnNewClick() { NewActionExecute(); }
void TMainForm::BtnOpenClick() { OpenActionExecute(); }
void TMainForm::BtnAddClick() { AddFilesActionExecute(); }
void TMainForm::BtnExtractClick() { ExtractActionExecute(); }
void TMainForm::BtnHelpClick() { AboutClick(); }
