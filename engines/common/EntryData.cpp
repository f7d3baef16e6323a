// The password trial and the data stream of one entry.
#include "engines/common/EntryData.h"

#include <algorithm>
#include <optional>

namespace engines {
namespace {

constexpr int32_t kChunk = 65536;
constexpr uint32_t kTrialBytes = 4096;

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

    std::vector<uint8_t> input(kChunk);
    std::vector<uint8_t> output;
    uint32_t crc = 0;
    int64_t size = 0;
    while (remaining > 0) {
        const int32_t want = static_cast<int32_t>(std::min<int64_t>(remaining, kChunk));
        const int32_t got = archive.Read(input.data(), want);
        if (got <= 0) return DataResult::Damaged;
        remaining -= got;
        if (cipher) cipher->Decrypt(input.data(), static_cast<size_t>(got));
        output.clear();
        if (inflater) {
            if (!inflater->Decompress(input.data(), static_cast<size_t>(got), output)) return DataResult::Damaged;
        } else {
            output.assign(input.begin(), input.begin() + got);
        }
        crc = UpdateCrc(crc, output.data(), output.size());
        size += static_cast<int64_t>(output.size());
        const int32_t count = static_cast<int32_t>(output.size());
        if (count > 0 && out.Write(output.data(), count) != count) return DataResult::WriteError;
        if (!progress(output.size())) return DataResult::Cancelled;
    }
    if (inflater && !inflater->Finished()) return DataResult::Damaged;
    return crc == entry.Crc() && size == entry.Size() ? DataResult::Good : DataResult::Damaged;
}

}  // namespace engines
