// Where the ZIP readers take their bytes from: a file stream, or memory (tests, the fuzzer, the stub).
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {
class Stream;
}

namespace zip {

// Readers ask for bytes at an offset and never rely on a current position, so a source can be
// shared with a writer that seeks around it.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int64_t Size() = 0;
    // Up to `count` bytes from `offset`; fewer at the end or on an error, never more.
    virtual int32_t ReadAt(int64_t offset, void* buffer, int32_t count) = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int64_t Size() override { return static_cast<int64_t>(size_); }
    int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override;

private:
    const uint8_t* data_;
    size_t size_;
};

// A seekable stream; each read seeks first.
class StreamSource final : public ByteSource {
public:
    explicit StreamSource(platform::Stream& stream) : stream_(stream) {}
    int64_t Size() override;
    int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override;

private:
    platform::Stream& stream_;
};

}  // namespace zip
