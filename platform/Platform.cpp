// The portable front of the platform layer: resolves drive letters through the simulated drive
// table, then hands the native path to the backend of the operating system.
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/Native.h"
#include "platform/SimulatedDrives.h"

namespace platform {
namespace {

// The texts of FileError: the path, then the system's reason.
constexpr const char* kCannotOpenFile = "Cannot open file \"%s\". %s";
constexpr const char* kCannotCreateFile = "Cannot create file \"%s\". %s";
// What the system says when a drive holds no disk; the simulated drive has no system to ask.
constexpr const char* kNoDiskReason = "The device is not ready.";
// What the system says when a write finds the disk full, for the simulated disk's capacity.
constexpr const char* kDiskFullReason = "There is not enough space on the disk.";

// Windows builds temporary names from at most three characters of the prefix.
constexpr size_t kTempPrefixLength = 3;
constexpr unsigned kTempNumbers = 0x10000;
constexpr char kProcessMark = '~';
constexpr const char* kTempExtension = ".tmp";

// The engines run operations on several threads, each with its own last failure. sfx.bin has one
// thread and must stay small: a thread_local there would bring in the thread library.
#ifdef LARK_SINGLE_THREAD
Failure gLastFailure;
#else
thread_local Failure gLastFailure;
#endif

// Notes the failure of the call that just failed, before anything else can change the system's error.
void NoteFailure() { gLastFailure = native::CaptureFailure(); }
void NoteFailure(const std::string& reason, bool diskFull = false) { gLastFailure = {reason, diskFull}; }

// Runs one of the system's writing calls, refused on a write-protected disk; a refusal or a failure
// leaves its reason for the caller's message.
template <typename Call>
bool WriteOnDisk(bool readOnly, Call&& call) {
    if (readOnly) {
        NoteFailure(native::AccessDeniedReason());
        return false;
    }
    if (call()) return true;
    NoteFailure();
    return false;
}

// A system path taken apart: its native form and, when it lies on a simulated drive, that drive.
struct ResolvedPath {
    std::string native;
    std::optional<SimulatedDrive> drive;
    bool NoDisk() const { return drive && !drive->disk; }
    bool ReadOnly() const { return drive && drive->disk && drive->disk->readOnly; }
};

bool HasDriveLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::optional<SimulatedDrive> SimulatedDriveOf(const std::string& path) {
    if (!HasDriveLetter(path)) return std::nullopt;
    return FindDrive(path[0]);
}

ResolvedPath Resolve(const std::string& systemPath) {
    ResolvedPath resolved;
    resolved.drive = SimulatedDriveOf(systemPath);
    if (!resolved.drive) {
        resolved.native = native::ToNativePath(systemPath);
    } else if (resolved.drive->disk) {
        // "A:\dir\f" and "A:dir\f" both name dir\f on the disk: a simulated drive has no current
        // directory of its own, so its root serves as one.
        size_t restStart = 2;
        while (restStart < systemPath.size() && systemPath[restStart] == '\\') ++restStart;
        resolved.native = native::JoinNative(resolved.drive->disk->folder, systemPath.substr(restStart));
    }
    return resolved;
}

// The folder part of a system path, with its trailing backslash; empty when there is none.
std::string ExtractFolder(const std::string& path) {
    const size_t separator = path.find_last_of('\\');
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

int64_t RoomOn(const SimulatedDisk& disk) {
    return std::max<int64_t>(0, disk.capacity - native::FolderUsage(disk.folder));
}

std::string OpenFailure(const std::string& path, Access access, const std::string& reason) {
    const bool creating = access == Access::Create || access == Access::CreateNew;
    const char* format = creating ? kCannotCreateFile : kCannotOpenFile;
    std::string text(std::snprintf(nullptr, 0, format, path.c_str(), reason.c_str()) + 1, '\0');
    text.resize(std::snprintf(text.data(), text.size(), format, path.c_str(), reason.c_str()));
    return text;
}

std::string TempName(const std::string& directory, const std::string& prefix, unsigned number) {
    std::string name = directory;
    if (!name.empty() && name.back() != '\\' && name.back() != ':') name += '\\';
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", number % kTempNumbers);
    return name + prefix + hex + kTempExtension;
}

bool CreateNewFile(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return WriteOnDisk(resolved.ReadOnly(), [&] { return native::CreateNewFile(resolved.native); });
}

// Tries every number once, starting from one that differs between runs, as Windows does, until
// `create` makes the file of a name. A failure that no other number can mend (a read-only folder,
// a full disk, a missing folder) ends the search.
template <typename Create>
std::string CreateFreeTempName(const std::string& directory, const std::string& prefix, Create create) {
    static unsigned next = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned tries = 0; tries < kTempNumbers; ++tries) {
        const unsigned number = next++ % kTempNumbers;
        if (number == 0) continue;  // 0 asks Windows to choose a number; it never names a file
        const std::string name = TempName(directory, prefix, number);
        if (create(name)) return name;
        if (FileExists(name)) continue;
        return {};
    }
    return {};
}

std::string MakeTempFileHere(const std::string& directory, const std::string& prefix) {
    if (!DirectoryExists(directory.empty() ? "." : directory)) return {};
    return CreateFreeTempName(directory, prefix, CreateNewFile);
}

std::string ProcessTempPrefix(const std::string& prefix, uint32_t processId) {
    return prefix + kProcessMark + std::to_string(processId) + '-';
}

// The owner's process id of a name MakeProcessTempFile made with `prefix`; 0 when it is none.
uint32_t TempFileOwner(const std::string& name, const std::string& prefix) {
    const size_t extension = name.size() - std::min(name.size(), std::strlen(kTempExtension));
    if (name.size() <= prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0 ||
        name[prefix.size()] != kProcessMark || name.compare(extension, std::string::npos, kTempExtension) != 0) {
        return 0;
    }
    uint32_t owner = 0;
    size_t at = prefix.size() + 1;
    for (; at < extension && name[at] >= '0' && name[at] <= '9'; ++at) owner = owner * 10 + (name[at] - '0');
    return at < extension && name[at] == '-' ? owner : 0;
}

}  // namespace

std::string AppendBackslash(const std::string& text) {
    if (text.empty() || text.back() == '\\') return text;
    return text + '\\';
}

// ---------------------------------------------------------------------------------------------
// Files

void FileHandlePolicy::Close(intptr_t file) { native::CloseFile(file); }

FileStream::FileStream(const std::string& path, Access access, Share share) {
    std::string error;
    if (!OpenFile(path, access, share, error)) RaiseFileError(error);
}

std::unique_ptr<FileStream> FileStream::Open(const std::string& path, Access access, Share share,
                                             std::string& error) {
    auto stream = std::make_unique<FileStream>(Unopened{});
    if (!stream->OpenFile(path, access, share, error)) return nullptr;
    return stream;
}

bool FileStream::OpenFile(const std::string& path, Access access, Share share, std::string& error) {
    const ResolvedPath resolved = Resolve(path);
    if (resolved.NoDisk()) {
        error = OpenFailure(path, access, kNoDiskReason);
        NoteFailure(kNoDiskReason);
        return false;
    }
    if (resolved.ReadOnly() && access != Access::Read) {
        NoteFailure(native::AccessDeniedReason());
        error = OpenFailure(path, access, gLastFailure.reason);
        return false;
    }
    std::string reason;
    file_.Reset(native::OpenFile(resolved.native, access, share, reason));
    if (!file_) {
        NoteFailure();
        gLastFailure.reason = reason;
        error = OpenFailure(path, access, reason);
        return false;
    }
    if (resolved.drive && resolved.drive->disk->capacity > 0) limitingDisk_ = resolved.drive->disk;
    return true;
}

FileStream::~FileStream() { GiveBackUnwrittenRoom(); }

FileStream::FileStream(FileStream&& other) noexcept
    : file_(std::move(other.file_)),
      limitingDisk_(std::move(other.limitingDisk_)),
      roomReserved_(std::exchange(other.roomReserved_, false)) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
    if (this != &other) {
        GiveBackUnwrittenRoom();
        file_ = std::move(other.file_);
        limitingDisk_ = std::move(other.limitingDisk_);
        roomReserved_ = std::exchange(other.roomReserved_, false);
    }
    return *this;
}

