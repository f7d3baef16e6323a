// TMainForm's commands: the one dispatcher, the one function that sets every command's state, the handlers.
#include "app/Main.h"

#include "app/PasswordForm.h"
#include "app/resource.h"
#include "engine/ZipDlls.h"
#include "platform/Files.h"
#include "platform/win32/WindowKit.h"
#include "archive/DiskUtils.h"

using zip::FormatMsg;
using platform::win32::WindowText;
using zip::Msg;

namespace {

constexpr const char* kEveryFile = "*.*";

// The path of dropped item `index`, at its full length: a path cut short names another file or none.
std::string DroppedPath(HDROP drop, UINT index) {
    const UINT length = ::DragQueryFileW(drop, index, nullptr, 0);
    std::wstring path(static_cast<size_t>(length) + 1, L'\0');
    path.resize(::DragQueryFileW(drop, index, &path[0], length + 1));
    return platform::win32::Utf8(path);
}

}  // namespace

// What a command needs to be enabled, from the state table.
enum class TMainForm::Needs { Nothing, OpenArchive, Entries, Selection, OneSelected, SfxArchive, PlainArchive };

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
        {IDM_TESTARCHIVE, Needs::Entries, &TMainForm::TestArchiveActionExecute, nullptr},
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
        case Needs::Entries: enabled = archiveOpen_ && rowCount_ > 0; break;
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
    ::SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(platform::win32::Wide(text).c_str()));
}

void TMainForm::OpenArchive(const std::string& path) {
    // Refills the list and the comment through OnContentsChanged; a failure leaves the rest as it was.
    zipArchive_->SetZipFileName(path);
    UpdateConvertCommands();
    archiveOpen_ = true;
    UpdateCommandStates();
    if (rowCount_ > 0) {
        LVITEMW focus{};
        focus.stateMask = LVIS_FOCUSED;
        focus.state = LVIS_FOCUSED;
        ::SendMessageW(listView_, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&focus));
    }
    ::SetFocus(listView_);
    platform::win32::SetWindowText(Handle(), zipArchive_->ZipFileName());
    // A cancelled disk question left the archive unread; an empty list alone would look like success.
    SetStatusText(zipArchive_->DiskPromptCancelled() ? FormatMsg(Msg::DiskPromptCancelled, zipArchive_->ZipFileName())
                                                     : FormatMsg(Msg::FilesInArchive, zipArchive_->Count()));
}

TDialogs& TMainForm::Dialogs() { return options_.Dialogs ? *options_.Dialogs : *shellDialogs_; }

std::vector<std::string> TMainForm::SelectedNames() const {
    std::vector<std::string> names;
    for (int row = -1; (row = static_cast<int>(::SendMessageW(listView_, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                              LVNI_SELECTED))) >= 0;) {
        if (row >= rowCount_) break;
        names.push_back(Row(row).FileName);
    }
    return names;
}

// Counted before any name is read: selecting all of a million entries names none of them.
std::vector<std::string> TMainForm::SelectionSpecs(bool noneMeansAll) const {
    const int selected = SelectedCount();
    if (selected == rowCount_ || (selected == 0 && noneMeansAll)) return {kEveryFile};
    return SelectedNames();
}

// One ".zip" file is opened; two or more items are added one by one, in the shell's order. The
// drop handle is released in every case.
void TMainForm::WMDropFiles(HDROP drop) {
    platform::win32::DropHandle dropped(drop);
    if (Busy()) return;
    BusyScope busy(*this);
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    zipArchive_->AddOptions = engine::kAddReplace;
    if (count == 1) {
        const std::string path = DroppedPath(drop, 0);
        if (HasZipExtension(path)) OpenArchive(path);
        return;
    }
    for (UINT i = 0; i < count; ++i) AddDroppedItem(DroppedPath(drop, i));
}

// A folder goes in with its tree and its folder names, a file by itself.
void TMainForm::AddDroppedItem(const std::string& path) {
    TZip& zip = *zipArchive_;
    if (platform::DirectoryExists(path)) {
        zip.AddRootDir = path;
        zip.SetFileSpecs({kEveryFile});
        zip.AddOptions = engine::kAddRecurse | engine::kAddFolderNames;
    } else {
        zip.SetFileSpecs({path});
        zip.AddOptions = engine::kAddReplace;
    }
    zip.AddFiles();
}

void TMainForm::ExitActionExecute() { ::PostMessageW(Handle(), WM_CLOSE, 0, 0); }

void TMainForm::SelectAllActionExecute() {
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ::SendMessageW(listView_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&select));
}

void TMainForm::InvertSelectActionExecute() {
    const int count = rowCount_;
    for (int i = 0; i < count; ++i) {
        const bool selected = ::SendMessageW(listView_, LVM_GETITEMSTATE, i, LVIS_SELECTED) != 0;
        LVITEMW flip{};
        flip.stateMask = LVIS_SELECTED;
        flip.state = selected ? 0 : LVIS_SELECTED;
        ::SendMessageW(listView_, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&flip));
    }
}

