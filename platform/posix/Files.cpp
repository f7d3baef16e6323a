// Host files: POSIX descriptors behind the platform's file interface, with Windows-style paths outside.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Backend.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/TempFiles.h"
#include "platform/posix/HostText.h"

namespace platform {
namespace {

using detail::ResolvedPath;
using detail::Resolve;
using detail::WriteOnDisk;

constexpr int32_t kCopyBufferSize = 32768;

struct DescriptorPolicy {
    using Value = int;
    static constexpr int Invalid() { return -1; }
    static void Close(int fd) { ::close(fd); }
};
using Descriptor = UniqueHandle<DescriptorPolicy>;

struct DirectoryPolicy {
    using Value = DIR*;
    static constexpr DIR* Invalid() { return nullptr; }
    static void Close(DIR* directory) { ::closedir(directory); }
};
using DirectoryHandle = UniqueHandle<DirectoryPolicy>;

int OpenFlags(Access access) {
    switch (access) {
        case Access::Read: return O_RDONLY;
        case Access::ReadWrite: return O_RDWR;
        case Access::Create: return O_RDWR | O_CREAT | O_TRUNC;
        case Access::CreateNew: return O_RDWR | O_CREAT | O_EXCL;
    }
    return O_RDONLY;
}

bool StatPath(const std::string& path, struct stat64& info) { return !path.empty() && ::stat64(path.c_str(), &info) == 0; }

bool IsFolder(const std::string& path) {
    struct stat64 info;
    return StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool MakeFolder(const std::string& path) { return !path.empty() && ::mkdir(path.c_str(), 0777) == 0; }

int32_t ReadFully(int fd, char* buffer, int32_t count) {
    int32_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, buffer + done, static_cast<size_t>(count - done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<int32_t>(got);
    }
    return done;
}

int32_t WriteFully(int fd, const char* buffer, int32_t count) {
    int32_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd, buffer + done, static_cast<size_t>(count - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<int32_t>(put);
    }
    return done;
}

// Copies the bytes and the modification time, as Windows does.
bool CopyHostFile(const std::string& from, const std::string& to, bool failIfExists) {
    Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_LARGEFILE));
    struct stat64 info;
    if (!source || ::fstat64(source.Get(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    const int createFlags = O_WRONLY | O_CREAT | O_CLOEXEC | O_LARGEFILE | (failIfExists ? O_EXCL : O_TRUNC);
    Descriptor target(::open(to.c_str(), createFlags, 0666));
    if (!target) return false;
    char buffer[kCopyBufferSize];
    for (;;) {
        const int32_t got = ReadFully(source.Get(), buffer, kCopyBufferSize);
        if (got == 0) break;
        if (WriteFully(target.Get(), buffer, got) != got) return false;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(target.Get(), times);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The stream of an open file

void FileHandlePolicy::Close(intptr_t file) { ::close(static_cast<int>(file)); }

int32_t FileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    return ReadFully(static_cast<int>(file_.Get()), static_cast<char*>(buffer), count);
}

int32_t FileStream::ReadAt(int64_t offset, void* buffer, int32_t count) {
    if (count <= 0) return 0;
    const int fd = static_cast<int>(file_.Get());
    int32_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread64(fd, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done), offset + done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<int32_t>(got);
    }
    return done;
}

int64_t FileStream::Seek(int64_t offset, Origin origin) {
    const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
    return ::lseek64(static_cast<int>(file_.Get()), offset, whence);
}

int64_t FileStream::Size() {
    struct stat64 info;
    return ::fstat64(static_cast<int>(file_.Get()), &info) == 0 ? info.st_size : -1;
}

bool FileStream::Truncate() {
    const int fd = static_cast<int>(file_.Get());
    const off64_t position = ::lseek64(fd, 0, SEEK_CUR);
    return position >= 0 && ::ftruncate64(fd, position) == 0;
}

void FileStream::ReserveRoomTo(int64_t size) {
    if (size > Size() && ::fallocate64(static_cast<int>(file_.Get()), FALLOC_FL_KEEP_SIZE, 0, size) == 0) {
        roomReserved_ = true;
    }
}

// ---------------------------------------------------------------------------------------------
// Files and folders by name

bool FileExists(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    struct stat64 info;
    return !resolved.NoDisk() && StatPath(resolved.native, info) && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && IsFolder(resolved.native);
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    const ResolvedPath source = Resolve(from);
    const ResolvedPath target = Resolve(to);
    if (source.NoDisk() || target.NoDisk()) return false;
    return WriteOnDisk(target.ReadOnly(), [&] { return CopyHostFile(source.native, target.native, failIfExists); });
}

bool DeleteFile(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && !resolved.native.empty() && ::unlink(resolved.native.c_str()) == 0;
}

bool CreateDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    if (resolved.NoDisk()) return false;
    return WriteOnDisk(resolved.ReadOnly(), [&] { return MakeFolder(resolved.native); });
}

bool RemoveDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    if (resolved.NoDisk() || resolved.native.empty()) return false;
    // A link to a folder goes as Windows removes a junction: the link alone, never what it points to.
    struct stat64 info;
    if (::lstat64(resolved.native.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        return ::unlink(resolved.native.c_str()) == 0;
    return ::rmdir(resolved.native.c_str()) == 0;
}

std::string GetCurrentDirectory() {
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer)) return {};
    return posix::SystemFromHostPath(buffer);
}

bool SetCurrentDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && !resolved.native.empty() && ::chdir(resolved.native.c_str()) == 0;
}

std::string ModuleFileName() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    return posix::SystemFromHostPath(std::string(buffer, static_cast<size_t>(length)));
}