void FileStream::ReserveRoomTo(int64_t size) {
    if (size > Size() && native::ReserveFileSpace(file_.Get(), size)) roomReserved_ = true;
}

// Cutting the file at its own end frees what was set aside beyond it.
void FileStream::GiveBackUnwrittenRoom() {
    if (!roomReserved_ || !file_) return;
    roomReserved_ = false;
    if (native::SeekFile(file_.Get(), 0, Origin::End) >= 0) native::TruncateFile(file_.Get());
}

int32_t FileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    return native::ReadFile(file_.Get(), buffer, count);
}

bool FileStream::SetModified(const LocalTime& time) { return native::SetFileModified(file_.Get(), time); }

int32_t FileStream::ReadAt(int64_t offset, void* buffer, int32_t count) {
    if (count <= 0) return 0;
    return native::ReadFileAt(file_.Get(), offset, buffer, count);
}

// On a simulated disk with a capacity only the bytes that fit are written, as on a full floppy.
int32_t FileStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    if (limitingDisk_) {
        const int64_t position = Position();
        const int64_t overwritten = std::max<int64_t>(0, Size() - position);
        const int64_t fits = overwritten + RoomOn(*limitingDisk_);
        if (fits < count) {
            NoteFailure(kDiskFullReason, true);
            count = static_cast<int32_t>(std::max<int64_t>(fits, 0));
            return count == 0 ? 0 : native::WriteFile(file_.Get(), buffer, count);
        }
    }
    const int32_t written = native::WriteFile(file_.Get(), buffer, count);
    if (written < count) NoteFailure();
    return written;
}

