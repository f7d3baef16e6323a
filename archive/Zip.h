// The archive component TZip: one ZIP archive, its entry list, its comments and its operations.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/Messages.h"
#include "platform/Platform.h"
#include "zipformat/NameRule.h"
#include "zipformat/ZipRecords.h"

namespace platform {
class Stream;
class FileStream;
}
// The engine layer's types, named here only: TZip holds its engine session and hands the engine's
// callback block through, and the engine layer defines both.
namespace engine {
class CallbackBlock;
class EngineSession;
}
class TProgressForm;

// The one exception class of the archive component and the conversions: a message text only.
class ZipException : public std::runtime_error {
public:
    explicit ZipException(const std::string& message) : std::runtime_error(message) {}
};

// One central directory entry in memory.
struct TFileInfo {
    zip::CentralFileHeader Header;  // the 46 bytes as read, signature included
    bool Encrypted = false;
    std::string FileName;           // OEM-decoded when the archive asks for it, with backslashes
    std::string ExtraField;         // stored bytes, unchanged
    std::string FileComment;        // OEM-decoded when the archive asks for it
    int32_t SpanDisk = 0;           // given by spanning only
    int32_t SpanOffset = 0;         // given by spanning only
};

// The end-of-central-directory record of the open archive, its comment and its position.
struct TEOCHInfo {
    zip::EndOfCentralHeader EndRecord;
    std::string Comment;
    int32_t Position = 0;
};

// A file an engine did not add, delete or extract: the name it reported, the reason code of its
// action 11, and the engine's words for the reason (empty when it gave none).
struct TSkippedFile {
    std::string Name;
    uint32_t Reason = 0;
    std::string Detail;
};

class TZip;
using TNotifyEvent = std::function<void(TZip* Sender)>;
using TProgressEvent =
    std::function<void(TZip* Sender, const std::string& Filename, int32_t BytesDone, int32_t TotalBytes)>;
using TZEDBeginFileEvent = std::function<void(TZip* Sender, const std::string& Filename, int32_t FileSize,
                                              int32_t BatchCount, int32_t TotalBytesInBatch)>;
using TZEDEndBatchEvent =
    std::function<void(TZip* Sender, int32_t SkippedCount, int32_t BatchCount, int32_t TotalBytesInBatch)>;

constexpr size_t kMaxPasswordLength = 80;

class TZip {
public:
    TZip();
    ~TZip();
    TZip(const TZip&) = delete;
    TZip& operator=(const TZip&) = delete;

    // Opens an existing archive or creates an empty one; an empty name closes the archive.
    void SetZipFileName(const std::string& path);
    const std::string& ZipFileName() const { return zipFileName_; }

    int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
    void GetEntry(int32_t index, TFileInfo& dest) const;

    void SetPassword(const std::string& password);
    const std::string& Password() const { return password_; }

    void SetFileSpecs(const std::vector<std::string>& specs) { fileSpecs_ = specs; }
    std::vector<std::string>& FileSpecs() { return fileSpecs_; }

    std::string GetZipComment() const { return endOfCentral_.Comment; }
    void SetZipComment(const std::string& comment);
    void SetFileComment(int32_t index, const std::string& comment);

    int32_t SfxOffset() const { return sfxOffset_; }
    int32_t ErrorCount() const { return errorCount_; }
    bool OemNames() const { return oemNames_; }
    const TEOCHInfo& EndOfCentral() const { return endOfCentral_; }
    const std::string& TempDir() const { return tempDir_; }

    void ReadDirectory();
    void ClearEntries() { entries_.clear(); }
    // True when the last read stopped because the user cancelled the question for a disk: the
    // archive is named but not read, which callers must report instead of an empty listing.
    bool DiskPromptCancelled() const { return diskPromptCancelled_; }

    // Writes the open archive across removable disks as a multi-disk set, or whole when it fits
    // the first disk; the archive itself is only read. False when nothing was done or on Cancel.
    bool SpanZip(const std::string& DestFileName, int32_t MaxFileSize, int32_t Disk1Reserve);
    // Joins the multi-disk set open from a floppy into one ordinary archive on a fixed disk.
    // False when nothing was done or on Cancel; the target then is as it was before.
    bool MergeSpannedZip(const std::string& DestFileName);

    std::string DecodeOemText(const std::string& text) const;
    std::string EncodeOemText(const std::string& text) const;
    // An entry's name or comment: UTF-8 when its header says so, else as the archive decides.
    std::string DecodeEntryText(const zip::CentralFileHeader& header, const std::string& text) const;
    std::string EncodeEntryText(const zip::CentralFileHeader& header, const std::string& text) const;

