// Files and folders: the file error, byte streams, files on disk, their details, and why a file call failed.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/Time.h"

namespace platform {

struct SimulatedDisk;

// The platform's own file error: a file that cannot be opened or created. Its text is shown as is.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws FileError with `text`. Every throw of it goes through here, so that a program built
// without exceptions (the self-extracting stub) can link its own ending in place of this one.
[[noreturn]] void RaiseFileError(const std::string& text);

// Create makes a new file or truncates an existing one; CreateNew makes a new one only, failing
// when the name is taken.
enum class Access { Read, ReadWrite, Create, CreateNew };
enum class Share { DenyWrite, DenyNone, Exclusive };
enum class Origin { Begin, Current, End };

// A seekable byte stream. Counts are returned, never hidden: a short read or write is visible to
// the caller, who decides whether it is an error.
class Stream {
public:
    virtual ~Stream() = default;
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Returns the new position, or -1 when the seek failed (the position is then unchanged).
    virtual int64_t Seek(int64_t offset, Origin origin) = 0;
    virtual int64_t Size() = 0;
    // Cuts the stream off at the current position.
    virtual bool Truncate() = 0;
    int64_t Position() { return Seek(0, Origin::Current); }
    // Reads `count` bytes at `offset`, in one call to the system where it has one; the position
    // afterwards is unspecified.
    virtual int32_t ReadAt(int64_t offset, void* buffer, int32_t count);

    struct Copied {
        int32_t read = 0;
        int32_t written = 0;
    };
    // Moves up to `count` bytes from `from`'s position to this stream's position, through `buffer`
    // in blocks of its size, or faster where the system can. Both positions end behind the bytes
    // written. `read` below `count` means `from` ended; `written` below `read` means this stream
    // took no more (a full disk).
    virtual Copied CopyFrom(Stream& from, int32_t count, std::vector<uint8_t>& buffer);
};

// A file handle of the native backend (a descriptor on the host, a HANDLE on Windows).
struct FileHandlePolicy {
    using Value = intptr_t;
    static constexpr intptr_t Invalid() { return -1; }
    static void Close(intptr_t file);
};
using FileHandle = UniqueHandle<FileHandlePolicy>;

// A file on disk. Opening failures throw FileError with the system's reason.
class FileStream final : public Stream {
    struct Unopened {};

public:
    FileStream(const std::string& path, Access access, Share share = Share::DenyWrite);
    // Opens as the constructor does, but answers nullptr with `error` set to the FileError text
    // instead of throwing: for callers that try one file after another, and for the stub.
    static std::unique_ptr<FileStream> Open(const std::string& path, Access access, Share share, std::string& error);
    explicit FileStream(Unopened) {}
    ~FileStream() override;
    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, Origin origin) override;
    int64_t Size() override;
    bool Truncate() override;
    // Sets the time of the last change, which stays when no more is written; one call fewer than
    // setting it by name once the file is closed.
    bool SetModified(const LocalTime& time);
    // Between two files, the kernel's range copy where the host has one.
    Copied CopyFrom(Stream& from, int32_t count, std::vector<uint8_t>& buffer) override;
    // Sets disk room aside for the file to grow to `size` bytes: the writes up to it go faster (a
    // quarter less time on ext4) and land in one piece. The size stays as it is, and room left
    // unwritten is given back when the stream closes.
    void ReserveRoomTo(int64_t size);

private:
    bool OpenFile(const std::string& path, Access access, Share share, std::string& error);
    void GiveBackUnwrittenRoom();

    FileHandle file_;
    std::shared_ptr<SimulatedDisk> limitingDisk_;  // simulated disk whose capacity cuts writes short, or none
    bool roomReserved_ = false;
};

// The text with '\' appended when it is not empty and does not already end in one.
std::string AppendBackslash(const std::string& text);

bool FileExists(const std::string& path);       // an existing file, not a folder
bool DirectoryExists(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
bool DeleteFile(const std::string& path);
bool CreateDirectory(const std::string& path);
bool RemoveDirectory(const std::string& path);  // only when empty
// Deletes a folder with everything below it; false when anything stays (a file still open).
bool RemoveTree(const std::string& path);
std::string GetCurrentDirectory();
bool SetCurrentDirectory(const std::string& path);
std::string ModuleFileName();                   // full path of the running program

// Why the last failing file call of this thread failed (opening, creating, writing, moving,
// copying, making a folder, making a temporary file), captured at that call: the system's own
// text, and whether the disk was full.
struct Failure {
    std::string reason;
    bool diskFull = false;
};
const Failure& LastFailure();
// The system's text for a refused access, as a file call on a read-only file would give it.
std::string AccessDeniedReason();

// ---------------------------------------------------------------------------------------------
// File details and renames (what the engines need to walk folders and restore files)

// Windows file attribute bits; the host derives them from its own file modes.
enum FileAttribute : uint32_t {
    kAttributeReadOnly = 0x01,
    kAttributeHidden = 0x02,
    kAttributeSystem = 0x04,
    kAttributeDirectory = 0x10,
    kAttributeArchive = 0x20,
};

struct FileDetails {
    std::string name;  // the name alone, without its folder
    uint32_t attributes = 0;
    int64_t size = 0;
    LocalTime modified;
    bool IsDirectory() const { return (attributes & kAttributeDirectory) != 0; }
};

// The files and sub-folders of `folder` (without "." and ".."); empty when it cannot be read.
std::vector<FileDetails> ListDirectory(const std::string& folder);
// The details of one file or folder; false when it does not exist.
bool GetFileDetails(const std::string& path, FileDetails& details);
// Renames `from` to `to`, replacing an existing `to`; atomic when both lie on one volume.
bool MoveFile(const std::string& from, const std::string& to);

}  // namespace platform
