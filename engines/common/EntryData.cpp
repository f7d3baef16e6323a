// The password trial and the data stream of one entry.
#include "engines/common/EntryData.h"

#include <algorithm>
#include <optional>

namespace engines {
namespace {

// Large pieces keep the calls into the file system and zlib few. The buffers are made once per
// entry, no larger than the entry needs, so a small file does not pay for clearing a large one.
constexpr int32_t kInputChunk = 256 * 1024;
constexpr size_t kOutputChunk = 256 * 1024;
constexpr size_t kSmallestOutputChunk = 4096;
constexpr uint32_t kTrialBytes = 4096;

// The plain bytes of one entry on their way out: counted, summed into the CRC and written.
class PlainOutput {
public:
    PlainOutput(platform::Stream& out, const std::function<bool(size_t)>& progress) : out_(out), progress_(progress) {}

    // Bytes the entry still has room for, by the size it declares.
    size_t Room(const Entry& entry) const { return static_cast<size_t>(std::max<int64_t>(entry.Size() - size_, 0)); }

    DataResult Take(const uint8_t* bytes, size_t count) {
        crc_ = UpdateCrc(crc_, bytes, count);
        size_ += static_cast<int64_t>(count);
        const int32_t length = static_cast<int32_t>(count);
        if (length > 0 && out_.Write(bytes, length) != length) return DataResult::WriteError;
        return progress_(count) ? DataResult::Good : DataResult::Cancelled;
    }
    bool Matches(const Entry& entry) const { return crc_ == entry.Crc() && size_ == entry.Size(); }

private:
    platform::Stream& out_;
    const std::function<bool(size_t)>& progress_;
    uint32_t crc_ = 0;
    int64_t size_ = 0;
};

}  // namespace

bool MakeEntryFolders(const std::string& destination, const std::vector<std::string>& components, size_t count) {
    std::string path = destination;
    for (size_t i = 0; i < count; ++i) {
        path += components[i];
        if (!platform::DirectoryExists(path) && !platform::CreateDirectory(path)) return false;
        path += '\\';
    }
    return true;
}

std::string JoinComponents(const std::vector<std::string>& components) {
    std::string joined;
    for (const std::string& component : components) joined += (joined.empty() ? "" : "\\") + component;
    return joined;
}

bool PasswordTrial::Opens(const std::string& password) const {
    ZipCipher cipher(password);
    if (!cipher.CheckHeader(header, check)) return false;
    if (!deflated || start.empty()) return true;
    // The check byte lets one wrong password in 256 through; for deflated data the start of the
    // stream, decrypted with it, tells almost all of those apart, as garbage seldom inflates.
    std::vector<uint8_t> trial = start;
    cipher.Decrypt(trial.data(), trial.size());
    std::vector<uint8_t> ignored;
    return Inflater().Decompress(trial.data(), trial.size(), ignored);
}

bool ReadPasswordTrial(platform::Stream& archive, const Entry& entry, int64_t dataAt, PasswordTrial& trial) {
    LocalHeader local;
    if (entry.CompressedSize() < ZipCipher::kHeaderSize ||
        archive.Seek(entry.localOffset, platform::Origin::Begin) != entry.localOffset ||
        archive.Read(local.data(), local.size()) != local.size() ||
        archive.Seek(dataAt, platform::Origin::Begin) != dataAt ||
        archive.Read(trial.header, sizeof trial.header) != static_cast<int32_t>(sizeof trial.header)) {
        return false;
    }
    // With a data descriptor the CRC was not known when the header was made: the time stands in.
    trial.check = CheckByte(entry.Flags(), entry.Crc(), local.U16(LocalHeader::kTime));
    trial.deflated = entry.Method() == kMethodDeflated;
    trial.start.resize(
        static_cast<size_t>(std::min<uint32_t>(entry.CompressedSize() - ZipCipher::kHeaderSize, kTrialBytes)));
    return archive.Read(trial.start.data(), static_cast<int32_t>(trial.start.size())) ==
           static_cast<int32_t>(trial.start.size());
}

DataResult CopyEntryData(platform::Stream& archive, const Entry& entry, int64_t dataAt, const std::string& password,
                         platform::Stream& out, const std::function<bool(size_t)>& progress) {
    if (archive.Seek(dataAt, platform::Origin::Begin) != dataAt) return DataResult::Damaged;
    std::optional<ZipCipher> cipher;
    int64_t remaining = entry.CompressedSize();
    if (entry.IsEncrypted()) {
        cipher.emplace(password);
        uint8_t header[ZipCipher::kHeaderSize];
        if (archive.Read(header, sizeof header) != static_cast<int32_t>(sizeof header)) return DataResult::Damaged;
        cipher->Decrypt(header, sizeof header);
        remaining -= ZipCipher::kHeaderSize;
    }
    std::optional<Inflater> inflater;
    if (entry.Method() == kMethodDeflated) inflater.emplace();

    std::vector<uint8_t> input(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(remaining, 0), kInputChunk)));
    std::vector<uint8_t> output(inflater ? std::clamp<size_t>(entry.Size(), kSmallestOutputChunk, kOutputChunk) : 0);
    PlainOutput plain(out, progress);
    while (remaining > 0) {
        const int32_t want = static_cast<int32_t>(std::min<int64_t>(remaining, kInputChunk));
        const int32_t got = archive.Read(input.data(), want);
        if (got <= 0) return DataResult::Damaged;
        remaining -= got;
        if (cipher) cipher->Decrypt(input.data(), static_cast<size_t>(got));
        if (!inflater) {
            if (static_cast<size_t>(got) > plain.Room(entry)) return DataResult::Longer;
            const DataResult taken = plain.Take(input.data(), static_cast<size_t>(got));
            if (taken != DataResult::Good) return taken;
            continue;
        }
        inflater->Feed(input.data(), static_cast<size_t>(got));
        for (;;) {
            // One byte past the declared size is enough to know the entry lies: a bomb stops there.
            const size_t room = std::min(output.size(), plain.Room(entry) + 1);
            const int64_t inflated = inflater->Drain(output.data(), room);
            if (inflated < 0) return DataResult::Damaged;
            if (static_cast<size_t>(inflated) > plain.Room(entry)) return DataResult::Longer;
            const DataResult taken = plain.Take(output.data(), static_cast<size_t>(inflated));
            if (taken != DataResult::Good) return taken;
            if (inflated < static_cast<int64_t>(room)) break;
        }
    }
    if (inflater && !inflater->Finished()) return DataResult::Damaged;
    return plain.Matches(entry) ? DataResult::Good : DataResult::Damaged;
}

}  // namespace engines