    bool ShowProgressDialog = true;
    // Who builds the progress window of the engine calls (engine/ProgressForm.h); each archive
    // object holds its own, the window that shows nothing until it is given another.
    void SetProgressFormFactory(std::function<std::unique_ptr<TProgressForm>(TZip&)> factory);
    std::string DllDirectory;
    std::string AddRootDir;
    uint8_t AddOptions = 2;
    std::string ExtractDir;
    uint8_t ExtractOptions = 1;
    bool TraceEnabled = false;
    // Where the trace goes while TraceEnabled is set; empty: TraceFileName().
    std::string TracePath;
    bool Cancelled = false;

    TNotifyEvent OnContentsChanged;
    TZEDBeginFileEvent OnZEDBeginFileEvent;
    TProgressEvent OnZEDProgressEvent;
    TZEDEndBatchEvent OnZEDEndBatchEvent;
    TProgressEvent OnMergeProgress;
    TProgressEvent OnSpanProgress;

    // The engine operations. Each takes its work from FileSpecs and returns the engine's file
    // count; a refusal (no archive, no specs, a multi-disk set, a missing folder, another operation
    // still running) is shown in an information box and returns 0.
    int32_t AddFiles();
    int32_t DeleteFiles();
    int32_t ExtractFiles();
    int32_t RunZipDll(bool adding);

    // True while this object waits in an engine call. The engine's callback pumps window messages,
    // so window commands still run then: they must check Busy() and leave this object alone (its
    // specs, counters, window and trace file belong to the running call). The three operations
    // above refuse to start while it is set.
    bool Busy() const;
    // True when the last operation was refused by a precondition (its box was shown, it returned 0).
    bool Refused() const { return refused_; }
    // Every file the last engine call reported as not processed (action 11), in its order.
    const std::vector<TSkippedFile>& SkippedFiles() const { return skippedFiles_; }

    // One callback of the engine call this object started (called by engine::EngineCallback).
    int32_t HandleEngineCallback(engine::CallbackBlock& info);
    // An exception caught at the callback's barrier: the call is cancelled and the exception
    // rethrown once the engine has returned.
    void EngineCallbackFailed(std::exception_ptr failure);

    // Callback state of the current (or last) engine batch.
    std::string CurrentFileName;
    int32_t BatchFileCount = 0;
    int32_t BatchTotalBytes = 0;
    int32_t BatchBytesDone = 0;
    int32_t BatchSkippedCount = 0;
    float ProgressScale = 0.0f;  // batch bytes to the progress range 0..65535
    TProgressForm* ProgressForm() const;
    platform::FileStream* TraceStream() const;
    // The engines' trace file: the program's path with the extension ".trace".
    static std::string TraceFileName();

private:
    // The engine operations and the callback (engine/ZipOperations.cpp). What lives only while
    // this object calls an engine is in its engine session (engine/EngineSession.h).
    engine::EngineSession& Session() const;
    bool RefusedWhileBusy();
    bool RefusedByPrecondition();
    void Refuse(zip::Msg message);
    int32_t CallEngine(const std::function<int32_t()>& exec, bool withWindow, bool paintFirst);
    bool RestoreBackup(const std::string& backup);
    void DispatchCallback(engine::CallbackBlock& info);
    void OnBeginFile(engine::CallbackBlock& info);
    void OnProgress(engine::CallbackBlock& info);
    void OnEndBatch();
    void OnTraceLine(engine::CallbackBlock& info);
    void OnBatchBytes(engine::CallbackBlock& info);
    void OnSkipped(engine::CallbackBlock& info);
    void AskPassword(engine::CallbackBlock& info);
    void AskCrcError(engine::CallbackBlock& info);
    void AskOverwrite(engine::CallbackBlock& info);
    TProgressForm* ShownWindow() const;

    // What the last operation left for its caller to read.
    bool refused_ = false;
    std::vector<TSkippedFile> skippedFiles_;
    // Shared, not unique: its type is the engine layer's, and only a shared pointer lets this
    // layer destroy what it cannot see.
    mutable std::shared_ptr<engine::EngineSession> session_;

    void ResetArchiveState();
    void CreateEmptyArchive();
    bool ReadCentralHeaders(std::unique_ptr<platform::FileStream>& file);
    void CheckArchiveLimits(platform::Stream& file);
    void ContentsChanged();
    // Where the central directory ends: at the end record, or in front of the ZIP64 records that
    // some writers put between the two.
    int64_t DirectoryEnd() const { return static_cast<int64_t>(endOfCentral_.Position) - zip64RecordsSize_; }

    std::string zipFileName_;
    std::string password_;
    std::string tempDir_;
    bool oemNames_ = false;
    std::vector<TFileInfo> entries_;
    std::vector<std::string> fileSpecs_;
    TEOCHInfo endOfCentral_;
    int32_t errorCount_ = 0;
    int32_t sfxOffset_ = 0;
    int32_t zip64RecordsSize_ = 0;  // bytes of redundant ZIP64 records in front of the end record
    bool diskPromptCancelled_ = false;
};

// The engine libraries are process-wide, and every TZip's destructor releases them (the next
// operation loads them again). The engine layer, which loads them, names the function that does.
void SetEngineLibraryRelease(void (*release)());

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
