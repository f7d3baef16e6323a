// The buffered copy between streams.
#include "zipformat/CopyBytes.h"

#include "platform/Platform.h"

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
        const int32_t got = from.Read(buffer.data(), block);
        if (got <= 0) {
            result.readShort = true;
            break;
        }
        const int32_t written = to.Write(buffer.data(), got);
        if (written > 0) result.copied += written;
        if (written != got) {
            result.writeShort = true;
            break;
        }
        if (blockCopied) blockCopied();
    }
    return result;
}

CopyResult CopyBytes(platform::Stream& from, platform::Stream& to, int64_t count) {
    std::vector<uint8_t> buffer(static_cast<size_t>(count < kOwnBufferSize ? (count > 0 ? count : 1) : kOwnBufferSize));
    return CopyBytes(from, to, count, buffer);
}

}  // namespace zip
