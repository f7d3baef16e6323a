// The password trial, the targets' folders and the decoding of one entry's data.
#include "engines/common/EntryData.h"

#include <algorithm>
#include <array>
#include <optional>

#ifdef LARK_STRONG_ENCRYPTION
#include "engines/common/Aes.h"
#endif

namespace engines {
namespace {

// Large pieces keep the calls into the file system and zlib few. The buffers are made once per
// entry, no larger than the entry needs, so a small file does not pay for clearing a large one.
constexpr int32_t kInputChunk = 256 * 1024;
constexpr size_t kOutputChunk = 256 * 1024;
constexpr size_t kSmallestOutputChunk = 4096;
constexpr uint32_t kTrialBytes = 4096;

}  // namespace

#ifdef LARK_STRONG_ENCRYPTION
// An AES entry's data: salt and check value, the encrypted bytes, the authentication code.
struct EntryDecoder::AesState {
    uint8_t strength = 0;
    bool crcKept = true;  // AE-1; AE-2 stores no CRC
    size_t headerSize = 0;
    std::vector<uint8_t> header;
    int64_t encryptedLeft = 0;
    std::optional<AesCtr> ctr;
    std::optional<AesMac> mac;
    std::vector<uint8_t> code;
};
#else
struct EntryDecoder::AesState {};
#endif

bool FolderMaker::Make(const std::vector<std::string>& components, size_t count) {
    std::string path = destination_;
    for (size_t i = 0; i < count; ++i) {
        path += components[i];
        if (!known_.count(path)) {
            if (!platform::DirectoryExists(path)) {
                if (!platform::CreateDirectory(path)) return false;
                made_.insert(path + '\\');
            }
            known_.insert(path);
        }
        path += '\\';
    }
    return true;
}

std::string JoinComponents(const std::vector<std::string>& components) {
    std::string joined;
    for (const std::string& component : components) {
        if (!joined.empty()) joined += '\\';
        joined += component;
    }
    return joined;
}

TrialResult PasswordTrial::Try(const std::string& password) const {
    if (aesStrength != 0) return TryAes(password);
    ZipCipher cipher(password);
    if (!cipher.CheckHeader(header, check)) return TrialResult::Wrong;
    if (!deflated || start.empty()) return TrialResult::Opens;
    // The check byte lets one wrong password in 256 through; for deflated data the start of the
    // stream, decrypted with it, tells almost all of those apart, as garbage seldom inflates.
    std::vector<uint8_t> trial = start;
    cipher.Decrypt(trial.data(), trial.size());
    std::vector<uint8_t> ignored;
    return Inflater().Decompress(trial.data(), trial.size(), ignored) ? TrialResult::Opens : TrialResult::Wrong;
}

TrialResult PasswordTrial::TryAes(const std::string& password) const {
#ifdef LARK_STRONG_ENCRYPTION
    const AesKeys keys = DeriveAesKeys(password, aesHeader.data(), aesStrength);
    if (!std::equal(keys.verifier.begin(), keys.verifier.end(), aesHeader.end() - keys.verifier.size())) {
        return TrialResult::Wrong;
    }
    AesMac mac(keys.macKey);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(encryptedLength, 1, kInputChunk)));
    for (int64_t at = encryptedAt, left = encryptedLength; left > 0;) {
        const int32_t want = static_cast<int32_t>(std::min<int64_t>(left, static_cast<int64_t>(buffer.size())));
        const int32_t got = archive->ReadAt(at, buffer.data(), want);
        if (got <= 0) return TrialResult::Unauthentic;
        mac.Update(buffer.data(), static_cast<size_t>(got));
        at += got;
        left -= got;
    }
    std::array<uint8_t, zip::kAesMacLength> stored{};
    const int32_t codeLength = static_cast<int32_t>(stored.size());
    if (archive->ReadAt(encryptedAt + encryptedLength, stored.data(), codeLength) != codeLength) {
        return TrialResult::Unauthentic;
    }
    return mac.Code() == stored ? TrialResult::Opens : TrialResult::Unauthentic;
#else
    (void)password;
    return TrialResult::Wrong;
#endif
}

