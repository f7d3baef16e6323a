// Reading at an offset from memory and from a stream.
#include "zipformat/ByteSource.h"

#include <cstring>

#include "platform/Files.h"

namespace zip {

int32_t MemorySource::ReadAt(int64_t offset, void* buffer, int32_t count) {
    if (offset < 0 || count <= 0 || offset >= static_cast<int64_t>(size_)) return 0;
    const int64_t available = static_cast<int64_t>(size_) - offset;
    const int32_t taken = available < count ? static_cast<int32_t>(available) : count;
    std::memcpy(buffer, data_ + offset, static_cast<size_t>(taken));
    return taken;
}

int64_t StreamSource::Size() { return stream_.Size(); }

int32_t StreamSource::ReadAt(int64_t offset, void* buffer, int32_t count) {
    if (offset < 0 || count <= 0 || stream_.Seek(offset, platform::Origin::Begin) != offset) return 0;
    const int32_t got = stream_.Read(buffer, count);
    return got > 0 ? got : 0;
}

}  // namespace zip
