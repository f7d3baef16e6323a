// The stub's portable core: finding the archive behind the program and extracting every entry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engines/common/ArchiveDirectory.h"
#include "platform/Files.h"
#include "sfxstub/StubMessages.h"

namespace sfxstub {

// The archive appended to a program. The program's own image ends at `imageSize`; an archive is
// looked for only in the bytes after it, so the bare stub is told apart from a damaged archive.
class SfxArchive {
public:
    enum class Status { Ok, NoArchive, CannotOpen, Damaged };

    Status Open(const std::string& path, int64_t imageSize);
    // The same over a stream already open (memory, in the fuzzer).
    Status Read(std::unique_ptr<platform::Stream> stream, int64_t imageSize);
    // The reason behind CannotOpen and Damaged.
    const std::string& Error() const { return error_; }
    const engines::EntryList& Entries() const { return directory_.entries; }
    platform::Stream& Stream() { return *stream_; }

private:
    std::unique_ptr<platform::Stream> stream_;
    engines::Directory directory_;
    std::string error_;
};

// Why a file was not extracted; None when it was.
enum class Failure {
    None, Exists, UnsafeName, Unsupported, StrongEncryption, Password, Damaged, WriteError, ReadError, Cancelled
};

StubMsg ReasonOf(Failure failure);
// The log line for one file: "extracted: name" or "not extracted: name: reason".
std::string OutcomeLine(const std::string& name, Failure failure);

// What the extraction needs from whoever runs it: the window or the unattended run.
class ExtractionHost {
public:
    virtual ~ExtractionHost() = default;
    // A file starts; false cancels.
    virtual bool BeginFile(const std::string& name, int64_t size) = 0;
    // `bytes` more of the current file are written; false cancels.
    virtual bool Progress(size_t bytes) = 0;
    // Asks for the password of `name`; false when the user gives up on this file.
    virtual bool AskPassword(const std::string& name, std::string& password) = 0;
    // The end of one file entry, extracted or not.
    virtual void FileDone(const std::string& name, Failure failure) = 0;
};

struct ExtractRequest {
    std::string destination;
    std::string password;  // tried before anyone is asked
    bool overwrite = false;
};

struct ExtractResult {
    int extracted = 0;
    int failed = 0;   // files not extracted for a failure
    int skipped = 0;  // existing files kept because overwriting was not asked for
    bool cancelled = false;
};

// How often the user is asked for the password of one file, as the engines ask.
constexpr int kPasswordAttempts = 3;

// The destination, made with its parent folders when missing; false when it cannot be made.
bool MakeDestination(const std::string& folder);

// Extracts every entry of `archive` below the destination. Files are written under a temporary
// name and take their own only once their CRC matched; folder entries become folders.
ExtractResult ExtractAll(SfxArchive& archive, const ExtractRequest& request, ExtractionHost& host);

// The sum of the sizes of the file entries, for a progress bar.
int64_t TotalSize(const engines::EntryList& entries);

}  // namespace sfxstub
