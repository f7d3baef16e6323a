// Path helpers of the archive component: separators, joining, drive and folder parts.
#include "archive/Archive.h"

#include <algorithm>
#include <cctype>
#include <vector>

std::string SlashesToBackslashes(const std::string& text) {
    std::string result = text;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string MakeAbsolutePath(const std::string& baseDirectory, const std::string& path) {
    if (path.size() > 2 && (path[0] == '\\' || path[1] == ':')) return path;
    return AppendBackslash(baseDirectory) + path;
}

namespace {

bool SameDrive(const std::string& a, const std::string& b) {
    return a.size() >= 2 && b.size() >= 2 && a[1] == ':' && b[1] == ':' &&
           std::tolower(static_cast<unsigned char>(a[0])) == std::tolower(static_cast<unsigned char>(b[0]));
}

// The folders of `rest` (below a drive or share) with "." dropped and ".." taking one back, never
// above the root.
std::string ResolveDots(const std::string& rest) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t end = std::min(rest.find('\\', start), rest.size());
        const std::string part = rest.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string resolved;
    for (const std::string& part : parts) resolved += "\\" + part;
    // A trailing separator names a folder and stays.
    if (!parts.empty() && !rest.empty() && rest.back() == '\\') resolved += '\\';
    return resolved.empty() ? "\\" : resolved;
}

}  // namespace

std::string FullPathName(const std::string& currentFolder, const std::string& path) {
    const std::string given = SlashesToBackslashes(path);
    const std::string current = SlashesToBackslashes(currentFolder);
    if (given.empty()) return given;
    std::string root;
    std::string rest;
    if (given.size() >= 2 && given[0] == '\\' && given[1] == '\\') {
        root = ExtractFileDrive(given);
        if (root.empty()) return given;  // not a share name: nothing to resolve against
        rest = given.substr(root.size());
    } else if (given.size() >= 2 && given[1] == ':') {
        root = SameDrive(given, current) ? current.substr(0, 2) : given.substr(0, 2);
        const std::string below = given.substr(2);
        // "D:name" is relative to the current folder when that is on D:, else to D:'s root.
        if (!below.empty() && below[0] == '\\')
            rest = below;
        else
            rest = (SameDrive(given, current) ? current.substr(2) : std::string()) + "\\" + below;
    } else {
        root = ExtractFileDrive(current);
        rest = given[0] == '\\' ? given : current.substr(root.size()) + "\\" + given;
    }
    return root + ResolveDots(rest);
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
