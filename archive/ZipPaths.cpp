// Path helpers of the archive component: separators, joining, drive and folder parts.
#include "archive/Archive.h"

#include <algorithm>

std::string SlashesToBackslashes(const std::string& text) {
    std::string result = text;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string MakeAbsolutePath(const std::string& baseDirectory, const std::string& path) {
    if (path.size() > 2 && (path[0] == '\\' || path[1] == ':')) return path;
    return AppendBackslash(baseDirectory) + path;
}

std::string ExtractFileDrive(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    // A network path: "\\server\share" up to the separator after the share name.
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        const size_t serverEnd = path.find('\\', 2);
        if (serverEnd == std::string::npos || serverEnd == 2) return std::string();
        const size_t shareEnd = path.find('\\', serverEnd + 1);
        return path.substr(0, shareEnd);
    }
    return std::string();
}

std::string ExtractFilePath(const std::string& path) {
    const size_t separator = path.find_last_of("\\:");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string ExtractFileName(const std::string& path) {
    const size_t separator = path.find_last_of("\\:");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const size_t dot = path.find_last_of(".\\:");
    if (dot == std::string::npos || path[dot] != '.') return path + extension;
    return path.substr(0, dot) + extension;
}
