// Wildcards, name forms and the safety test of names that are to be written to disk.
#include "engines/common/Text.h"

#include <cctype>

namespace engines {
namespace {

char Fold(char c) {
    if (c == '\\') return '/';
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Iterative matching with one backtrack point: linear enough for names, and no recursion depth
// that a hostile pattern could drive up.
bool Match(const std::string& pattern, const std::string& name) {
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string TrimTrailingDotsAndSpaces(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text;
}

bool HasForbiddenCharacter(const std::string& component) {
    for (char c : component) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*') return true;
    }
    return false;
}

}  // namespace

bool HasWildcards(const std::string& pattern) { return pattern.find_first_of("*?") != std::string::npos; }

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    if (Match(pattern, name)) return true;
    const size_t length = pattern.size();
    if (length >= 2 && pattern.compare(length - 2, 2, ".*") == 0 &&
        LastComponent(name).find('.') == std::string::npos) {
        return Match(pattern.substr(0, length - 2), name);
    }
    return false;
}

std::string FoldName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) c = Fold(c);
    return folded;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) return false;
    }
    return true;
}

std::string WithSlashes(std::string name) {
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    return name;
}

std::string WithBackslashes(std::string name) {
    for (char& c : name) {
        if (c == '/') c = '\\';
    }
    return name;
}

std::string LastComponent(const std::string& path) {
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string FolderPart(const std::string& path) {
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

bool IsAbsolutePath(const std::string& path) {
    return (!path.empty() && IsSeparator(path[0])) || (path.size() >= 2 && path[1] == ':');
}

bool IsReservedDeviceName(const std::string& component) {
    // Windows opens the device whatever follows the base name's first dot, and trims trailing spaces.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    std::string upper;
    for (char c : base) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" ||
        upper == "CONOUT$") {
        return true;
    }
    return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

bool SplitSafeName(const std::string& name, std::vector<std::string>& components) {
    components.clear();
    if (name.empty() || IsSeparator(name[0]) || name.find(':') != std::string::npos) return false;
    std::string current;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i])) {
            current += name[i];
            continue;
        }
        // An empty component ("a//b", a trailing separator) adds nothing.
        if (!current.empty()) {
            if (TrimTrailingDotsAndSpaces(current).empty() || IsReservedDeviceName(current) ||
                HasForbiddenCharacter(current)) {
                return false;
            }
            components.push_back(current);
        }
        current.clear();
    }
    return !components.empty();
}

}  // namespace engines