bool ReadPasswordTrial(platform::Stream& archive, const Entry& entry, int64_t dataAt, PasswordTrial& trial) {
    if (entry.IsAes()) {
        const uint8_t strength = entry.AesBlock().Strength();
        const size_t headerSize = zip::AesSaltLength(strength) + zip::kAesVerifierLength;
        if (entry.CompressedSize() < headerSize + zip::kAesMacLength) return false;
        trial.aesStrength = strength;
        trial.aesHeader.resize(headerSize);
        trial.archive = &archive;
        trial.encryptedAt = dataAt + static_cast<int64_t>(headerSize);
        trial.encryptedLength = static_cast<int64_t>(entry.CompressedSize()) - static_cast<int64_t>(headerSize) -
                                static_cast<int64_t>(zip::kAesMacLength);
        const int32_t length = static_cast<int32_t>(headerSize);
        return archive.ReadAt(dataAt, trial.aesHeader.data(), length) == length;
    }
    LocalHeader local;
    if (entry.CompressedSize() < ZipCipher::kHeaderSize ||
        archive.ReadAt(entry.localOffset, local.data(), local.size()) != local.size() ||
        archive.ReadAt(dataAt, trial.header, sizeof trial.header) != static_cast<int32_t>(sizeof trial.header)) {
        return false;
    }
    // With a data descriptor the CRC was not known when the header was made: the time stands in.
    trial.check = CheckByte(entry.Flags(), entry.Crc(), local.U16(LocalHeader::kTime));
    trial.deflated = entry.Method() == kMethodDeflated;
    trial.start.resize(
        static_cast<size_t>(std::min<int64_t>(entry.CompressedSize() - ZipCipher::kHeaderSize, kTrialBytes)));
    const int32_t length = static_cast<int32_t>(trial.start.size());
    return archive.ReadAt(dataAt + ZipCipher::kHeaderSize, trial.start.data(), length) == length;
}

EntryDecoder::EntryDecoder(const Entry& entry, const std::string& password, Inflater* inflater)
    : entry_(entry), password_(password) {
    if (entry.IsAes()) {
        aes_ = std::make_shared<AesState>();
#ifdef LARK_STRONG_ENCRYPTION
        const zip::AesExtraBlock block = entry.AesBlock();
        aes_->strength = block.Strength();
        aes_->crcKept = block.VendorVersion() == zip::AesExtraBlock::kAe1;
        aes_->headerSize = zip::AesSaltLength(aes_->strength) + zip::kAesVerifierLength;
        aes_->encryptedLeft = static_cast<int64_t>(entry.CompressedSize()) - static_cast<int64_t>(aes_->headerSize) -
                              static_cast<int64_t>(zip::kAesMacLength);
#endif
    } else if (entry.IsEncrypted()) {
        cipher_.emplace(password);
        headerLeft_ = ZipCipher::kHeaderSize;
    }
    if (entry.DataMethod() != kMethodDeflated) return;
    if (inflater) {
        inflater->Reset();
        inflater_ = inflater;
    } else {
        inflater_ = &ownInflater_.emplace();
    }
    output_.resize(static_cast<size_t>(
        std::clamp<int64_t>(entry.Size(), static_cast<int64_t>(kSmallestOutputChunk), static_cast<int64_t>(kOutputChunk))));
}

DataResult EntryDecoder::Take(const uint8_t* bytes, size_t count, const PlainSink& sink) {
    crc_ = UpdateCrc(crc_, bytes, count);
    size_ += static_cast<int64_t>(count);
    return count > 0 ? sink(bytes, count) : DataResult::Good;
}

DataResult EntryDecoder::FeedAes(uint8_t*& bytes, size_t& count) {
#ifdef LARK_STRONG_ENCRYPTION
    AesState& aes = *aes_;
    const size_t header = std::min(count, aes.headerSize - aes.header.size());
    aes.header.insert(aes.header.end(), bytes, bytes + header);
    bytes += header;
    count -= header;
    if (aes.header.size() < aes.headerSize) {
        count = 0;
        return DataResult::Good;
    }
    if (!aes.ctr) {
        if (aes.encryptedLeft < 0) return DataResult::Damaged;
        const AesKeys keys = DeriveAesKeys(password_, aes.header.data(), aes.strength);
        if (!std::equal(keys.verifier.begin(), keys.verifier.end(), aes.header.end() - keys.verifier.size())) {
            return DataResult::Unauthentic;
        }
        aes.ctr.emplace(keys.cipherKey);
        aes.mac.emplace(keys.macKey);
    }
    const size_t encrypted = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), aes.encryptedLeft));
    aes.mac->Update(bytes, encrypted);
    aes.ctr->Apply(bytes, encrypted);
    aes.encryptedLeft -= static_cast<int64_t>(encrypted);
    const size_t code = std::min(count - encrypted, zip::kAesMacLength - aes.code.size());
    aes.code.insert(aes.code.end(), bytes + encrypted, bytes + encrypted + code);
    count = encrypted;
    return DataResult::Good;