std::string GetTempPath() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string path = tmpdir && *tmpdir == '/' ? tmpdir : "/tmp";
    if (path.back() != '/') path += '/';
    return posix::SystemFromHostPath(path);
}

std::string AccessDeniedReason() { return std::strerror(EACCES); }

// ---------------------------------------------------------------------------------------------
// What the portable parts build on

namespace detail {

std::string ToNativePath(const std::string& systemPath) {
    std::string path = systemPath;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::string JoinNative(const std::string& folder, const std::string& rest) {
    if (rest.empty()) return folder;
    const bool needsSlash = !folder.empty() && folder.back() != '/';
    return folder + (needsSlash ? "/" : "") + ToNativePath(rest);
}

void MakeNativeFolder(const std::string& folder) {
    if (!IsFolder(folder)) MakeFolder(folder);
}

// Sharing is not enforced on the host: descriptors have no share modes, and advisory locks would
// not stop the other programs a test might race with either.
intptr_t OpenNativeFile(const std::string& path, Access access, Share, std::string& error) {
    Descriptor fd(::open(path.c_str(), OpenFlags(access) | O_CLOEXEC | O_LARGEFILE, 0666));
    if (!fd) {
        error = std::strerror(errno);
        return FileHandlePolicy::Invalid();
    }
    // Windows refuses to open a folder as a file; open(2) lets a folder be read (a created file
    // is never one).
    struct stat64 info;
    const bool creating = access == Access::Create || access == Access::CreateNew;
    if (!creating && ::fstat64(fd.Get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = std::strerror(EISDIR);
        return FileHandlePolicy::Invalid();
    }
    return fd.Release();
}

int32_t WriteNativeFile(intptr_t file, const void* buffer, int32_t count) {
    return WriteFully(static_cast<int>(file), static_cast<const char*>(buffer), count);
}

int32_t CopyRange(intptr_t from, intptr_t to, int32_t count) {
    int32_t done = 0;
    while (done < count) {
        const ssize_t moved = ::copy_file_range(static_cast<int>(from), nullptr, static_cast<int>(to), nullptr,
                                                static_cast<size_t>(count - done), 0);
        if (moved < 0 && errno == EINTR) continue;
        if (moved <= 0) break;  // the end of `from`, or no range copy between these files
        done += static_cast<int32_t>(moved);
    }
    return done;
}

bool CreateNativeFile(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    return fd.IsValid();
}

int64_t FolderUsage(const std::string& folder) {
    DirectoryHandle directory(::opendir(folder.c_str()));
    if (!directory) return 0;
    int64_t usage = 0;
    // readdir64: the 32-bit readdir fails on file systems whose offsets or inode numbers need 64 bits.
    while (const dirent64* entry = ::readdir64(directory.Get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + (folder.back() == '/' ? "" : "/") + name;
        struct stat64 info;
        if (::lstat64(path.c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
            usage += FolderUsage(path);
        } else if (S_ISREG(info.st_mode)) {
            usage += info.st_size;
        }
    }
    return usage;
}

int64_t FreeSpaceOf(const std::string& path) {
    struct statvfs64 info;
    if (::statvfs64(path.c_str(), &info) != 0) return -1;
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

Failure CaptureFailure() {
    const int error = errno;
    return {std::strerror(error), error == ENOSPC || error == EDQUOT};
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

// kill with signal 0 only asks whether the process exists; EPERM means it does, but is not ours.
bool ProcessRuns(uint32_t processId) {
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno != ESRCH;
}

// The host has no such service: the portable front makes the name itself.
std::string SystemTempFileName(const std::string&, const std::string&) { return {}; }

}  // namespace detail
}  // namespace platform