int32_t Stream::ReadAt(int64_t offset, void* buffer, int32_t count) {
    return Seek(offset, Origin::Begin) == offset ? Read(buffer, count) : 0;
}

namespace {

constexpr int64_t kPage = 4096;

int64_t PageOffset(int64_t position) { return ((position % kPage) + kPage) % kPage; }

// A copy that puts each byte a few bytes further into its page than it came from runs several
// times slower (each load waits on the store just made to the same low address bits; measured:
// 1 ms for 10 MiB read to the same page offset, 6 to 8 ms read 4 to 24 bytes ahead of it). A set's
// parts are shifted by its 4-byte marker, so spanning and merging would meet that on every block.
// The bytes are therefore placed in the buffer at their source's page offset, or half a page past
// it when the target lies just ahead: neither the read nor the write then lands just ahead.
constexpr int64_t kJustAhead = 64;
// Block buffers of a mebibyte; smaller ones carry records, or bytes whose shift is anybody's
// (just ahead one time in a hundred), where a second, small piece per block would cost more.
constexpr size_t kPlacedBufferMin = 262144;

// Only a large buffer's copies ask the streams where they stand.
size_t PlacementIn(const std::vector<uint8_t>& buffer, Stream& from, Stream& to) {
    if (buffer.size() < kPlacedBufferMin) return 0;
    const int64_t source = from.Position();
    const int64_t target = to.Position();
    if (source < 0 || target < 0) return 0;
    const int64_t shift = PageOffset(target - source);
    const int64_t wanted = PageOffset(source + (shift > 0 && shift < kJustAhead ? kPage / 2 : 0));
    const int64_t at = static_cast<int64_t>(reinterpret_cast<uintptr_t>(buffer.data()) % kPage);
    return static_cast<size_t>(PageOffset(wanted - at));
}

}  // namespace

Stream::Copied Stream::CopyFrom(Stream& from, int32_t count, std::vector<uint8_t>& buffer) {
    Copied copied;
    while (copied.written < count && !buffer.empty()) {
        const size_t skip = PlacementIn(buffer, from, *this);
        uint8_t* const place = buffer.data() + skip;
        const int32_t piece = static_cast<int32_t>(std::min<size_t>(count - copied.written, buffer.size() - skip));
        const int32_t got = from.Read(place, piece);
        const int32_t put = got > 0 ? Write(place, got) : 0;
        copied.read += got;
        copied.written += put;
        if (put < got) {
            from.Seek(put - got, Origin::Current);  // the bytes not taken are still to be copied
            break;
        }
        if (got < piece) break;
    }
    return copied;
}

namespace {

// The kernel's range copy is the fastest way only for bytes that keep their offset within a page;
// shifted bytes go faster through a buffer placed as above (merging: 29 ms against 23 ms for 50 MB).
bool RangeCopyPays(Stream& from, Stream& to) {
    const int64_t source = from.Position();
    const int64_t target = to.Position();
    return source >= 0 && target >= 0 && PageOffset(source) == PageOffset(target);
}

}  // namespace

