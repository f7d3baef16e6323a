// The OEM (437) and ANSI (1252) code pages as byte tables, for the host build, which has no system conversion.
#pragma once

#include <cstdint>
#include <string>

namespace platform::codepages {

// What a character without a counterpart becomes; not '?', which file specs read as a wildcard.
constexpr char kReplacement = '_';

extern const uint16_t kOemToUnicode[256];
extern const uint16_t kAnsiToUnicode[256];
extern const uint8_t kOemToAnsi[256];
extern const uint8_t kAnsiToOem[256];

}  // namespace platform::codepages
