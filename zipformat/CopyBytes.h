// Moving a range of bytes from one stream to another, a block at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {
class Stream;
}

namespace zip {

struct CopyResult {
    int64_t copied = 0;        // bytes that reached the target
    bool readShort = false;    // the source ended or failed first
    bool writeShort = false;   // the target took fewer bytes than it was given (a full disk)
    bool Whole(int64_t count) const { return copied == count; }
};

// Copies `count` bytes from the source's position to the target's, a buffer's size at a time
// (between files with the kernel's range copy where the host has one), and calls `blockCopied`
// after each block. The buffer is the caller's, so a loop over many
// entries allocates once; its size decides the block size.
CopyResult CopyBytes(platform::Stream& from, platform::Stream& to, int64_t count, std::vector<uint8_t>& buffer,
                     const std::function<void()>& blockCopied = {});
// The same with a buffer of its own, for one-off copies.
CopyResult CopyBytes(platform::Stream& from, platform::Stream& to, int64_t count);

}  // namespace zip
