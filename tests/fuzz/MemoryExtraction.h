// Extracting every entry of a directory the engines read into memory, checking what comes out.
#pragma once

#include <string>

#include "engines/common/ArchiveDirectory.h"

// Decodes each entry the engines would extract (with the fuzz password where it is encrypted)
// twice, whole and in small pieces, and aborts when a decoder gives more than the entry declares,
// calls bytes good that do not match its CRC, or the two decodings differ. Returns the counts.
std::string ExtractIntoMemory(platform::Stream& archive, const engines::Directory& directory);