Stream::Copied FileStream::CopyFrom(Stream& from, int32_t count, std::vector<uint8_t>& buffer) {
    Copied copied;
    auto* file = dynamic_cast<FileStream*>(&from);
    // A simulated disk's capacity is kept by Write alone.
    if (file && !limitingDisk_ && count > 0 && RangeCopyPays(from, *this)) {
        copied.read = copied.written = native::CopyRange(file->file_.Get(), file_.Get(), count);
    }
    // What the kernel did not copy goes through the buffer, which tells a short read from a short write.
    if (copied.written < count) {
        const Copied rest = Stream::CopyFrom(from, count - copied.written, buffer);
        copied.read += rest.read;
        copied.written += rest.written;
    }
    return copied;
}

int64_t FileStream::Seek(int64_t offset, Origin origin) { return native::SeekFile(file_.Get(), offset, origin); }

int64_t FileStream::Size() { return native::FileSize(file_.Get()); }

bool FileStream::Truncate() { return native::TruncateFile(file_.Get()); }

bool FileExists(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && native::FileExists(resolved.native);
}

bool DirectoryExists(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && native::DirectoryExists(resolved.native);
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    const ResolvedPath source = Resolve(from);
    const ResolvedPath target = Resolve(to);
    if (source.NoDisk() || target.NoDisk()) return false;
    return WriteOnDisk(target.ReadOnly(),
                       [&] { return native::CopyFile(source.native, target.native, failIfExists); });
}

bool DeleteFile(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && native::DeleteFile(resolved.native);
}

bool CreateDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    if (resolved.NoDisk()) return false;
    return WriteOnDisk(resolved.ReadOnly(), [&] { return native::CreateDirectory(resolved.native); });
}

bool RemoveDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && native::RemoveDirectory(resolved.native);
}

std::string GetCurrentDirectory() { return native::GetCurrentDirectory(); }

bool SetCurrentDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && native::SetCurrentDirectory(resolved.native);
}

std::string ModuleFileName() { return native::ModuleFileName(); }

std::string GetTempPath() { return native::GetTempPath(); }

void LibraryPolicy::Close(void* library) { native::FreeLibrary(library); }

LibraryHandle LoadLibrary(const std::string& path) {
    const bool bareName = path.find_first_of("\\/:") == std::string::npos;
    if (!bareName) return LibraryHandle(native::LoadLibrary(Resolve(path).native));
    // Windows looks in the program's own folder before anywhere else; the host backend's system
    // search does not, so that step is taken here for both.
    const std::string besideProgram = ExtractFolder(ModuleFileName()) + path;
    if (FileExists(besideProgram)) {
        if (void* library = native::LoadLibrary(Resolve(besideProgram).native)) return LibraryHandle(library);
    }
    return LibraryHandle(native::LoadLibrary(path));
}

void* GetProcAddress(const LibraryHandle& library, const char* name) {
    return library ? native::GetProcAddress(library.Get(), name) : nullptr;
}

std::string GetTempFileName(const std::string& directory, const std::string& prefix) {
    if (!SimulatedDriveOf(directory)) {
        const std::string name = native::GetTempFileName(native::ToNativePath(directory), prefix);
        if (!name.empty()) return name;
        NoteFailure();
    }
    return MakeTempFileHere(directory, prefix.substr(0, kTempPrefixLength));
}

std::string MakeProcessTempFile(const std::string& directory, const std::string& prefix) {
    return MakeTempFileHere(directory, ProcessTempPrefix(prefix, native::CurrentProcessId()));
}

// One call to the system makes and opens the file: an extraction makes one per file it writes.
std::unique_ptr<FileStream> CreateProcessTempFile(const std::string& directory, const std::string& prefix,
                                                  std::string& path) {
    std::unique_ptr<FileStream> stream;
    path = CreateFreeTempName(directory, ProcessTempPrefix(prefix, native::CurrentProcessId()),
                              [&](const std::string& name) {
                                  std::string error;
                                  stream = FileStream::Open(name, Access::CreateNew, Share::Exclusive, error);
                                  return stream != nullptr;
                              });
    return stream;
}