#else
    (void)bytes;
    (void)count;
    return DataResult::Damaged;
#endif
}

DataResult EntryDecoder::Feed(uint8_t* bytes, size_t count, const PlainSink& sink) {
    if (aes_) {
        const DataResult fed = FeedAes(bytes, count);
        if (fed != DataResult::Good) return fed;
    } else if (cipher_) {
        cipher_->Decrypt(bytes, count);
        const size_t header = std::min(headerLeft_, count);
        headerLeft_ -= header;
        bytes += header;
        count -= header;
    }
    if (count == 0) return DataResult::Good;
    if (!inflater_) return count > Room() ? DataResult::Longer : Take(bytes, count, sink);
    inflater_->Feed(bytes, count);
    for (;;) {
        // One byte past the declared size is enough to know the entry lies: a bomb stops there.
        const size_t room = std::min(output_.size(), Room() + 1);
        const int64_t inflated = inflater_->Drain(output_.data(), room);
        if (inflated < 0) return DataResult::Damaged;
        if (static_cast<size_t>(inflated) > Room()) return DataResult::Longer;
        const DataResult taken = Take(output_.data(), static_cast<size_t>(inflated), sink);
        if (taken != DataResult::Good) return taken;
        if (inflated < static_cast<int64_t>(room)) return DataResult::Good;
    }
}

DataResult EntryDecoder::Finish() const {
    bool crcKept = true;
#ifdef LARK_STRONG_ENCRYPTION
    if (aes_) {
        if (!aes_->mac || aes_->encryptedLeft != 0 || aes_->code.size() != zip::kAesMacLength ||
            !std::equal(aes_->code.begin(), aes_->code.end(), aes_->mac->Code().begin())) {
            return DataResult::Unauthentic;
        }
        crcKept = aes_->crcKept;
    }
#endif
    if (headerLeft_ > 0 || (inflater_ && !inflater_->Finished())) return DataResult::Damaged;
    return (!crcKept || crc_ == entry_.Crc()) && size_ == entry_.Size() ? DataResult::Good : DataResult::Damaged;
}

// Read at offsets, never through the stream's position, which workers reading ahead share.
DataResult EntryDecoder::DecodeFrom(platform::Stream& archive, int64_t dataAt, std::vector<uint8_t>& input,
                                    const PlainSink& sink) {
    int64_t remaining = entry_.CompressedSize();
    const size_t needed = static_cast<size_t>(std::min<int64_t>(remaining, kInputChunk));
    if (input.size() < needed) input.resize(needed);
    for (int64_t at = dataAt; remaining > 0;) {
        const int32_t want = static_cast<int32_t>(std::min<int64_t>(remaining, static_cast<int64_t>(input.size())));
        const int32_t got = archive.ReadAt(at, input.data(), want);
        if (got <= 0) return DataResult::Damaged;
        at += got;
        remaining -= got;
        const DataResult fed = Feed(input.data(), static_cast<size_t>(got), sink);
        if (fed != DataResult::Good) return fed;
    }
    return Finish();
}

DataResult CopyEntryData(platform::Stream& archive, const Entry& entry, int64_t dataAt, const std::string& password,
                         platform::Stream& out, const std::function<bool(size_t)>& progress) {
    EntryDecoder decoder(entry, password);
    const PlainSink write = [&](const uint8_t* bytes, size_t count) {
        const int32_t length = static_cast<int32_t>(count);
        if (out.Write(bytes, length) != length) return DataResult::WriteError;
        return progress(count) ? DataResult::Good : DataResult::Cancelled;
    };
    std::vector<uint8_t> input;
    return decoder.DecodeFrom(archive, dataAt, input, write);
}

}  // namespace engines
