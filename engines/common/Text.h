// Names for the engines: Windows wildcard rules, stored-name forms and safe extraction paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "zipformat/UnicodeNames.h"

namespace engines {

bool HasWildcards(const std::string& pattern);
// ASCII letters in small case and '/' separators: how the stub compares its own options.
std::string FoldName(const std::string& name);
// Names in UTF-8, by Windows rules, without regard to case: '*' any run of characters (folder
// separators included, so "*.txt" reaches into folders), '?' one character, and a pattern ending in
// ".*" also matches a name without any dot ("*.*" matches every name). '/' and '\' are the same
// character; case is compared by Unicode's simple case folding, so 'Ä' and 'ä', 'Σ' and 'σ' are the
// same. Ill-formed bytes compare as U+FFFD.
bool MatchesWildcardUtf8(const std::string& pattern, const std::string& name);
std::string FoldNameUtf8(const std::string& name);
bool SameNameUtf8(const std::string& a, const std::string& b);

// How one run of an engine treats text. Inside, every text is UTF-8, as the platform's paths are.
// Callers that predate the extension word pass ANSI texts and read ANSI back: their run converts at
// the record and the callback and stores names as OEM bytes, as before. With kExtUtf8 in the
// command record the texts are UTF-8 as they stand, and names the OEM page cannot hold are stored
// as flagged UTF-8.
class RunText {
public:
    explicit RunText(bool utf8) : utf8_(utf8) {}
    // The run's mode from a command record's extension word.
    static RunText FromExtensionWord(uint32_t word);

    bool Utf8() const { return utf8_; }
    // A text from the caller (the record, a callback's answer) in the engine's UTF-8, and back.
    std::string FromCaller(const std::string& text) const;
    std::string ToCaller(const std::string& text) const;
    // A spec against a name: a wildcard pattern, or else the whole name, without regard to case
    // (Unicode's simple case folding; '?' stands for one character).
    bool Matches(const std::string& spec, const std::string& name) const;
    bool MatchesWildcard(const std::string& pattern, const std::string& name) const;
    bool Same(const std::string& a, const std::string& b) const;
    std::string Key(const std::string& name) const;
    // What an added entry stores for its name: the OEM bytes as before, or, in UTF-8 runs, the
    // OEM bytes when that page holds the name exactly and else UTF-8 with the entry's flag.
    zip::StoredText StoredName(const std::string& name) const;
    // The archive comment to store: the caller's ANSI bytes in ANSI runs, chosen by the archive's
    // code page in UTF-8 runs.
    std::string StoredArchiveComment(const std::string& comment, bool archiveOemNames) const;
    // The bytes the traditional cipher keys on: a password the ANSI page holds gives the bytes it
    // gave when passwords were ANSI, so archives encrypted before still open.
    std::string CipherPassword(const std::string& password) const;

private:
    bool utf8_;
};

std::string WithSlashes(std::string name);
std::string WithBackslashes(std::string name);
// The last component of a path with either separator.
std::string LastComponent(const std::string& path);
// The part before the last separator, with that separator; empty when there is none.
std::string FolderPart(const std::string& path);
using platform::AppendBackslash;
bool IsAbsolutePath(const std::string& path);

// Splits an entry's name into the folder and file components to write below the destination.
// False when the name could leave the destination or name something other than a plain file:
// empty, a leading separator, a drive letter or any colon, a ".." component (or one of dots and
// spaces only, which Windows trims to ".."), a reserved device name (CON, NUL, COM1, LPT1 ...,
// also with an extension), or characters Windows forbids in names.
bool SplitSafeName(const std::string& name, std::vector<std::string>& components);
bool IsReservedDeviceName(const std::string& component);

}  // namespace engines
