// Reading one entry's data, shared by every extractor: the password trial and the stream that
// decrypts, inflates and checks the data on its way out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engines/common/Codec.h"
#include "engines/common/ArchiveDirectory.h"

namespace engines {

// What a password is tried against: the encryption header and the first bytes of the data.
struct PasswordTrial {
    uint8_t header[ZipCipher::kHeaderSize] = {};
    uint8_t check = 0;
    bool deflated = false;
    std::vector<uint8_t> start;

    bool Opens(const std::string& password) const;
};

// Reads what a trial needs from the entry whose data begins at `dataAt`; false when it cannot be read.
bool ReadPasswordTrial(platform::Stream& archive, const Entry& entry, int64_t dataAt, PasswordTrial& trial);

// Makes every folder of the first `count` of `components` below `destination` (which ends in a
// backslash); false when one cannot be made.
bool MakeEntryFolders(const std::string& destination, const std::vector<std::string>& components, size_t count);
// The components of a safe name joined with backslashes, as the path below the destination.
std::string JoinComponents(const std::vector<std::string>& components);

// Longer: the data runs past the size the archive declares (a ZIP bomb does); nothing past that
// size was written.
enum class DataResult { Good, Damaged, Longer, WriteError, Cancelled };

// Writes the entry's data, decrypted with `password` when the entry is encrypted and inflated when
// deflated, to `out`. `progress` hears of every piece written and answers false to cancel.
// Damaged when the data cannot be read or inflated, or its size or CRC differs from the entry's.
DataResult CopyEntryData(platform::Stream& archive, const Entry& entry, int64_t dataAt, const std::string& password,
                         platform::Stream& out, const std::function<bool(size_t)>& progress);

}  // namespace engines
