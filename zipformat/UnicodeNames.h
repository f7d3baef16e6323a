// Which text an entry's name and comment are, as UTF-8, and how a name is stored: one rule for every
// reader and writer of names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zip {

// Info-ZIP's blocks that carry the UTF-8 form of a name or comment stored in a code page: a
// version byte, the CRC-32 of the stored text, then the UTF-8 text.
constexpr uint16_t kUnicodePathExtraId = 0x7075;
constexpr uint16_t kUnicodeCommentExtraId = 0x6375;

// The text of such a block, valid UTF-8, when the block has version 1 and the CRC-32 of `stored`:
// a block whose CRC does not match was left behind by a program that changed the stored text
// without knowing the block, and is ignored. A path block is also ignored when its name has a
// separator or ".." component more than the stored name, so it cannot reach further than the
// stored name does.
bool UnicodeExtraText(std::string_view extra, uint16_t id, std::string_view stored, std::string& utf8);

// The entry's name or comment as UTF-8: flagged UTF-8 (bit 11), the stored bytes made valid;
// otherwise the matching Unicode block's text; otherwise the stored bytes in the archive's code
// page, OEM or ANSI as its first header decided.
std::string EntryNameUtf8(std::string_view stored, uint16_t flags, std::string_view extra, bool archiveOemNames);
std::string EntryCommentUtf8(std::string_view stored, uint16_t flags, std::string_view extra, bool archiveOemNames);

// The archive comment has no flag. Text that is valid UTF-8 and not plain ASCII is taken as UTF-8
// (what StoredTextFor writes for a comment the OEM page cannot hold, and what Unix writers store);
// anything else is in the archive's code page. Code-page text rarely forms valid UTF-8: a letter
// from C2..F4 would have to be followed by the right number of bytes from 80..BF.
std::string ArchiveCommentUtf8(std::string_view stored, bool archiveOemNames);

// What a writer stores for one text (the archive comment, which has no flag, takes only the bytes):
// the OEM bytes when the OEM page holds the text
// exactly (what was stored before names could be Unicode, so old readers see the same), otherwise
// the UTF-8 bytes with the entry's UTF-8 flag set.
struct StoredText {
    std::string bytes;
    bool utf8 = false;  // set kFlagUtf8 in the entry's general purpose flags
};
StoredText StoredTextFor(std::string_view utf8);

// An entry's name and comment share the one flag: both are stored in the OEM page when it holds
// both exactly, otherwise both as UTF-8 with the flag, so that neither is read in the wrong way.
struct StoredEntryText {
    std::string name;
    std::string comment;
    bool utf8 = false;
};
StoredEntryText StoredEntryTextFor(std::string_view nameUtf8, std::string_view commentUtf8);

// Info-ZIP's path block for a name stored as `stored`: version 1, the CRC-32 of the stored bytes,
// the UTF-8 name. Readers that take every MS-DOS entry's name as OEM text, even one flagged
// UTF-8, read the name from it.
std::string UnicodePathBlock(std::string_view stored, std::string_view utf8);

// The archive comment as stored: in the archive's code page when that holds it exactly and
// ArchiveCommentUtf8 reads those bytes back in that page; otherwise as UTF-8, which it reads as
// UTF-8. Either way the comment reads back as written.
std::string StoredArchiveCommentFor(std::string_view utf8, bool archiveOemNames);
// A new comment for an entry stored without the UTF-8 flag, in the archive's code page: a
// character the page lacks becomes '_', as before names could be Unicode, since the name beside it
// keeps the entry's flag.
std::string CodePageCommentFor(std::string_view utf8, bool archiveOemNames);

}  // namespace zip
