// Windows files: the kernel's file functions behind the platform's file interface.
#include "platform/win32/WindowsApi.h"

#include <vector>

#include "platform/Backend.h"
#include "platform/Files.h"
#include "platform/TempFiles.h"

namespace platform::win32 {

std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || !buffer) return "Error " + std::to_string(error) + ".";
    std::string text = Utf8(buffer, length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace platform::win32

namespace platform {
namespace {

using detail::ResolvedPath;
using detail::Resolve;
using detail::WriteOnDisk;
using win32::FindHandle;
using win32::Utf8;
using win32::Wide;

HANDLE AsHandle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

DWORD DesiredAccess(Access access) { return access == Access::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE; }

DWORD Disposition(Access access) {
    switch (access) {
        case Access::Create: return CREATE_ALWAYS;
        case Access::CreateNew: return CREATE_NEW;
        default: return OPEN_EXISTING;
    }
}

DWORD ShareMode(Share share) {
    switch (share) {
        case Share::DenyWrite: return FILE_SHARE_READ;
        case Share::DenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
        case Share::Exclusive: return 0;
    }
    return FILE_SHARE_READ;
}

DWORD MoveMethod(Origin origin) {
    switch (origin) {
        case Origin::Begin: return FILE_BEGIN;
        case Origin::Current: return FILE_CURRENT;
        case Origin::End: return FILE_END;
    }
    return FILE_BEGIN;
}

DWORD Attributes(const std::string& path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(Wide(path).c_str());
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WithBackslash(const std::string& folder) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder;
    return folder + "\\";
}

// Fills a buffer through a call that answers the length it needs when the buffer is too small.
template <typename Call>
std::string GrowingBuffer(Call call) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = call(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = call(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length >= buffer.size()) return {};
    return Utf8(buffer.data(), length);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The stream of an open file

void FileHandlePolicy::Close(intptr_t file) { ::CloseHandle(AsHandle(file)); }

int32_t FileStream::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    DWORD done = 0;
    if (!::ReadFile(AsHandle(file_.Get()), buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
    return static_cast<int32_t>(done);
}

// With an offset in the OVERLAPPED record a synchronous handle reads there without a seek.
int32_t FileStream::ReadAt(int64_t offset, void* buffer, int32_t count) {
    if (count <= 0) return 0;
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    if (!::ReadFile(AsHandle(file_.Get()), buffer, static_cast<DWORD>(count), &done, &at)) return 0;
    return static_cast<int32_t>(done);
}

int64_t FileStream::Seek(int64_t offset, Origin origin) {
    LARGE_INTEGER distance;
    LARGE_INTEGER position;
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(AsHandle(file_.Get()), distance, &position, MoveMethod(origin))) return -1;
    return position.QuadPart;
}

int64_t FileStream::Size() {
    LARGE_INTEGER size;
    return ::GetFileSizeEx(AsHandle(file_.Get()), &size) ? size.QuadPart : -1;
}

bool FileStream::Truncate() { return ::SetEndOfFile(AsHandle(file_.Get())) != 0; }

// Windows XP has no call that sets room aside without moving the end of the file.
void FileStream::ReserveRoomTo(int64_t) {}

// ---------------------------------------------------------------------------------------------
// Files and folders by name

bool FileExists(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    if (resolved.NoDisk()) return false;
    const DWORD attributes = Attributes(resolved.native);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && IsFolder(resolved.native);
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    const ResolvedPath source = Resolve(from);
    const ResolvedPath target = Resolve(to);
    if (source.NoDisk() || target.NoDisk()) return false;
    return WriteOnDisk(target.ReadOnly(), [&] {
        return ::CopyFileW(Wide(source.native).c_str(), Wide(target.native).c_str(), failIfExists) != 0;
    });
}

bool DeleteFile(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && ::DeleteFileW(Wide(resolved.native).c_str()) != 0;
}

bool CreateDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    if (resolved.NoDisk()) return false;
    return WriteOnDisk(resolved.ReadOnly(), [&] { return ::CreateDirectoryW(Wide(resolved.native).c_str(), nullptr) != 0; });
}

bool RemoveDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && ::RemoveDirectoryW(Wide(resolved.native).c_str()) != 0;
}

std::string GetCurrentDirectory() {
    return GrowingBuffer([](DWORD size, wchar_t* buffer) { return ::GetCurrentDirectoryW(size, buffer); });
}

bool SetCurrentDirectory(const std::string& path) {
    const ResolvedPath resolved = Resolve(path);
    return !resolved.NoDisk() && ::SetCurrentDirectoryW(Wide(resolved.native).c_str()) != 0;
}

// GetModuleFileName answers the buffer's size, not the length it needs, when the name is cut.
std::string ModuleFileName() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return Utf8(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::string GetTempPath() {
    return GrowingBuffer([](DWORD size, wchar_t* buffer) { return ::GetTempPathW(size, buffer); });
}

std::string AccessDeniedReason() { return win32::SystemMessage(ERROR_ACCESS_DENIED); }

// ---------------------------------------------------------------------------------------------
// What the portable parts build on

namespace detail {

std::string ToNativePath(const std::string& systemPath) { return systemPath; }

std::string JoinNative(const std::string& folder, const std::string& rest) {
    if (rest.empty()) return folder;
    return WithBackslash(folder) + rest;
}

void MakeNativeFolder(const std::string& folder) {
    if (!IsFolder(folder)) ::CreateDirectoryW(Wide(folder).c_str(), nullptr);
}

intptr_t OpenNativeFile(const std::string& path, Access access, Share share, std::string& error) {
    const HANDLE file = ::CreateFileW(Wide(path).c_str(), DesiredAccess(access), ShareMode(share), nullptr,
                                      Disposition(access), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = win32::SystemMessage(::GetLastError());
        return FileHandlePolicy::Invalid();
    }
    return reinterpret_cast<intptr_t>(file);
}

int32_t WriteNativeFile(intptr_t file, const void* buffer, int32_t count) {
    DWORD done = 0;
    if (!::WriteFile(AsHandle(file), buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
    return static_cast<int32_t>(done);
}

// Windows copies only whole files inside the system; blocks go through the caller's buffer.
int32_t CopyRange(intptr_t, intptr_t, int32_t) { return 0; }

bool CreateNativeFile(const std::string& path) {
    FileHandle file(reinterpret_cast<intptr_t>(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                             FILE_ATTRIBUTE_NORMAL, nullptr)));
    return file.IsValid();
}

int64_t FolderUsage(const std::string& folder) {
    const std::string base = WithBackslash(folder);
    WIN32_FIND_DATAW found;
    FindHandle find(::FindFirstFileW(Wide(base + "*").c_str(), &found));
    if (!find) return 0;
    int64_t usage = 0;
    do {
        const std::string name = Utf8(found.cFileName);
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            usage += FolderUsage(base + name);
        } else {
            usage += (static_cast<int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        }
    } while (::FindNextFileW(find.Get(), &found));
    return usage;
}

int64_t FreeSpaceOf(const std::string& path) {
    ULARGE_INTEGER available;
    if (!::GetDiskFreeSpaceExW(Wide(WithBackslash(path)).c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<int64_t>(available.QuadPart);
}

Failure CaptureFailure() {
    const DWORD error = ::GetLastError();
    return {win32::SystemMessage(error), error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL};
}

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

// A process that has ended but whose handle someone still holds answers with its exit code.
bool ProcessRuns(uint32_t processId) {
    win32::KernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD exitCode = STILL_ACTIVE;
    return !(::GetExitCodeProcess(process.Get(), &exitCode) && exitCode != STILL_ACTIVE);
}

std::string SystemTempFileName(const std::string& directory, const std::string& prefix) {
    wchar_t buffer[MAX_PATH + 1];
    if (!::GetTempFileNameW(Wide(directory).c_str(), Wide(prefix).c_str(), 0, buffer)) return {};
    return Utf8(buffer);
}

}  // namespace detail
}  // namespace platform
