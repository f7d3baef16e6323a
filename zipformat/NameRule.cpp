// The archive's name rule and the conversions it chooses.
#include "zipformat/NameRule.h"

#include "platform/Text.h"
#include "zipformat/Utf8.h"

namespace zip {

bool ArchiveUsesOemNames(const CentralFileHeader& first) {
    const uint8_t host = first.HostSystem();
    return host == kHostMsDos || host == kHostOs2 || (host == kHostNtfs && first.SpecVersion() == kNtfsOemSpecVersion);
}

// Writers that mark an entry as UTF-8 (Python's zipfile does for every name beyond ASCII) mean it
// whatever the host system byte says; shown as stored, such names would be unreadable.
TextEncoding EntryTextEncoding(const CentralFileHeader& header, bool archiveOemNames) {
    if ((header.Flags() & kFlagUtf8) != 0) return TextEncoding::Utf8;
    return ArchiveTextEncoding(archiveOemNames);
}

// The program's text is UTF-8; names not marked as UTF-8 are in one of the two code pages.
std::string DecodeText(TextEncoding encoding, const std::string& stored) {
    if (stored.empty()) return stored;
    switch (encoding) {
    case TextEncoding::Oem: return platform::AnsiToUtf8(platform::OemToAnsi(stored));
    case TextEncoding::Utf8: return ValidUtf8(stored);
    case TextEncoding::AsStored: break;
    }
    return platform::AnsiToUtf8(stored);
}

std::string EncodeText(TextEncoding encoding, const std::string& text) {
    if (text.empty()) return text;
    switch (encoding) {
    case TextEncoding::Oem: return platform::AnsiToOem(platform::Utf8ToAnsi(text));
    case TextEncoding::Utf8: return text;
    case TextEncoding::AsStored: break;
    }
    return platform::Utf8ToAnsi(text);
}

}  // namespace zip
