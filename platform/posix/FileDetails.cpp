// Host file details: stat and readdir, local times through the C library, rename(2).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/Handle.h"
#include "platform/Native.h"
#include "platform/posix/HostText.h"

namespace platform::native {
namespace {

struct DirectoryPolicy {
    using Value = DIR*;
    static constexpr DIR* Invalid() { return nullptr; }
    static void Close(DIR* directory) { ::closedir(directory); }
};
using DirectoryHandle = UniqueHandle<DirectoryPolicy>;

LocalTime FromSeconds(time_t seconds) {
    struct tm parts {};
    ::localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

// The host has no attribute bits: folders are folders, files without write permission read-only,
// and every file carries the archive bit as Windows gives new files.
FileDetails FromStat(const std::string& name, const struct stat64& info) {
    FileDetails details;
    details.name = AnsiFromUtf8(name);
    if (S_ISDIR(info.st_mode)) {
        details.attributes = kAttributeDirectory;
    } else {
        details.attributes = kAttributeArchive;
        details.size = info.st_size;
    }
    if (!(info.st_mode & S_IWUSR)) details.attributes |= kAttributeReadOnly;
    details.modified = FromSeconds(info.st_mtim.tv_sec);
    return details;
}

std::string LastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<FileDetails> ListDirectory(const std::string& folder) {
    std::vector<FileDetails> items;
    DirectoryHandle directory(::opendir(folder.c_str()));
    if (!directory) return items;
    while (const dirent64* entry = ::readdir64(directory.Get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat64 info;
        const std::string path = folder + (!folder.empty() && folder.back() == '/' ? "" : "/") + name;
        // Sockets, devices and dangling links are nothing an archive can hold.
        if (::stat64(path.c_str(), &info) != 0 || !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode))) continue;
        items.push_back(FromStat(name, info));
    }
    return items;
}

bool GetFileDetails(const std::string& path, FileDetails& details) {
    struct stat64 info;
    if (path.empty() || ::stat64(path.c_str(), &info) != 0) return false;
    details = FromStat(LastComponent(path), info);
    return true;
}

bool SetFileModified(const std::string& path, const LocalTime& time) {
    struct tm parts {};
    parts.tm_year = time.year - 1900;
    parts.tm_mon = time.month - 1;
    parts.tm_mday = time.day;
    parts.tm_hour = time.hour;
    parts.tm_min = time.minute;
    parts.tm_sec = time.second;
    parts.tm_isdst = -1;  // let the C library decide whether summer time applied then
    const time_t seconds = ::mktime(&parts);
    if (seconds == static_cast<time_t>(-1)) return false;
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    return !from.empty() && !to.empty() && std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform::native
