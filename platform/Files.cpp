// The portable part of files: opening by system path with the simulated disks' refusals, writes cut
// short by a simulated disk's capacity, copies between streams, and the last failure of a file call.
#include "platform/Files.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "platform/Backend.h"

namespace platform {
namespace {

// The texts of FileError: the path, then the system's reason.
constexpr const char* kCannotOpenFile = "Cannot open file \"%s\". %s";
constexpr const char* kCannotCreateFile = "Cannot create file \"%s\". %s";
// What the system says when a drive holds no disk; the simulated drive has no system to ask.
constexpr const char* kNoDiskReason = "The device is not ready.";
// What the system says when a write finds the disk full, for the simulated disk's capacity.
constexpr const char* kDiskFullReason = "There is not enough space on the disk.";

// The engines run operations on several threads, each with its own last failure. sfx.bin has one
// thread and must stay small: a thread_local there would bring in the thread library.
#ifdef LARK_SINGLE_THREAD
Failure gLastFailure;
#else
thread_local Failure gLastFailure;
#endif

std::string OpenFailure(const std::string& path, Access access, const std::string& reason) {
    const bool creating = access == Access::Create || access == Access::CreateNew;
    const char* format = creating ? kCannotCreateFile : kCannotOpenFile;
    std::string text(std::snprintf(nullptr, 0, format, path.c_str(), reason.c_str()) + 1, '\0');
    text.resize(std::snprintf(text.data(), text.size(), format, path.c_str(), reason.c_str()));
    return text;
}

}  // namespace

namespace detail {

void NoteFailure() { gLastFailure = CaptureFailure(); }
void NoteFailure(const std::string& reason, bool diskFull) { gLastFailure = {reason, diskFull}; }

}  // namespace detail

using detail::NoteFailure;

bool RemoveTree(const std::string& path) {
    const std::string folder = AppendBackslash(path);
    bool whole = true;
    for (const FileDetails& item : ListDirectory(folder)) {
        const std::string inner = folder + item.name;
        // A link to a folder is removed as a folder is, which leaves what it points to alone.
        const bool removed = item.IsDirectory() ? RemoveDirectory(inner) || RemoveTree(inner) : DeleteFile(inner);
        whole = removed && whole;
    }
    return RemoveDirectory(path) && whole;
}

std::string AppendBackslash(const std::string& text) {
    if (text.empty() || text.back() == '\\') return text;
    return text + '\\';
}

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
    const detail::ResolvedPath resolved = detail::Resolve(path);
    if (resolved.NoDisk()) {
        error = OpenFailure(path, access, kNoDiskReason);
        NoteFailure(kNoDiskReason);
        return false;
    }
    if (resolved.ReadOnly() && access != Access::Read) {
        NoteFailure(AccessDeniedReason());
        error = OpenFailure(path, access, gLastFailure.reason);
        return false;
    }
    std::string reason;
    file_.Reset(detail::OpenNativeFile(resolved.native, access, share, reason));
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

// Cutting the file at its own end frees what was set aside beyond it.
void FileStream::GiveBackUnwrittenRoom() {
    if (!roomReserved_ || !file_) return;
    roomReserved_ = false;
    if (Seek(0, Origin::End) >= 0) Truncate();
}

// On a simulated disk with a capacity only the bytes that fit are written, as on a full floppy.
int32_t FileStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    if (limitingDisk_) {
        const int64_t position = Position();
        const int64_t overwritten = std::max<int64_t>(0, Size() - position);
        const int64_t fits = overwritten + detail::RoomOn(*limitingDisk_);
        if (fits < count) {
            NoteFailure(kDiskFullReason, true);
            count = static_cast<int32_t>(std::max<int64_t>(fits, 0));
            return count == 0 ? 0 : detail::WriteNativeFile(file_.Get(), buffer, count);
        }
    }
    const int32_t written = detail::WriteNativeFile(file_.Get(), buffer, count);
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
        copied.read = copied.written = detail::CopyRange(file->file_.Get(), file_.Get(), count);
    }
    // What the kernel did not copy goes through the buffer, which tells a short read from a short write.
    if (copied.written < count) {
        const Copied rest = Stream::CopyFrom(from, count - copied.written, buffer);
        copied.read += rest.read;
        copied.written += rest.written;
    }
    return copied;
}

const Failure& LastFailure() { return gLastFailure; }

}  // namespace platform
