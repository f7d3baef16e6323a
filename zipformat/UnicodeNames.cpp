// The reading and writing rule for Unicode names and comments.
#include "zipformat/UnicodeNames.h"

#include <zlib.h>

#include "zipformat/CodePageText.h"
#include "zipformat/Utf8.h"
#include "zipformat/ZipRecords.h"

namespace zip {
namespace {

constexpr uint8_t kUnicodeExtraVersion = 1;
constexpr size_t kUnicodeExtraHeader = 5;  // version byte and CRC-32

uint32_t Crc32Of(std::string_view text) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

uint32_t U32At(std::string_view bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

struct PathParts {
    int separators = 0;
    int parents = 0;  // ".." components
};

// Counted on bytes, which suits the stored name in any code page and UTF-8 alike: no byte of
// 80..FF is a separator or a dot in either.
PathParts PartsOf(std::string_view path) {
    PathParts parts;
    size_t componentStart = 0;
    for (size_t at = 0; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/' && path[at] != '\\') continue;
        if (path.substr(componentStart, at - componentStart) == "..") ++parts.parents;
        if (at < path.size()) ++parts.separators;
        componentStart = at + 1;
    }
    return parts;
}

bool ReachesFurther(std::string_view path, std::string_view stored) {
    const PathParts pathParts = PartsOf(path);
    const PathParts storedParts = PartsOf(stored);
    return pathParts.separators > storedParts.separators || pathParts.parents > storedParts.parents;
}

CodePage ArchiveCodePage(bool archiveOemNames) { return archiveOemNames ? CodePage::Oem : CodePage::Ansi; }

std::string EntryTextUtf8(std::string_view stored, uint16_t flags, std::string_view extra, bool archiveOemNames,
                          uint16_t unicodeId) {
    if ((flags & kFlagUtf8) != 0) return ValidUtf8(stored);
    std::string unicode;
    if (UnicodeExtraText(extra, unicodeId, stored, unicode)) return unicode;
    return CodePageToUtf8(ArchiveCodePage(archiveOemNames), stored);
}

}  // namespace

bool UnicodeExtraText(std::string_view extra, uint16_t id, std::string_view stored, std::string& utf8) {
    std::string_view block;
    // A block with no text would stand for no name at all.
    if (!FindExtraBlock(extra, id, block) || block.size() <= kUnicodeExtraHeader) return false;
    if (static_cast<uint8_t>(block[0]) != kUnicodeExtraVersion || U32At(block, 1) != Crc32Of(stored)) return false;
    const std::string_view text = block.substr(kUnicodeExtraHeader);
    if (id == kUnicodePathExtraId && ReachesFurther(text, stored)) return false;
    utf8 = ValidUtf8(text);
    return true;
}

std::string EntryNameUtf8(std::string_view stored, uint16_t flags, std::string_view extra, bool archiveOemNames) {
    return EntryTextUtf8(stored, flags, extra, archiveOemNames, kUnicodePathExtraId);
}

std::string EntryCommentUtf8(std::string_view stored, uint16_t flags, std::string_view extra, bool archiveOemNames) {
    return EntryTextUtf8(stored, flags, extra, archiveOemNames, kUnicodeCommentExtraId);
}

std::string ArchiveCommentUtf8(std::string_view stored, bool archiveOemNames) {
    bool ascii = true;
    for (const char c : stored) ascii = ascii && static_cast<uint8_t>(c) < 0x80;
    if (!ascii && IsValidUtf8(stored)) return std::string(stored);
    return CodePageToUtf8(ArchiveCodePage(archiveOemNames), stored);
}

StoredText StoredTextFor(std::string_view utf8) {
    StoredText stored;
    if (Utf8ToCodePage(CodePage::Oem, utf8, stored.bytes)) return stored;
    stored.bytes = ValidUtf8(utf8);
    stored.utf8 = true;
    return stored;
}

StoredEntryText StoredEntryTextFor(std::string_view nameUtf8, std::string_view commentUtf8) {
    StoredEntryText stored;
    if (Utf8ToCodePage(CodePage::Oem, nameUtf8, stored.name) &&
        Utf8ToCodePage(CodePage::Oem, commentUtf8, stored.comment)) {
        return stored;
    }
    stored.name = ValidUtf8(nameUtf8);
    stored.comment = ValidUtf8(commentUtf8);
    stored.utf8 = true;
    return stored;
}

std::string UnicodePathBlock(std::string_view stored, std::string_view utf8) {
    const size_t size = kUnicodeExtraHeader + utf8.size();
    std::string block;
    for (const uint32_t value : {uint32_t{kUnicodePathExtraId}, static_cast<uint32_t>(size)}) {
        block += static_cast<char>(value & 0xFF);
        block += static_cast<char>(value >> 8);
    }
    block += static_cast<char>(kUnicodeExtraVersion);
    const uint32_t crc = Crc32Of(stored);
    for (int i = 0; i < 4; ++i) block += static_cast<char>(crc >> (8 * i));
    return block.append(utf8);
}

std::string StoredArchiveCommentFor(std::string_view utf8, bool archiveOemNames) {
    std::string bytes;
    const bool readsBack = Utf8ToCodePage(ArchiveCodePage(archiveOemNames), utf8, bytes) &&
                           ArchiveCommentUtf8(bytes, archiveOemNames) == utf8;
    if (readsBack) return bytes;
    return ValidUtf8(utf8);
}

std::string CodePageCommentFor(std::string_view utf8, bool archiveOemNames) {
    const CodePage page = ArchiveCodePage(archiveOemNames);
    std::string bytes;
    std::string character;
    std::string held;
    for (size_t at = 0; at < utf8.size();) {
        character.clear();
        AppendUtf8(character, NextCodePoint(utf8, at));
        bytes += Utf8ToCodePage(page, character, held) ? held : std::string("_");
    }
    return bytes;
}

}  // namespace zip
