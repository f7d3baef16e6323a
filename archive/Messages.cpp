// The message table: every text the archive component and the conversions show, once.
#include "archive/Messages.h"

#include <cstdio>
#include <vector>

namespace zip {

const char* MessageText(Msg id) {
    switch (id) {
    case Msg::NotValidZip: return "\"%s\"\nis not a valid Zip file.";
    case Msg::ErrorReadingCentral: return "Error reading CentralFileHeader.";
    case Msg::UnableToAccessDrive: return "Unable to access the selected drive!";
    case Msg::UnableToCreate: return "Unable to create \n\"%s\"";
    case Msg::IndexRangeError: return "Index range error";
    case Msg::PasswordTooLong: return "Passwords must be 80 characters or less.";
    case Msg::InsertLastDisk:
        return "This is [ Disk %d ] of a multiple disk Zip file.\n"
               "Insert the last disk of the Zip file before pressing [ OK ] to continue ...";
    case Msg::InsertDisk:
        return "Insert [ Disk %d ] of the Zip file into the floppy drive\n"
               "before pressing [ OK ] to continue ...";
    case Msg::DiskPromptCancelled:
        return "Cancelled: the disk asked for was not inserted, so \"%s\" was not read.";
    case Msg::NotValidSfx: return "\"%s\"\nis not a valid Self-extracting zip file.";
    case Msg::ErrorReadingSfx: return "Error reading self-extracting zip file.";
    case Msg::CommentTooLong: return "A comment can be at most 65535 characters long.";
    case Msg::ErrorWritingComment:
        return "Error writing the comment: the disk may be full.\nThe archive was left as it was.";
    case Msg::TooLarge:
        return "\"%s\"\nwould hold an offset of 4 GB or more where the set has no ZIP64 field to carry it.";
    case Msg::NeedsZip64:
        return "\"%s\"\nis a ZIP64 archive (more than 65535 entries or 4 GB and more): this operation does not "
               "support ZIP64 archives yet. The archive was left as it was.";
    case Msg::Zip64Damaged:
        return "\"%s\"\nneeds its ZIP64 records, but they are missing or damaged.";
    case Msg::Zip64Contradicts:
        return "\"%s\"\nholds a ZIP64 end record that contradicts its end record.";
    case Msg::Zip64OnOtherDisk:
        return "\"%s\"\nkeeps its ZIP64 end record on another disk than the last: such sets are not read.";
    case Msg::SpanOnlyOnFloppy: return "Multiple disk Zip files can only be created on floppy disks.";
    case Msg::SourceOnFloppy: return "The source file must not be on a floppy disk";
    case Msg::MaxFileSizeTooSmall: return "Maximum File Size must be at least 256k.";
    case Msg::Disk1SizeTooSmall: return "Minimum file size on Disk1 must be at least 256k.";
    case Msg::InsufficientRoom:
        return "There is insufficient room on this floppy disk ...\n"
               "Insert another disk into the floppy drive\n"
               "before pressing [ OK ] to continue ...";
    case Msg::UnableToCreateLabel: return "Unable to create disk Volume Label";
    case Msg::UnableToReadLocalHeader: return "Unable to read LocalHeader";
    case Msg::UnableToWriteLocalHeader: return "Unable to write LocalHeader.";
    case Msg::UnableToWriteLocalData: return "Unable to write local data.";
    case Msg::ErrorWritingCentralDir: return "Error writing CentralDirectory.";
    case Msg::ErrorWritingEndOfCentral: return "Error writing EndOfCentralHeader.";
    case Msg::UnableToReadZipComment: return "Unable to read main Zip comment.";
    case Msg::UnableToWriteZipComment: return "Unable to write main Zip comment.";
    case Msg::NotMultiDisk: return "This is not a multiple disk Zip file.";
    case Msg::MergeOnlyToFixed: return "A multiple disk Zip file can only be merged onto a fixed drive.";
    case Msg::ErrorReadingDiskSignature: return "Error reading multiple disk signature";
    case Msg::ErrorReadingEndOfCentral: return "Error reading EndOfCentralHeader.";
    case Msg::ErrorWritingMerged: return "Error writing \"%s\": the disk may be full.\nNothing was merged.";
    case Msg::ErrorReadingDiskPart: return "Error reading [ Disk %d ] of the Zip file.\nNothing was merged.";
    case Msg::AlreadyExists: return "\"%s\" already exists ...\nNo conversion done.";
    case Msg::StripFailed: return "Something went wrong in StripSfxStub()";
    case Msg::BuildSfxFailed: return "Unable to build the self-extracting program: a file could not be copied whole.";
    case Msg::CustomStubFailed:
        return "Unable to customise the self-extracting program:\n\"%s\"\nholds no settings block, or its icon "
               "could not be replaced.\nNo conversion done.";
    case Msg::FileCommentCaption: return "File Comment";
    case Msg::FileCommentPrompt: return "Enter a file comment...";
    case Msg::ZipCommentCaption: return "General Comment";
    case Msg::ZipCommentPrompt: return "Enter a comment...";
    case Msg::MergeTitle: return "Merge to Zip file";
    case Msg::MergeFilter: return "Zip Files (*.zip)|*.zip";
    case Msg::CustSfxCaption: return "Customize Sfx";
    case Msg::LblCaption: return "C&aption:";
    case Msg::LblProductInfo: return "&Product and or Copyright Info:";
    case Msg::LblCommandLine: return "C&ommandLine:";
    case Msg::CbShowFileList: return "Show File List";
    case Msg::BtnChangeIcon: return "Change &Icon";
    case Msg::BtnOk: return "&OK";
    case Msg::BtnCancel: return "&Cancel";
    case Msg::SelectIconTitle: return "Select File with Icon ...";
    case Msg::IconFilesFilter: return "Icon Files (*.ico), Exe Files (*.exe)|*.ico;*.exe";
    case Msg::MainCaption: return "Larkspool Freeware 0.1 by Talvik";
    case Msg::FilesInArchive: return "%d files in archive.";
    case Msg::RegistrySetDataFailed: return "Failed to set data for '%s'";
    case Msg::RegistryCreateKeyFailed: return "Failed to create key %s";
    case Msg::UnexpectedError: return platform::kUnexpectedError;
    case Msg::BtnNewCaption: return "New";
    case Msg::BtnOpenCaption: return "Open";
    case Msg::BtnAddCaption: return "Add";
    case Msg::BtnExtractCaption: return "Extract";
    case Msg::BtnHelpCaption: return "Help";
    case Msg::ColumnFilename: return "Filename";
    case Msg::ColumnSize: return "Size";
    case Msg::ColumnDateTime: return "DateTime";
    case Msg::ColumnComments: return "Comments";
    case Msg::ProgressWait: return "wait ...";
    case Msg::ProgressCancel: return "&Cancel";
    case Msg::UnableToLoad: return "Unable to load %s";
    case Msg::InvalidEngineVersion: return "Error - invalid version of ZipDll.dll or UnzDll.dll";
    case Msg::RangeCheckError: return "Range check error";
    case Msg::NoZipFileOpen:
        return "A Zip file must be openned or created before\nAdding, Deleting or Extracting files.";
    case Msg::NoFilesSelected: return "No files have been selected.";
    case Msg::MultiDiskNotAllowed:
        return "Cannot Add, Delete or Extract from a multiple disk Zip file...\n"
               "Merge this Zip file onto the hard disk before retrying.";
    case Msg::ExtractDirMissing: return "Unable to extract files to:\n\"%s\"\nThis folder does not exist.";
    case Msg::CannotChangeDirectory: return "Unable to make \"%s\" the current folder.";
    case Msg::BackupFailed:
        return "Unable to make a backup copy of\n\"%s\"\nin the temporary folder, so no files were added.";
    case Msg::RestoreFailed:
        return "The add was cancelled, but\n\"%s\"\ncould not be restored. Its earlier contents are kept in\n\"%s\"";
    case Msg::OperationRunning:
        return "Another operation is still running on this Zip file.\nWait until it has finished.";
    case Msg::NewPasswordRequired: return "A new password is required for \"%s\"";
    case Msg::PasswordInvalid: return "Password is invalid, please retry ...";
    case Msg::NoPasswordEntered:
        return "No password was entered so the file will not be extracted...\n"
               "Do you wish to continue extracting other files?";
    case Msg::CrcError: return "\"%s\" may be corrupted (CRC error).\nExtract this file anyway? ...";
    case Msg::OverwriteOlder: return "\"%s\" is older than the zipped file.\nOverwrite this file? ...";
    case Msg::OverwriteNewer:
        return "\"%s\" is the same age or newer than the zipped file.\n"
               "Do you really want to overwrite this file? ...";
    case Msg::FilesAdded: return "%d files added to archive.";
    case Msg::AddCancelled: return "Add cancelled: no file added";
    case Msg::FilesExtracted: return "%d files extracted from archive.";
    case Msg::ExtractErrors: return "%s  -  (%d files not extracted due to ERRORS.)";
    case Msg::FilesDeleted: return "%d files deleted from archive.";
    case Msg::FilesTestedOk: return "%d files tested OK.";
    case Msg::FilesTestedDamaged: return "%d files tested, %d damaged.";
    case Msg::DamagedFilesList: return "These files are damaged or could not be tested:\n%s";
    case Msg::ZipFilesFilter: return "Zip Files (*.zip), Sfx Files (*.exe)|*.zip;*.exe";
    case Msg::AllFilesFilter: return "All Files (*.*)|*.*";
    case Msg::SaveDialogTitle: return "Enter new filename ...";
    case Msg::NewZipTitle: return "New Zip filename";
    case Msg::OpenZipTitle: return "Open Zip file";
    case Msg::SaveDialogOk: return "&Open";
    case Msg::AddFilesTitle: return "Add Files to Zip file";
    case Msg::AddFolderTitle: return "Select Folder to add: ";
    case Msg::ExtractToTitle: return "Extract to: ";
    case Msg::EnterPassword: return "Enter password";
    case Msg::CbStrongEncryption: return "Use strong encryption (AES-256)";
    case Msg::NotProcessed: return "%s: %s";
    case Msg::ReasonNotMatched: return "nothing matches this name";
    case Msg::ReasonNotNewer: return "kept: not newer than the file it would replace";
    case Msg::ReasonExcluded: return "left out: a hidden or system file";
    case Msg::ReasonUnsupported: return "uses a method or feature the engine does not support";
    case Msg::ReasonReadError: return "cannot be read";
    case Msg::ReasonWriteError: return "cannot be written";
    case Msg::ReasonDamaged: return "damaged, not kept";
    case Msg::ReasonPassword: return "no or wrong password";
    case Msg::ReasonUnsafeName: return "unsafe name: it would leave the destination or names a device";
    case Msg::ReasonCancelled: return "cancelled";
    case Msg::ReasonOther: return "not processed (reason %d)";
    case Msg::AddRootMissing: return "Unable to add files from:\n\"%s\"\nThis folder does not exist.";
    case Msg::FolderNeedsRecurse: return "\"%s\" is a folder: add a folder tree with -r.";
    }
    return "";
}

std::string FormatMsg(Msg id) { return MessageText(id); }

std::string FormatMsg(Msg id, const std::string& text) {
    const char* format = MessageText(id);
    std::vector<char> buffer(std::char_traits<char>::length(format) + text.size() + 1);
    std::snprintf(buffer.data(), buffer.size(), format, text.c_str());
    return buffer.data();
}

std::string FormatMsg(Msg id, int number) {
    const char* format = MessageText(id);
    std::vector<char> buffer(std::char_traits<char>::length(format) + 16);
    std::snprintf(buffer.data(), buffer.size(), format, number);
    return buffer.data();
}

std::string FormatMsg(Msg id, int first, int second) {
    const char* format = MessageText(id);
    std::vector<char> buffer(std::char_traits<char>::length(format) + 32);
    std::snprintf(buffer.data(), buffer.size(), format, first, second);
    return buffer.data();
}

std::string FormatMsg(Msg id, const std::string& first, const std::string& second) {
    const char* format = MessageText(id);
    std::vector<char> buffer(std::char_traits<char>::length(format) + first.size() + second.size() + 1);
    std::snprintf(buffer.data(), buffer.size(), format, first.c_str(), second.c_str());
    return buffer.data();
}

std::string FormatMsg(Msg id, const std::string& text, int number) {
    const char* format = MessageText(id);
    std::vector<char> buffer(std::char_traits<char>::length(format) + text.size() + 16);
    std::snprintf(buffer.data(), buffer.size(), format, text.c_str(), number);
    return buffer.data();
}

}  // namespace zip
