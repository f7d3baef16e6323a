// CRC-32, deflate and inflate through zlib, and the traditional PKWARE cipher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engines {

// Output grows in steps of this size; raw deflate streams (negative window bits) have no zlib
// header or trailer, as ZIP entries hold them.
constexpr size_t kCodecOutputChunk = 65536;
constexpr int kRawWindowBits = -15;

uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t count);
// The CRC of two pieces one after the other, from the CRCs of each and the second one's length.
uint32_t CombineCrc(uint32_t first, uint32_t second, int64_t secondLength);

// Raw deflate (no zlib header), as ZIP entries hold it.
class Deflater {
public:
    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Starts a new stream with the same settings, keeping the memory of the last one.
    void Reset();
    // Compresses `count` bytes (the last call with `finish`) and appends the output to `out`.
    void Compress(const uint8_t* bytes, size_t count, bool finish, std::vector<uint8_t>& out);
    // Lets the next stream's matches reach back into `count` bytes that come before it; only
    // right after Reset.
    void SetDictionary(const uint8_t* bytes, size_t count);
    // Compresses one block of a stream cut into pieces: ended on a byte boundary so the next
    // piece can follow it directly, or, for the `last`, finishing the stream.
    void CompressBlock(const uint8_t* bytes, size_t count, bool last, std::vector<uint8_t>& out);

private:
    void Run(const uint8_t* bytes, size_t count, int flush, std::vector<uint8_t>& out);

    struct State;
    std::unique_ptr<State> state_;
};

class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Decompresses `count` bytes and appends the output to `out`; false when the data is damaged.
    bool Decompress(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out);
    // The same into a buffer of the caller's, which is neither grown nor cleared: Feed gives `count`
    // more bytes (kept by the caller until drained), Drain writes up to `capacity` bytes of their
    // output to `out` and returns how many, fewer once the bytes fed are used up or the stream ended,
    // -1 when the data is damaged.
    void Feed(const uint8_t* bytes, size_t count);
    int64_t Drain(uint8_t* out, size_t capacity);
    bool Finished() const { return finished_; }
    // Starts a new stream, keeping the memory of the last one.
    void Reset();

private:
    struct State;
    std::unique_ptr<State> state_;
    bool finished_ = false;
};

// The bytes a password drives the cipher with: its ANSI code page form, as every archive encrypted
// so far was keyed, whatever form the text arrived in (UTF-8).
std::string KeyedPassword(const std::string& text);

// The traditional PKWARE cipher: three keys driven by the password and then by the plain text.
class ZipCipher {
public:
    static constexpr size_t kHeaderSize = 12;

    explicit ZipCipher(const std::string& password);
    void Encrypt(uint8_t* bytes, size_t count);
    void Decrypt(uint8_t* bytes, size_t count);

    // The 12 bytes in front of encrypted data: 11 random bytes and the check byte, encrypted.
    std::vector<uint8_t> MakeHeader(uint8_t checkByte);
    // Decrypts a header and tells whether its last byte matches `checkByte`.
    bool CheckHeader(const uint8_t* header, uint8_t checkByte);

private:
    uint8_t KeyByte() const;
    void UpdateKeys(uint8_t plain);

    uint32_t keys_[3];
};

// The byte a header is checked against: the CRC's high byte, or the DOS time's high byte for an
// entry whose CRC comes after its data (bit 3).
inline uint8_t CheckByte(uint16_t flags, uint32_t crc, uint16_t dosTime) {
    return (flags & 0x0008) ? static_cast<uint8_t>(dosTime >> 8) : static_cast<uint8_t>(crc >> 24);
}

}  // namespace engines