void RemoveOrphanedTempFiles(const std::string& directory, const std::string& prefix) {
    const std::string folder = directory.empty() || directory.back() == '\\' ? directory : directory + '\\';
    const uint32_t self = native::CurrentProcessId();
    for (const FileDetails& item : ListDirectory(folder.empty() ? "." : folder)) {
        const uint32_t owner = TempFileOwner(item.name, prefix);
        if (owner != 0 && owner != self && !item.IsDirectory() && !native::ProcessRuns(owner)) {
            DeleteFile(folder + item.name);
        }
    }
}

const Failure& LastFailure() { return gLastFailure; }

std::string AccessDeniedReason() { return native::AccessDeniedReason(); }

// ---------------------------------------------------------------------------------------------
// File details, times and renames

std::vector<FileDetails> ListDirectory(const std::string& folder) {
    const ResolvedPath resolved = Resolve(folder);
    if (resolved.NoDisk()) return {};
    return native::ListDirectory(resolved.native);
}

bool GetFileDetails(const std::string& path, FileDetails& details) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && native::GetFileDetails(resolved.native, details);
}

bool SetFileModified(const std::string& path, const LocalTime& time) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && native::SetFileModified(resolved.native, time);
}

bool MoveFile(const std::string& from, const std::string& to) {
    const ResolvedPath source = Resolve(from);
    const ResolvedPath target = Resolve(to);
    if (source.NoDisk() || target.NoDisk()) return false;
    return WriteOnDisk(source.ReadOnly() || target.ReadOnly(),
                       [&] { return native::MoveFile(source.native, target.native); });
}

// ---------------------------------------------------------------------------------------------
// Drives

int GetDriveType(const std::string& root) {
    if (const auto drive = SimulatedDriveOf(root)) return drive->type;
    return native::GetDriveType(root);
}

int64_t GetDiskFreeSpace(const std::string& root) {
    const auto drive = SimulatedDriveOf(root);
    if (!drive) return native::GetDiskFreeSpace(root);
    if (!drive->disk) return -1;
    if (drive->disk->capacity > 0) return RoomOn(*drive->disk);
    return native::FreeSpaceOf(drive->disk->folder);
}

bool GetVolumeLabel(const std::string& root, std::string& label) {
    label.clear();
    const auto drive = SimulatedDriveOf(root);
    if (!drive) return native::GetVolumeLabel(root, label);
    if (!drive->disk) return false;
    label = drive->disk->label;
    return true;
}

bool SetVolumeLabel(const std::string& root, const std::string& label) {
    const auto drive = SimulatedDriveOf(root);
    if (!drive) return native::SetVolumeLabel(root, label);
    if (!drive->disk || !drive->disk->labelWritable) return false;
    drive->disk->label = label;
    return true;
}

unsigned SetErrorMode(unsigned mode) { return native::SetErrorMode(mode); }

// ---------------------------------------------------------------------------------------------
// Text

std::string OemToAnsi(const std::string& text) { return native::OemToAnsi(text); }
std::string AnsiToOem(const std::string& text) { return native::AnsiToOem(text); }
std::string Utf8ToAnsi(const std::string& text) { return native::Utf8ToAnsi(text); }
std::string AnsiToUtf8(const std::string& text) { return native::AnsiToUtf8(text); }
std::string AnsiFromConsole(const std::string& text) { return native::AnsiFromConsole(text); }
std::string AnsiToConsole(const std::string& text) { return native::AnsiToConsole(text); }
std::string SystemPathFromArgument(const std::string& argument) { return native::SystemPathFromArgument(argument); }
bool StandardErrorIsTerminal() { return native::StandardErrorIsTerminal(); }

// ---------------------------------------------------------------------------------------------
// The user

namespace {

User* gInstalledUser = nullptr;

}  // namespace

const char* const kApplicationTitle = "Larkspool";
const char* const kUnexpectedError = "An unexpected error ended the command.";

User& CurrentUser() {
    if (gInstalledUser) return *gInstalledUser;
    static std::unique_ptr<User> ownUser = MakeNativeUser();
    return *ownUser;
}

void SetCurrentUser(User* user) { gInstalledUser = user; }

std::unique_ptr<User> MakeNativeUser() { return native::MakeUser(); }

}  // namespace platform
