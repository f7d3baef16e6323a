// The message table: every text the archive component and the conversions show, once.
#pragma once

#include <string>

#include "platform/User.h"

namespace zip {

// The caption of every message box the component shows.
using platform::kApplicationTitle;

enum class Msg {
    NotValidZip,              // %s: archive path
    ErrorReadingCentral,
    UnableToAccessDrive,
    UnableToCreate,           // %s: archive path
    IndexRangeError,
    PasswordTooLong,
    InsertLastDisk,           // %d: disk number in the drive
    InsertDisk,               // %d: disk number wanted
    DiskPromptCancelled,      // %s: archive path
    NotValidSfx,              // %s: program path
    ErrorReadingSfx,
    CommentTooLong,
    ErrorWritingComment,
    TooLarge,                 // %s: archive path
    NeedsZip64,               // %s: archive path
    Zip64Damaged,             // %s: archive path
    Zip64Contradicts,         // %s: archive path
    Zip64OnOtherDisk,         // %s: archive path
    // Spanning and merging.
    SpanOnlyOnFloppy,
    SourceOnFloppy,
    MaxFileSizeTooSmall,
    Disk1SizeTooSmall,
    InsufficientRoom,
    UnableToCreateLabel,
    UnableToReadLocalHeader,
    UnableToWriteLocalHeader,
    UnableToWriteLocalData,
    ErrorWritingCentralDir,
    ErrorWritingEndOfCentral,
    UnableToReadZipComment,
    UnableToWriteZipComment,
    NotMultiDisk,
    MergeOnlyToFixed,
    ErrorReadingDiskSignature,
    ErrorReadingEndOfCentral,
    ErrorWritingMerged,       // %s: the merged archive's path
    ErrorReadingDiskPart,     // %d: disk number
    // Conversions.
    AlreadyExists,            // %s: target path
    StripFailed,
    BuildSfxFailed,
    CustomStubFailed,         // %s: the stub's path
    // The comment, conversion and floppy-disk commands and the "Customize Sfx" dialog.
    FileCommentCaption,
    FileCommentPrompt,
    ZipCommentCaption,
    ZipCommentPrompt,
    MergeTitle,
    MergeFilter,
    CustSfxCaption,
    LblCaption,
    LblProductInfo,
    LblCommandLine,
    CbShowFileList,
    BtnChangeIcon,
    BtnOk,
    BtnCancel,
    SelectIconTitle,
    IconFilesFilter,
    // The main window and the progress window.
    MainCaption,
    FilesInArchive,           // %d: number of entries
    RegistrySetDataFailed,    // %s: value name
    RegistryCreateKeyFailed,  // %s: key name
    UnexpectedError,
    BtnNewCaption,
    BtnOpenCaption,
    BtnAddCaption,
    BtnExtractCaption,
    BtnHelpCaption,
    ColumnFilename,
    ColumnSize,
    ColumnDateTime,
    ColumnComments,
    ProgressWait,
    ProgressCancel,
    // The engines and the add, delete and extract operations.
    UnableToLoad,             // %s: the library name, quoted, with a full stop
    InvalidEngineVersion,
    RangeCheckError,
    NoZipFileOpen,
    NoFilesSelected,
    MultiDiskNotAllowed,
    ExtractDirMissing,        // %s: destination folder
    CannotChangeDirectory,    // %s: folder
    BackupFailed,             // %s: archive path
    RestoreFailed,            // %s: archive path, %s: the backup copy kept
    OperationRunning,
    NewPasswordRequired,      // %s: file name
    PasswordInvalid,
    NoPasswordEntered,
    CrcError,                 // %s: file name
    OverwriteOlder,           // %s: file name
    OverwriteNewer,           // %s: file name
    // Status lines after the operations.
    FilesAdded,               // %d: count
    AddCancelled,
    FilesExtracted,           // %d: count
    ExtractErrors,            // %s: the line before, %d: error count
    FilesDeleted,             // %d: count
    FilesTestedOk,            // %d: count
    FilesTestedDamaged,       // %d: count tested, %d: count not sound
    DamagedFilesList,         // %s: one line per entry not sound
    // The dialogs of the main window's commands.
    ZipFilesFilter,
    AllFilesFilter,
    SaveDialogTitle,
    NewZipTitle,
    OpenZipTitle,
    SaveDialogOk,
    AddFilesTitle,
    AddFolderTitle,
    ExtractToTitle,
    EnterPassword,
    CbStrongEncryption,
    // The console front end: one line per file an engine did not process, and its refusals.
    NotProcessed,             // %s: file name, %s: reason
    ReasonNotMatched,
    ReasonNotNewer,
    ReasonExcluded,
    ReasonUnsupported,
    ReasonReadError,
    ReasonWriteError,
    ReasonDamaged,
    ReasonPassword,
    ReasonUnsafeName,
    ReasonCancelled,
    ReasonOther,              // %d: reason code
    AddRootMissing,           // %s: folder
    FolderNeedsRecurse,       // %s: folder
};

// The raw text, with its printf placeholders.
const char* MessageText(Msg id);
// The text with its placeholders filled.
std::string FormatMsg(Msg id);
std::string FormatMsg(Msg id, const std::string& text);
std::string FormatMsg(Msg id, int number);
std::string FormatMsg(Msg id, int first, int second);
std::string FormatMsg(Msg id, const std::string& first, const std::string& second);
std::string FormatMsg(Msg id, const std::string& text, int number);

}  // namespace zip
