// TMainForm's Action menu: the comment commands, the conversions to and from a self-extracting program, spanning and merging.
#include "app/Main.h"

#include <cctype>

#include "app/CustSfx.h"
#include "app/Dialogs.h"
#include "archive/DiskUtils.h"
#include "platform/Files.h"
#include "platform/User.h"
#include "sfx/CustomStub.h"
#include "sfx/SfxUtils.h"
#include "sfx/win32/ProgramIcon.h"
#include "abi/SfxSettings.h"

using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr const char* kStubName = "sfx.bin";
// The icon group of sfx.bin that a customised copy replaces: the name the program's own icon has.
constexpr const char* kStubIconGroup = "MAINICON";

void ShowMessage(const std::string& text) {
    platform::CurrentUser().MessageBox(text, zip::kApplicationTitle, platform::kMbOk);
}

// A file in the temporary folder that lives as long as one command.
class TemporaryFile {
public:
    TemporaryFile() : path_(MakeTempFileName()) {
        if (path_.empty()) platform::RaiseFileError(FormatMsg(Msg::UnableToCreate, GetTempDirectory()));
    }
    ~TemporaryFile() { platform::DeleteFile(path_); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

bool IsDefault(const sfxsettings::SfxSettings& settings) {
    const sfxsettings::SfxSettings defaults;
    return settings.caption == defaults.caption && settings.productLine == defaults.productLine &&
           settings.commandLine == defaults.commandLine && settings.showFileList == defaults.showFileList &&
           settings.destination == defaults.destination;
}

// A conversion never overwrites: true (after the message) when the target is there already.
bool TargetExists(const std::string& target) {
    if (!platform::FileExists(target)) return false;
    ShowMessage(FormatMsg(Msg::AlreadyExists, target));
    return true;
}

}  // namespace

int TMainForm::SelectedRow() const {
    return static_cast<int>(::SendMessageW(listView_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TMainForm::ModFileComActionExecute() {
    if (SelectedCount() != 1) return;
    const int row = SelectedRow();
    if (row < 0 || row >= rowCount_) return;
    // Taken before the box: the list may be refilled while it is up.
    const ListRow selected = Row(row);
    // Cancel hands back the old comment, which is passed on all the same.
    const std::string comment = Dialogs().CommentBox(FormatMsg(Msg::FileCommentCaption),
                                                     FormatMsg(Msg::FileCommentPrompt), selected.Comment);
    zipArchive_->SetFileComment(selected.EntryIndex, comment);
}

void TMainForm::ModZipComActionExecute() {
    const std::string comment = Dialogs().CommentBox(FormatMsg(Msg::ZipCommentCaption),
                                                     FormatMsg(Msg::ZipCommentPrompt), zipArchive_->GetZipComment());
    // An unchanged comment leaves the file untouched.
    zipArchive_->SetZipComment(comment);
}

void TMainForm::OpenConvertedArchive(const std::string& path) {
    zipArchive_->SetZipFileName(path);
    platform::win32::SetWindowText(Handle(), zipArchive_->ZipFileName());
    UpdateConvertCommands();
    UpdateCommandStates();
}

void TMainForm::ConvertSfxtoZipClick() {
    if (zipArchive_->SfxOffset() == 0) return;
    const std::string target = ChangeFileExt(zipArchive_->ZipFileName(), ".zip");
    if (TargetExists(target)) return;
    if (!StripSfxStub(zipArchive_->ZipFileName(), target)) {
        ShowMessage(FormatMsg(Msg::StripFailed));
        return;
    }
    OpenConvertedArchive(target);
}

void TMainForm::ConvertZiptoSfxClick() {
    if (zipArchive_->SfxOffset() != 0) return;
    const std::string source = zipArchive_->ZipFileName();
    const std::string target = ChangeFileExt(source, ".exe");
    if (TargetExists(target)) return;

    TCustSfxForm form(Dialogs());
    form.Caption = std::string(sfxsettings::kDefaultCaption);
    form.ProductInfo = std::string(sfxsettings::kDefaultProductLine);
    form.CommandLine = std::string(sfxsettings::kDefaultCommandLine);
    if (Dialogs().ShowModal(form) != IDOK) return;

    // The dialog's choices go into the program through a customised copy of the stub; when the user
    // changed nothing, the stub itself is used, so the program is exactly the stub and the archive.
    sfxsettings::SfxSettings settings;
    settings.caption = form.Caption;
    settings.productLine = form.ProductInfo;
    settings.commandLine = form.CommandLine;
    settings.showFileList = form.ShowFileList;
    const std::string stub = ProgramDir + kStubName;
    std::unique_ptr<TemporaryFile> customStub;
    if (!IsDefault(settings) || !form.IconFileName.empty()) {
        customStub = std::make_unique<TemporaryFile>();
        if (!WriteCustomStub(stub, settings, customStub->Path()) ||
            (!form.IconFileName.empty() && !ReplaceProgramIcon(customStub->Path(), kStubIconGroup, form.IconFileName))) {
            ShowMessage(FormatMsg(Msg::CustomStubFailed, stub));
            return;
        }
    }
    // BuildSfx removes its partial target itself when a copy falls short.
    if (!BuildSfx({customStub ? customStub->Path() : stub, source}, target)) {
        ShowMessage(FormatMsg(Msg::BuildSfxFailed));
        return;
    }
    OpenConvertedArchive(target);
}

void TMainForm::SpanArchiveToADriveClick() {
    zipArchive_->SpanZip("a:\\" + ExtractFileName(zipArchive_->ZipFileName()), 0, 0);
}

void TMainForm::MergeArchiveFromADriveClick() {
    const std::string drive = ExtractFileDrive(zipArchive_->ZipFileName());
    if (drive.empty() || std::toupper(static_cast<unsigned char>(drive[0])) != 'A') {
        platform::CurrentUser().Beep();
        return;
    }
    // One file; a name that does not exist yet is what a merge usually writes to.
    OpenDialog.Options &= ~static_cast<unsigned>(ofAllowMultiSelect | ofFileMustExist);
    OpenDialog.Filter = FormatMsg(Msg::MergeFilter);
    OpenDialog.Title = FormatMsg(Msg::MergeTitle);
    if (!Dialogs().ExecuteOpen(OpenDialog)) return;
    zipArchive_->MergeSpannedZip(OpenDialog.FileName());
}