void TMainForm::ChooseArchive(bool OpenExisting) {
    SaveDialog.Filter = FormatMsg(Msg::ZipFilesFilter);
    SaveDialog.Options = OpenExisting ? ofHideReadOnly | ofPathMustExist
                                      : ofOverwritePrompt | ofHideReadOnly | ofPathMustExist;
    SaveDialog.Title = FormatMsg(OpenExisting ? Msg::OpenZipTitle : Msg::NewZipTitle);
    if (!Dialogs().ExecuteSave(SaveDialog)) return;
    const std::string name = SaveDialog.FileName();
    // The user has agreed to replace it. A file that stays would be opened as if it were the new
    // archive, so a failed deletion is an error.
    if (!OpenExisting && platform::FileExists(name) && !platform::DeleteFile(name))
        throw ZipException(FormatMsg(Msg::UnableToCreate, name));
    SaveDialog.InitialDir = ExtractFilePath(name);
    OpenDialog.InitialDir = SaveDialog.InitialDir;
    OpenArchive(name);
}

void TMainForm::NewActionExecute() { ChooseArchive(false); }
void TMainForm::OpenActionExecute() { ChooseArchive(true); }

void TMainForm::WriteAddStatus(int32_t entriesAdded) {
    const TZip& zip = *zipArchive_;
    SetStatusText(zip.Cancelled ? FormatMsg(Msg::AddCancelled)
                                : FormatMsg(Msg::FilesAdded, zip.AddedFileCount(entriesAdded)));
}

void TMainForm::AddFilesActionExecute() {
    // Multiple selection stays on for later runs of the dialog.
    OpenDialog.Options |= ofAllowMultiSelect;
    OpenDialog.Filter = FormatMsg(Msg::AllFilesFilter);
    OpenDialog.Title = FormatMsg(Msg::AddFilesTitle);
    if (!Dialogs().ExecuteOpen(OpenDialog)) return;
    zipArchive_->SetFileSpecs(OpenDialog.Files);
    zipArchive_->AddOptions = engine::kAddReplace;
    WriteAddStatus(zipArchive_->AddFiles());
}

void TMainForm::AddFolderActionExecute() {
    std::string folder = OpenDialog.InitialDir;
    if (!Dialogs().BrowseForFolder(folder, FormatMsg(Msg::AddFolderTitle))) return;
    zipArchive_->AddRootDir = folder;
    zipArchive_->SetFileSpecs({kEveryFile});
    zipArchive_->AddOptions = engine::kAddRecurse | engine::kAddFolderNames;
    WriteAddStatus(zipArchive_->AddFiles());
}

void TMainForm::ExtractActionExecute() {
    if (rowCount_ == 0) return;
    zipArchive_->SetFileSpecs(SelectionSpecs(true));
    std::string folder = OpenDialog.InitialDir;
    if (!Dialogs().BrowseForFolder(folder, FormatMsg(Msg::ExtractToTitle))) return;
    zipArchive_->ExtractOptions = engine::kExtractByAge | engine::kExtractFolderNames;
    zipArchive_->ExtractDir = folder;
    std::string status = FormatMsg(Msg::FilesExtracted, zipArchive_->ExtractFiles());
    if (zipArchive_->ErrorCount() > 0) status = FormatMsg(Msg::ExtractErrors, status, zipArchive_->ErrorCount());
    SetStatusText(status);
}

// Tests the selected entries, or all when none or all are selected; the entries that are not
// sound are listed with their reasons.
void TMainForm::TestArchiveActionExecute() {
    if (rowCount_ == 0) return;
    zipArchive_->SetFileSpecs(SelectionSpecs(true));
    const int32_t sound = zipArchive_->TestFiles();
    const int32_t damaged = zipArchive_->ErrorCount();
    SetStatusText(damaged > 0 ? FormatMsg(Msg::FilesTestedDamaged, sound + damaged, damaged)
                              : FormatMsg(Msg::FilesTestedOk, sound));
    if (damaged == 0) return;
    std::string list;
    for (const TSkippedFile& file : zipArchive_->SkippedFiles()) {
        if (file.Reason < engine::kFirstErrorReason || file.Reason > engine::kLastErrorReason) continue;
        std::string reason = engine::SkipReasonText(file.Reason);
        if (!file.Detail.empty()) reason += " (" + file.Detail + ")";
        list += FormatMsg(Msg::NotProcessed, file.Name, reason) + "\n";
    }
    platform::CurrentUser().MessageBox(FormatMsg(Msg::DamagedFilesList, list), zip::kApplicationTitle,
                                       platform::kMbOk | platform::kMbIconWarning);
}

void TMainForm::DeleteActionExecute() {
    // No question: the entries named are deleted as they are.
    zipArchive_->SetFileSpecs(SelectionSpecs(false));
    SetStatusText(FormatMsg(Msg::FilesDeleted, zipArchive_->DeleteFiles()));
}

void TMainForm::PasswordClick() {
    // Shown as typed. The archive object lives as long as the window, so the strong-encryption
    // choice holds for the rest of the session.
    TPasswordForm box;
    box.Caption = WindowText(Handle());
    box.Password = zipArchive_->Password();
    box.StrongEncryption = zipArchive_->StrongEncryption;
    if (Dialogs().ShowModal(box) != IDOK) return;
    // A password too long is refused here, and the choice of cipher stays as it was with it.
    zipArchive_->SetPassword(box.Password);
    zipArchive_->StrongEncryption = box.StrongEncryption;
}

void TMainForm::AboutClick() { Dialogs().ShellOpen(ProgramDir + kProductPage, GetTempDirectory()); }

void TMainForm::BtnNewClick() { NewActionExecute(); }
void TMainForm::BtnOpenClick() { OpenActionExecute(); }
void TMainForm::BtnAddClick() { AddFilesActionExecute(); }
void TMainForm::BtnExtractClick() { ExtractActionExecute(); }
void TMainForm::BtnHelpClick() { AboutClick(); }
