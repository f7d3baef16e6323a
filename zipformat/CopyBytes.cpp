// The copy between streams, a block at a time, by the platform's fastest way.
#include "zipformat/CopyBytes.h"

#include "platform/Files.h"

namespace zip {
namespace {

constexpr int32_t kOwnBufferSize = 65536;

}  // namespace

CopyResult CopyBytes(platform::Stream& from, platform::Stream& to, int64_t count, std::vector<uint8_t>& buffer,
                     const std::function<void()>& blockCopied) {
    CopyResult result;
    const int64_t bufferSize = static_cast<int64_t>(buffer.size());
    while (result.copied < count) {
        const int32_t block = static_cast<int32_t>(count - result.copied < bufferSize ? count - result.copied : bufferSize);
        const platform::Stream::Copied moved = to.CopyFrom(from, block, buffer);
        result.copied += moved.written;
        if (moved.written < moved.read) {
            result.writeShort = true;
            break;
        }
        if (moved.written > 0 && blockCopied) blockCopied();
        if (moved.read < block) {
            result.readShort = true;
            break;
        }
    }
    return result;
}

CopyResult CopyBytes(platform::Stream& from, platform::Stream& to, int64_t count) {
    std::vector<uint8_t> buffer(static_cast<size_t>(count < kOwnBufferSize ? (count > 0 ? count : 1) : kOwnBufferSize));
    return CopyBytes(from, to, count, buffer);
}

}  // namespace zip
