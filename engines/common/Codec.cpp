// zlib behind the engines' inflate and CRC; the traditional cipher on zlib's CRC table.
#include "engines/common/Codec.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <stdexcept>

#include "platform/Files.h"
#include "platform/Text.h"

namespace engines {
namespace {

const z_crc_t* CrcTable() { return get_crc_table(); }

uint32_t CrcByte(uint32_t crc, uint8_t byte) { return CrcTable()[(crc ^ byte) & 0xFF] ^ (crc >> 8); }

}  // namespace

uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t count) {
    return static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(count)));
}

uint32_t CombineCrc(uint32_t first, uint32_t second, int64_t secondLength) {
    return static_cast<uint32_t>(crc32_combine(first, second, static_cast<z_off_t>(secondLength)));
}

struct Inflater::State {
    z_stream stream{};
};

Inflater::Inflater() : state_(std::make_unique<State>()) {
    if (inflateInit2(&state_->stream, kRawWindowBits) != Z_OK)
        platform::RaiseFileError("The decompressor cannot start.");
}

Inflater::~Inflater() { inflateEnd(&state_->stream); }

bool Inflater::Decompress(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
    Feed(bytes, count);
    for (;;) {
        const size_t had = out.size();
        out.resize(had + kCodecOutputChunk);
        const int64_t got = Drain(out.data() + had, kCodecOutputChunk);
        out.resize(had + static_cast<size_t>(std::max<int64_t>(got, 0)));
        if (got < static_cast<int64_t>(kCodecOutputChunk)) return got >= 0;
    }
}

void Inflater::Reset() {
    inflateReset(&state_->stream);
    finished_ = false;
}

void Inflater::Feed(const uint8_t* bytes, size_t count) {
    state_->stream.next_in = const_cast<Bytef*>(bytes);
    state_->stream.avail_in = static_cast<uInt>(count);
}

int64_t Inflater::Drain(uint8_t* out, size_t capacity) {
    if (finished_) return 0;
    z_stream& stream = state_->stream;
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(capacity);
    // inflate stops only when the input or the room for output runs out, or at the stream's end.
    const int status = inflate(&stream, Z_NO_FLUSH);
    if (status == Z_STREAM_END) {
        finished_ = true;
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
        return -1;
    }
    return static_cast<int64_t>(capacity - stream.avail_out);
}

std::string KeyedPassword(const std::string& text) { return platform::Utf8ToAnsi(text); }

ZipCipher::ZipCipher(const std::string& password) : keys_{0x12345678, 0x23456789, 0x34567890} {
    for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

uint8_t ZipCipher::KeyByte() const {
    const uint32_t temp = (keys_[2] | 2) & 0xFFFF;
    return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void ZipCipher::UpdateKeys(uint8_t plain) {
    keys_[0] = CrcByte(keys_[0], plain);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = CrcByte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

void ZipCipher::Encrypt(uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t plain = bytes[i];
        bytes[i] = plain ^ KeyByte();
        UpdateKeys(plain);
    }
}

void ZipCipher::Decrypt(uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t plain = bytes[i] ^ KeyByte();
        bytes[i] = plain;
        UpdateKeys(plain);
    }
}

std::vector<uint8_t> ZipCipher::MakeHeader(uint8_t checkByte) {
    // The random bytes only hide the keys' start from a known-plain-text attack; the clock seeds them.
    static std::mt19937 random(
        static_cast<uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    std::vector<uint8_t> header(kHeaderSize);
    for (size_t i = 0; i + 1 < kHeaderSize; ++i) header[i] = static_cast<uint8_t>(random());
    header[kHeaderSize - 1] = checkByte;
    Encrypt(header.data(), header.size());
    return header;
}

bool ZipCipher::CheckHeader(const uint8_t* header, uint8_t checkByte) {
    uint8_t plain[kHeaderSize];
    std::copy(header, header + kHeaderSize, plain);
    Decrypt(plain, kHeaderSize);
    return plain[kHeaderSize - 1] == checkByte;
}

}  // namespace engines
