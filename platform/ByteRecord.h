// A fixed-size binary record image with little-endian field access at named offsets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

// Records are never overlaid on file or memory bytes: every field is read and written explicitly,
// so alignment and host byte order never matter.
template <size_t N>
class ByteRecord {
public:
    static constexpr size_t kSize = N;

    uint8_t U8(size_t offset) const { return bytes_[offset]; }
    uint16_t U16(size_t offset) const {
        return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
    }
    uint32_t U32(size_t offset) const {
        return static_cast<uint32_t>(bytes_[offset]) | (static_cast<uint32_t>(bytes_[offset + 1]) << 8) |
               (static_cast<uint32_t>(bytes_[offset + 2]) << 16) |
               (static_cast<uint32_t>(bytes_[offset + 3]) << 24);
    }
    uint64_t U64(size_t offset) const { return U32(offset) | (static_cast<uint64_t>(U32(offset + 4)) << 32); }
    void SetU8(size_t offset, uint8_t value) { bytes_[offset] = value; }
    void SetU16(size_t offset, uint16_t value) {
        bytes_[offset] = static_cast<uint8_t>(value);
        bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
    }
    void SetU32(size_t offset, uint32_t value) {
        for (size_t i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    void SetU64(size_t offset, uint64_t value) {
        for (size_t i = 0; i < 8; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }

    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    static constexpr int32_t size() { return static_cast<int32_t>(N); }
    const std::array<uint8_t, N>& bytes() const { return bytes_; }
    bool operator==(const ByteRecord& other) const { return bytes_ == other.bytes_; }

private:
    std::array<uint8_t, N> bytes_{};
};

}  // namespace platform
