// Reading one entry's data, shared by every extractor: the password trial, the folders of the
// targets, and the decoder that decrypts, inflates and checks the data on its way out.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engines/common/Codec.h"
#include "engines/common/ArchiveDirectory.h"

namespace engines {

// Unauthentic: the password passed the AES check value, but the authentication code of the
// encrypted data does not match: the data is damaged, or (one time in 65536) the password is wrong.
enum class TrialResult { Opens, Wrong, Unauthentic };

// What a password is tried against: the encryption header and the first bytes of the data; for an
// AES entry the salt and check value, and all the encrypted data, which is authenticated before a
// password is accepted, so nothing is ever decoded from data that fails.
struct PasswordTrial {
    uint8_t header[ZipCipher::kHeaderSize] = {};
    uint8_t check = 0;
    bool deflated = false;
    std::vector<uint8_t> start;
    // AES entries only.
    uint8_t aesStrength = 0;
    std::vector<uint8_t> aesHeader;  // salt and check value
    platform::Stream* archive = nullptr;
    int64_t encryptedAt = 0;
    int64_t encryptedLength = 0;

    TrialResult Try(const std::string& password) const;
    bool Opens(const std::string& password) const { return Try(password) == TrialResult::Opens; }

private:
    TrialResult TryAes(const std::string& password) const;
};

// Reads what a trial needs from the entry whose data begins at `dataAt`; false when it cannot be read.
bool ReadPasswordTrial(platform::Stream& archive, const Entry& entry, int64_t dataAt, PasswordTrial& trial);

// Makes the folders of entries below a destination (which ends in a backslash), remembering those
// it made or found, so that each is looked at once per extraction.
class FolderMaker {
public:
    explicit FolderMaker(std::string destination) : destination_(std::move(destination)) {}
    // Makes every folder of the first `count` of `components`; false when one cannot be made.
    bool Make(const std::vector<std::string>& components, size_t count);
    // Whether this extraction made the folder (given with its trailing backslash): then it holds
    // nothing but what this extraction put there.
    bool Made(const std::string& folder) const { return made_.count(folder) != 0; }
    // Whether `path` (no trailing backslash) is a folder made or found.
    bool Knows(const std::string& path) const { return known_.count(path) != 0; }

private:
    std::string destination_;
    std::unordered_set<std::string> known_;
    std::unordered_set<std::string> made_;
};

// The components of a safe name joined with backslashes, as the path below the destination.
std::string JoinComponents(const std::vector<std::string>& components);

// Longer: the data runs past the size the archive declares (a ZIP bomb does); nothing past that
// size was written. Unauthentic: an AES entry's data does not match its authentication code.
enum class DataResult { Good, Damaged, Longer, Unauthentic, WriteError, Cancelled };

// Takes the plain bytes of an entry as they come out; anything but Good stops the decoding.
using PlainSink = std::function<DataResult(const uint8_t* bytes, size_t count)>;

// Decrypts (with the password given), inflates and checks one entry's stored data, fed in pieces
// of any size; the plain bytes go to the sink, never one past the declared size plus one.
class EntryDecoder {
public:
    // `inflater`, when given, is reset and used instead of a new one (a worker keeps one).
    EntryDecoder(const Entry& entry, const std::string& password, Inflater* inflater = nullptr);
    // Takes the next stored bytes, decrypting them in place.
    DataResult Feed(uint8_t* bytes, size_t count, const PlainSink& sink);
    // After the last stored bytes: Good when the data ended where it should, at its size and CRC.
    DataResult Finish() const;
    // Reads all the entry's stored bytes from `dataAt` on through `input` (grown to a piece when
    // smaller), feeds them and finishes.
    DataResult DecodeFrom(platform::Stream& archive, int64_t dataAt, std::vector<uint8_t>& input,
                          const PlainSink& sink);

private:
    // Takes an AES entry's salt, check value, encrypted bytes and code in turn; leaves in `count`
    // the encrypted bytes, now decrypted, that begin at `bytes`.
    DataResult FeedAes(uint8_t*& bytes, size_t& count);
    DataResult Take(const uint8_t* bytes, size_t count, const PlainSink& sink);
    // Bytes the entry may still give; past what size_t holds it is capped (an entry of 4 GiB and
    // more in the 32-bit builds), never wrapped.
    size_t Room() const {
        const int64_t left = std::max<int64_t>(entry_.Size() - size_, 0);
        return static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(SIZE_MAX / 2)));
    }

    const Entry& entry_;
    std::string password_;
    std::optional<ZipCipher> cipher_;
    struct AesState;
    std::shared_ptr<AesState> aes_;
    size_t headerLeft_ = 0;  // bytes of the encryption header still to come
    std::optional<Inflater> ownInflater_;
    Inflater* inflater_ = nullptr;  // none for stored data
    std::vector<uint8_t> output_;
    uint32_t crc_ = 0;
    int64_t size_ = 0;
};

// Writes the entry's data, decoded, to `out`, reading it from `dataAt` on. `progress` hears of
// every piece written and answers false to cancel.
DataResult CopyEntryData(platform::Stream& archive, const Entry& entry, int64_t dataAt, const std::string& password,
                         platform::Stream& out, const std::function<bool(size_t)>& progress);

}  // namespace engines
