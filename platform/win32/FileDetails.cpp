// Windows file details: find data and attribute queries, local file times, MoveFileEx, by wide names.
#include "platform/win32/WindowsApi.h"

#include "platform/Backend.h"
#include "platform/Files.h"
#include "platform/Time.h"

namespace platform {
namespace {

using detail::ResolvedPath;
using detail::Resolve;
using win32::FindHandle;
using win32::Utf8;
using win32::Wide;

LocalTime FromFileTime(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME parts;
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &parts)) return {};
    return {parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute, parts.wSecond};
}

FileDetails Details(const std::string& name, DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written) {
    FileDetails details;
    details.name = name;
    details.attributes = attributes & 0xFF;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) details.size = (static_cast<int64_t>(sizeHigh) << 32) | sizeLow;
    details.modified = FromFileTime(written);
    return details;
}

std::string LastComponent(const std::string& path) {
    const size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

std::vector<FileDetails> ListDirectory(const std::string& systemFolder) {
    const ResolvedPath resolved = Resolve(systemFolder);
    if (resolved.NoDisk()) return {};
    const std::string& folder = resolved.native;
    std::vector<FileDetails> items;
    const bool hasSeparator = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    WIN32_FIND_DATAW found;
    FindHandle find(::FindFirstFileW(Wide(folder + (hasSeparator ? "*" : "\\*")).c_str(), &found));
    if (!find) return items;
    do {
        const std::string name = Utf8(found.cFileName);
        if (name == "." || name == "..") continue;
        items.push_back(Details(name, found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow,
                                found.ftLastWriteTime));
    } while (::FindNextFileW(find.Get(), &found));
    return items;
}

bool GetFileDetails(const std::string& systemPath, FileDetails& details) {
    const ResolvedPath resolved = Resolve(systemPath);
    const std::string& path = resolved.native;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (resolved.NoDisk() || path.empty() || !::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
    details = Details(LastComponent(path), data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                      data.ftLastWriteTime);
    return true;
}

namespace {

bool ToFileTime(const LocalTime& time, FILETIME& utc) {
    SYSTEMTIME parts{};
    parts.wYear = static_cast<WORD>(time.year);
    parts.wMonth = static_cast<WORD>(time.month);
    parts.wDay = static_cast<WORD>(time.day);
    parts.wHour = static_cast<WORD>(time.hour);
    parts.wMinute = static_cast<WORD>(time.minute);
    parts.wSecond = static_cast<WORD>(time.second);
    FILETIME local;
    return ::SystemTimeToFileTime(&parts, &local) && ::LocalFileTimeToFileTime(&local, &utc);
}

}  // namespace

bool FileStream::SetModified(const LocalTime& time) {
    FILETIME utc;
    return ToFileTime(time, utc) && ::SetFileTime(reinterpret_cast<HANDLE>(file_.Get()), nullptr, nullptr, &utc) != 0;
}

bool SetFileModified(const std::string& path, const LocalTime& time) {
    const ResolvedPath resolved = Resolve(path);
    FILETIME utc;
    if (resolved.NoDisk() || !ToFileTime(time, utc)) return false;
    FileHandle file(reinterpret_cast<intptr_t>(::CreateFileW(Wide(resolved.native).c_str(), FILE_WRITE_ATTRIBUTES,
                                                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                             FILE_ATTRIBUTE_NORMAL, nullptr)));
    return file && ::SetFileTime(reinterpret_cast<HANDLE>(file.Get()), nullptr, nullptr, &utc) != 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    const ResolvedPath source = Resolve(from);
    const ResolvedPath target = Resolve(to);
    if (source.NoDisk() || target.NoDisk()) return false;
    return detail::WriteOnDisk(source.ReadOnly() || target.ReadOnly(), [&] {
        return ::MoveFileExW(Wide(source.native).c_str(), Wide(target.native).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
    });
}

}  // namespace platform
