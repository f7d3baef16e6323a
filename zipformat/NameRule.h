// How an archive's names and comments are read: OEM text, UTF-8 or as stored, one rule for all readers.
#pragma once

#include <string>

#include "zipformat/ZipRecords.h"

namespace zip {

// The archive decides once, from its first central header, whether its names and comments are
// OEM text: made on MS-DOS or OS/2 HPFS, or on NTFS by format version 5.0. Every entry follows
// that decision, whatever host made it, so a name read here is the name the list shows.
bool ArchiveUsesOemNames(const CentralFileHeader& first);

enum class TextEncoding { AsStored, Oem, Utf8 };

// An entry marked as UTF-8 (bit 11) is UTF-8 whatever its host says; otherwise the archive's
// decision holds. The archive comment has no header: it follows the archive's decision.
TextEncoding EntryTextEncoding(const CentralFileHeader& header, bool archiveOemNames);
inline TextEncoding ArchiveTextEncoding(bool archiveOemNames) {
    return archiveOemNames ? TextEncoding::Oem : TextEncoding::AsStored;
}

// Stored bytes to the ANSI code page, and back.
std::string DecodeText(TextEncoding encoding, const std::string& stored);
std::string EncodeText(TextEncoding encoding, const std::string& text);

}  // namespace zip
