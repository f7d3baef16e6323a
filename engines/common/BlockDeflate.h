// One file's data as one ordinary raw deflate stream, cut into blocks that worker threads compress at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace engines {

// Fills up to `count` bytes and returns how many it gave; 0 only at the end of the data.
using BlockSource = std::function<int32_t(uint8_t* bytes, int32_t count)>;
// Takes the next compressed piece, in stream order, with the number of input bytes it stands
// for; it may change the bytes (encrypt them). False stops the compression (a Cancel).
using BlockSink = std::function<bool(std::vector<uint8_t>& compressed, uint32_t inputBytes)>;

struct BlockDeflateResult {
    bool completed = false;  // false: the sink stopped it
    uint32_t crc = 0;
    int64_t size = 0;
    int64_t compressed = 0;
};

// Each block is primed with the 32 KiB before it, so matches still reach across the cut, and ends
// on a byte boundary (the last one ends the stream). The bytes written depend on the data, the
// level and the block size only, never on the number of workers; 0 workers compresses on the
// calling thread. The calling thread reads and hands the sink its pieces while the workers
// compress; at most a few blocks per worker are held, whatever the data's length.
// Worker failures are thrown on the calling thread as platform::FileError.
class BlockDeflater {
public:
    static constexpr size_t kDictionarySize = 32768;
    static constexpr size_t kDefaultBlockSize = 512 * 1024;

    BlockDeflater(int level, unsigned workers, size_t blockSize = kDefaultBlockSize);
    BlockDeflateResult Run(const BlockSource& read, const BlockSink& write) const;

private:
    int level_;
    unsigned workers_;
    size_t blockSize_;
};

}  // namespace engines
