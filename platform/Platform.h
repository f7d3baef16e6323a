// The one interface between the portable core and the operating system: files, drives, text, the user.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Handle.h"

namespace platform {

struct SimulatedDisk;
struct LocalTime;

// The platform's own file error: a file that cannot be opened or created. Its text is shown as is.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws FileError with `text`. Every throw of it goes through here, so that a program built
// without exceptions (the self-extracting stub) can link its own ending in place of this one.
[[noreturn]] void RaiseFileError(const std::string& text);

// ---------------------------------------------------------------------------------------------
// Files

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
std::string GetCurrentDirectory();
bool SetCurrentDirectory(const std::string& path);
std::string ModuleFileName();                   // full path of the running program
std::string GetTempPath();                      // with trailing backslash; may be empty
// Creates an empty file "<prefix><hex>.tmp" in `directory` and returns its full name; empty on failure.
std::string GetTempFileName(const std::string& directory, const std::string& prefix);
// Creates an empty file "<prefix>~<process id>-<hex>.tmp" in `directory`: a name that says which
// process owns it, so a later run can tell a file left by a killed process from one in use.
// Returns its full name; empty on failure.
std::string MakeProcessTempFile(const std::string& directory, const std::string& prefix);
// The same file made and opened for writing in one step, kept to this process alone; `path` gets
// its full name. nullptr when none can be made, and LastFailure() says why.
std::unique_ptr<FileStream> CreateProcessTempFile(const std::string& directory, const std::string& prefix,
                                                  std::string& path);
// Deletes the files MakeProcessTempFile made in `directory` with `prefix` whose process has ended.
void RemoveOrphanedTempFiles(const std::string& directory, const std::string& prefix);

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
// File details, times and renames (what the engines need to walk folders and restore files)

// A wall-clock time in the local time zone, as ZIP entries store it.
struct LocalTime {
    int year = 1980;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

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
bool SetFileModified(const std::string& path, const LocalTime& time);
// Renames `from` to `to`, replacing an existing `to`; atomic when both lie on one volume.
bool MoveFile(const std::string& from, const std::string& to);

// ---------------------------------------------------------------------------------------------
// Libraries loaded at run time (the engines)

struct LibraryPolicy {
    using Value = void*;
    static constexpr void* Invalid() { return nullptr; }
    static void Close(void* library);
};
using LibraryHandle = UniqueHandle<LibraryPolicy>;

// A path with a folder is loaded from there; a bare name is searched for as Windows does, the
// running program's folder first. An invalid handle when the library cannot be loaded.
LibraryHandle LoadLibrary(const std::string& path);
// The address of an export found by its plain name, or nullptr.
void* GetProcAddress(const LibraryHandle& library, const char* name);

// ---------------------------------------------------------------------------------------------
// Drives

enum DriveType : int {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

int GetDriveType(const std::string& root);                    // root like "A:\"
// Free bytes on the drive of `root`, or -1 when the query fails.
int64_t GetDiskFreeSpace(const std::string& root);
bool GetVolumeLabel(const std::string& root, std::string& label);
bool SetVolumeLabel(const std::string& root, const std::string& label);

constexpr unsigned kFailCriticalErrors = 1;
unsigned SetErrorMode(unsigned mode);  // returns the previous mode

// Puts the process error mode back when it goes out of scope.
class ErrorModeGuard {
public:
    explicit ErrorModeGuard(unsigned mode) : previous_(SetErrorMode(mode)) {}
    ~ErrorModeGuard() { SetErrorMode(previous_); }
    ErrorModeGuard(const ErrorModeGuard&) = delete;
    ErrorModeGuard& operator=(const ErrorModeGuard&) = delete;

private:
    unsigned previous_;
};

// ---------------------------------------------------------------------------------------------
// Text: one byte for one byte between the OEM and the ANSI code page.

std::string OemToAnsi(const std::string& text);
std::string AnsiToOem(const std::string& text);
// Names and comments that archives mark as UTF-8, to and from the ANSI code page. Characters the
// ANSI code page lacks become its replacement character, so these may change a text's length.
std::string Utf8ToAnsi(const std::string& text);
std::string AnsiToUtf8(const std::string& text);

// Command-line and console text: the ANSI code page inside, the terminal's encoding outside
// (UTF-8 on the host, the ANSI code page itself on Windows).
std::string AnsiFromConsole(const std::string& text);
std::string AnsiToConsole(const std::string& text);
// A path named on the command line, in the form the core uses (drive letter and backslashes).
std::string SystemPathFromArgument(const std::string& argument);
// Whether the standard error stream is a terminal (a console window), not a file or a pipe.
bool StandardErrorIsTerminal();

// ---------------------------------------------------------------------------------------------
// The user

// The program's name: the caption of every message box it shows.
extern const char* const kApplicationTitle;
// What a failure that is no exception of ours says when it reaches a window's barrier.
extern const char* const kUnexpectedError;

// Message-box flags and answers, with the values the Windows API gives them.
enum MessageBoxFlags : unsigned {
    kMbOk = 0x00,
    kMbOkCancel = 0x01,
    kMbYesNoCancel = 0x03,
    kMbYesNo = 0x04,
    kMbIconError = 0x10,
    kMbIconStop = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30,
    kMbIconInformation = 0x40,
    kMbDefButton1 = 0x000,
    kMbDefButton2 = 0x100,
    kMbDefButton3 = 0x200,
};
enum MessageBoxAnswer : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

enum class Cursor { Default, Busy };

class User {
public:
    virtual ~User() = default;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // A one-line text input: `answer` starts as `defaultText`, at most `maxLength` characters can
    // be typed, and they are shown as typed. False when the user cancels (`answer` is then empty).
    virtual bool InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                          size_t maxLength, std::string& answer) = 0;
    // Shows `cursor` and returns the one shown before.
    virtual Cursor SetCursor(Cursor cursor) = 0;
    virtual void ProcessMessages() = 0;
    virtual void Beep() = 0;
};

// The user every component talks to. Defaults to the platform's own; tests and the console front
// end install theirs. The caller keeps ownership of what it installs.
User& CurrentUser();
void SetCurrentUser(User* user);  // nullptr restores the platform's own
std::unique_ptr<User> MakeNativeUser();

// Shows the busy cursor for its lifetime and restores the previous one on every way out.
class BusyCursor {
public:
    BusyCursor() : previous_(CurrentUser().SetCursor(Cursor::Busy)) {}
    ~BusyCursor() { CurrentUser().SetCursor(previous_); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Cursor previous_;
};

}  // namespace platform
