// Host file details: stat and readdir, local times through the C library, rename(2).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/Backend.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/Time.h"

namespace platform {
namespace {

using detail::ResolvedPath;
using detail::Resolve;

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
    details.name = name;
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

std::vector<FileDetails> ListDirectory(const std::string& systemFolder) {
    const ResolvedPath resolved = Resolve(systemFolder);
    if (resolved.NoDisk()) return {};
    const std::string& folder = resolved.native;
    std::vector<FileDetails> items;
    DirectoryHandle directory(::opendir(folder.c_str()));
    if (!directory) return items;
    while (const dirent64* entry = ::readdir64(directory.Get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat64 info;
        // Asked relative to the open folder: the system does not walk the whole path again for
        // each of a large folder's files.
        // Sockets, devices and dangling links are nothing an archive can hold.
        if (::fstatat64(::dirfd(directory.Get()), name.c_str(), &info, 0) != 0 ||
            !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)))
            continue;
        items.push_back(FromStat(name, info));
    }
    return items;
}

bool GetFileDetails(const std::string& systemPath, FileDetails& details) {
    const ResolvedPath resolved = Resolve(systemPath);
    const std::string& path = resolved.native;
    struct stat64 info;
    if (resolved.NoDisk() || path.empty() || ::stat64(path.c_str(), &info) != 0) return false;
    details = FromStat(LastComponent(path), info);
    return true;
}

namespace {

// Seconds since 1970 of a local time. mktime reads the zone file again on every call, and an
// extraction sets thousands of times, most in a few hours: the zone's offset is remembered per
// hour, as summer time starts and ends on the hour.
bool SecondsOfLocal(const LocalTime& time, time_t& seconds) {
    struct tm parts {};
    parts.tm_year = time.year - 1900;
    parts.tm_mon = time.month - 1;
    parts.tm_mday = time.day;
    parts.tm_hour = time.hour;
    parts.tm_min = time.minute;
    parts.tm_sec = time.second;
    struct tm universal = parts;
    const time_t asUniversal = ::timegm(&universal);
    static std::mutex guard;
    static std::map<std::tuple<int, int, int, int>, time_t> offsets;
    const auto hour = std::make_tuple(time.year, time.month, time.day, time.hour);
    std::lock_guard<std::mutex> lock(guard);
    if (const auto known = offsets.find(hour); known != offsets.end()) {
        seconds = asUniversal + known->second;
        return true;
    }
    parts.tm_isdst = -1;  // let the C library decide whether summer time applied then
    seconds = ::mktime(&parts);
    if (seconds == static_cast<time_t>(-1) || asUniversal == static_cast<time_t>(-1)) return false;
    if (offsets.size() >= 4096) offsets.clear();
    offsets.emplace(hour, seconds - asUniversal);
    return true;
}

// The access and change times of a file, both at that local time.
bool TimesOf(const LocalTime& time, struct timespec (&times)[2]) {
    time_t seconds = 0;
    if (!SecondsOfLocal(time, seconds)) return false;
    times[0] = times[1] = {seconds, 0};
    return true;
}

}  // namespace

bool SetFileModified(const std::string& path, const LocalTime& time) {
    const ResolvedPath resolved = Resolve(path);
    struct timespec times[2];
    return !resolved.NoDisk() && TimesOf(time, times) &&
           ::utimensat(AT_FDCWD, resolved.native.c_str(), times, 0) == 0;
}

bool FileStream::SetModified(const LocalTime& time) {
    struct timespec times[2];
    return TimesOf(time, times) && ::futimens(static_cast<int>(file_.Get()), times) == 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    const ResolvedPath source = Resolve(from);
    const ResolvedPath target = Resolve(to);
    if (source.NoDisk() || target.NoDisk()) return false;
    return detail::WriteOnDisk(source.ReadOnly() || target.ReadOnly(), [&] {
        return !source.native.empty() && !target.native.empty() &&
               std::rename(source.native.c_str(), target.native.c_str()) == 0;
    });
}

}  // namespace platform
