// Wildcards, name forms and the safety test of names that are to be written to disk.
#include "engines/common/Text.h"

#include <cctype>

#include "abi/EngineRecords.h"
#include "platform/Text.h"
#include "zipformat/CaseFold.h"
#include "zipformat/CodePageText.h"
#include "zipformat/Utf8.h"

namespace engines {
namespace {

char Fold(char c) {
    if (c == '\\') return '/';
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

char32_t FoldCodePoint(char32_t c) {
    if (c == '\\') return '/';
    return zip::FoldCase(c);
}

// Iterative matching with one backtrack point: linear enough for names, and no recursion depth
// that a hostile pattern could drive up. Over bytes for ANSI text, over characters for UTF-8, so
// that '?' stands for one character in both.
template <class Text, class FoldFunction>
bool Match(const Text& pattern, const Text& name, FoldFunction fold) {
    size_t p = 0;
    size_t n = 0;
    size_t starP = Text::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (starP != Text::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// A pattern ending in ".*" also matches a name whose last component has no dot.
template <class Text, class FoldFunction>
bool MatchWithDotStar(const Text& pattern, const Text& name, const std::string& lastComponent, FoldFunction fold) {
    if (Match(pattern, name, fold)) return true;
    const size_t length = pattern.size();
    if (length >= 2 && pattern[length - 2] == '.' && pattern[length - 1] == '*' &&
        lastComponent.find('.') == std::string::npos) {
        return Match(pattern.substr(0, length - 2), name, fold);
    }
    return false;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }


bool HasForbiddenCharacter(const std::string& component) {
    for (char c : component) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*') return true;
    }
    return false;
}

}  // namespace

bool HasWildcards(const std::string& pattern) { return pattern.find_first_of("*?") != std::string::npos; }

bool MatchesWildcardUtf8(const std::string& pattern, const std::string& name) {
    // The pattern that stands for a whole folder matches every name (one without a dot by the ".*" rule):
    // asked once for each file of a tree.
    if (pattern == "*" || pattern == "*.*") return true;
    return MatchWithDotStar(zip::CodePoints(pattern), zip::CodePoints(name), LastComponent(name), FoldCodePoint);
}

std::string FoldName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) c = Fold(c);
    return folded;
}

std::string FoldNameUtf8(const std::string& name) { return WithSlashes(zip::FoldCaseUtf8(name)); }

bool SameNameUtf8(const std::string& a, const std::string& b) { return FoldNameUtf8(a) == FoldNameUtf8(b); }

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
    if (base.size() > 7) return false;  // longer than every device name
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
            // Windows trims trailing dots and spaces: a component of nothing else names its folder.
            if (current.find_first_not_of(". ") == std::string::npos || IsReservedDeviceName(current) ||
                HasForbiddenCharacter(current)) {
                return false;
            }
            components.push_back(current);
        }
        current.clear();
    }
    return !components.empty();
}

RunText RunText::FromExtensionWord(uint32_t word) {
    return RunText((engine::ExtensionBits(word) & engine::kExtUtf8) != 0);
}

std::string RunText::FromCaller(const std::string& text) const { return utf8_ ? text : platform::AnsiToUtf8(text); }

std::string RunText::ToCaller(const std::string& text) const { return utf8_ ? text : platform::Utf8ToAnsi(text); }

bool RunText::Matches(const std::string& spec, const std::string& name) const {
    return HasWildcards(spec) ? MatchesWildcard(spec, name) : Same(spec, name);
}

bool RunText::MatchesWildcard(const std::string& pattern, const std::string& name) const {
    return MatchesWildcardUtf8(pattern, name);
}

bool RunText::Same(const std::string& a, const std::string& b) const { return SameNameUtf8(a, b); }

std::string RunText::Key(const std::string& name) const { return FoldNameUtf8(name); }

zip::StoredText RunText::StoredName(const std::string& name) const {
    if (!utf8_) return {platform::AnsiToOem(platform::Utf8ToAnsi(name)), false};
    return zip::StoredTextFor(name);
}

std::string RunText::StoredArchiveComment(const std::string& comment, bool archiveOemNames) const {
    return utf8_ ? zip::StoredArchiveCommentFor(comment, archiveOemNames) : platform::Utf8ToAnsi(comment);
}

std::string RunText::CipherPassword(const std::string& password) const {
    if (!utf8_) return platform::Utf8ToAnsi(password);  // the caller's own bytes
    std::string ansi;
    if (zip::Utf8ToCodePage(zip::CodePage::Ansi, password, ansi)) return ansi;
    return password;
}

}  // namespace engines
