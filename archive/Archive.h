// The archive as data: one ZIP archive, its entry list, its end record and comments.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/EntryStore.h"
#include "archive/Messages.h"
#include "platform/Files.h"
#include "zipformat/NameRule.h"
#include "zipformat/ZipRecords.h"

namespace platform {
class Stream;
class FileStream;
}

// The one exception class of the archive component and the conversions: a message text only.
class ZipException : public std::runtime_error {
public:
    explicit ZipException(const std::string& message) : std::runtime_error(message) {}
};

// The end-of-central-directory record of the open archive, its comment and its position.
struct TEOCHInfo {
    zip::EndOfCentralHeader EndRecord;
    std::string Comment;
    int64_t Position = 0;
};

constexpr size_t kMaxPasswordLength = 80;

namespace zip {

// The archive as data: its file, its entry list, its end record and comments, the password and
// the file specs of the next operation. The operations on it live in the layers above (the engine
// bridge, spanning and merging), and TZip composes them.
class Archive {
public:
    Archive();
    virtual ~Archive() = default;
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens an existing archive or creates an empty one; an empty name closes the archive.
    void SetZipFileName(const std::string& path);
    const std::string& ZipFileName() const { return zipFileName_; }

    int32_t Count() const { return static_cast<int32_t>(entries_.Size()); }
    // Built from the compact list on each call; reading the entries in order is the fast way.
    void GetEntry(int32_t index, TFileInfo& dest) const;
    std::vector<TFileInfo> EntryList() const;
    // The disk and offset spanning gave each entry, in entry order.
    void RecordSpanPositions(const std::vector<TFileInfo>& spanned);

    void SetPassword(const std::string& password);
    const std::string& Password() const { return password_; }

    void SetFileSpecs(const std::vector<std::string>& specs) { fileSpecs_ = specs; }
    std::vector<std::string>& FileSpecs() { return fileSpecs_; }

    std::string GetZipComment() const { return endOfCentral_.Comment; }
    void SetZipComment(const std::string& comment);
    void SetFileComment(int32_t index, const std::string& comment);

    int64_t SfxOffset() const { return sfxOffset_; }
    // The archive holds values that only its ZIP64 records or extra fields carry (more than 65535
    // entries, sizes or offsets of 4 GiB or more): it is read, but not rewritten by the component.
    bool NeedsZip64() const { return needsZip64_; }
    bool OemNames() const { return oemNames_; }
    const TEOCHInfo& EndOfCentral() const { return endOfCentral_; }
    const std::string& TempDir() const { return tempDir_; }
    // Where the central directory ends: at the end record, or in front of the ZIP64 records that
    // some writers put between the two.
    int64_t DirectoryEnd() const { return endOfCentral_.Position - zip64RecordsSize_; }
    // The directory's size and stored offset, and its count of entries, from the ZIP64 end record
    // where the end record's field is saturated.
    int64_t DirectorySize() const { return directorySize_; }
    int64_t DirectoryOffset() const { return directoryOffset_; }

    void ReadDirectory();
    void ClearEntries() { entries_.Clear(); }
    // True when the last read stopped because the user cancelled the question for a disk: the
    // archive is named but not read, which callers must report instead of an empty listing.
    bool DiskPromptCancelled() const { return diskPromptCancelled_; }

    // Names and comments are UTF-8 inside the program; these give the archive comment and an
    // entry's new comment as stored.
    std::string DecodeArchiveComment(const std::string& stored) const;
    std::string EncodeArchiveComment(const std::string& comment) const;
    std::string EncodeEntryComment(const CentralFileHeader& header, const std::string& comment) const;

protected:
    // Called whenever the entry list or a comment changed: the facade raises its event from here.
    virtual void ContentsChanged() {}

private:
    void ResetArchiveState();
    void CreateEmptyArchive();
    bool ReadCentralHeaders(std::unique_ptr<platform::FileStream>& file);
    void CheckArchiveLimits(platform::Stream& file);

    std::string zipFileName_;
    std::string password_;
    std::string tempDir_;
    bool oemNames_ = false;
    EntryStore entries_;
    std::vector<std::string> fileSpecs_;
    TEOCHInfo endOfCentral_;
    int64_t sfxOffset_ = 0;
    int64_t zip64RecordsSize_ = 0;  // bytes of ZIP64 records between the directory and the end record
    int64_t directorySize_ = 0;
    int64_t directoryOffset_ = 0;
    uint64_t entryCount_ = 0;
    bool needsZip64_ = false;
    bool diskPromptCancelled_ = false;
};

}  // namespace zip

// Path helpers shared by the component and the engine operations.
std::string SlashesToBackslashes(const std::string& text);
using platform::AppendBackslash;
std::string MakeAbsolutePath(const std::string& baseDirectory, const std::string& path);
// A path named at start, made absolute once against the folder the program started in, as the
// system itself does it: '/' and '\\' alike, a leading separator names the current drive's root,
// "." and ".." are resolved. Both front ends take their arguments through it.
std::string FullPathName(const std::string& currentFolder, const std::string& path);
// The drive part of a path: "C:" or "\\server\share"; empty for a relative path.
std::string ExtractFileDrive(const std::string& path);
// The folder part of a path, with its trailing backslash.
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& extension);
