// The archive's name rule and the conversions it chooses.
#include "zipformat/NameRule.h"

#include "platform/Text.h"

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

std::string DecodeText(TextEncoding encoding, const std::string& stored) {
    if (stored.empty()) return stored;
    switch (encoding) {
    case TextEncoding::Oem: return platform::OemToAnsi(stored);
    case TextEncoding::Utf8: return platform::Utf8ToAnsi(stored);
    case TextEncoding::AsStored: break;
    }
    return stored;
}

std::string EncodeText(TextEncoding encoding, const std::string& text) {
    if (text.empty()) return text;
    switch (encoding) {
    case TextEncoding::Oem: return platform::AnsiToOem(text);
    case TextEncoding::Utf8: return platform::AnsiToUtf8(text);
    case TextEncoding::AsStored: break;
    }
    return text;
}

}  // namespace zip
