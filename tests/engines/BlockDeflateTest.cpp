// Block-parallel deflate: one ordinary stream whatever the cuts, the same bytes for any number of workers.
#include <gtest/gtest.h>

#include "engines/common/BlockDeflate.h"
#include "engines/common/Codec.h"

namespace {

using engines::BlockDeflater;

constexpr size_t kBlock = 64 * 1024;

// Words in a repeating but irregular order, so matches cross every cut.
std::vector<uint8_t> Text(size_t size) {
    static const char* const words[] = {"larkspool ", "archive ", "deflate ", "block ", "window ", "zip\r\n"};
    std::vector<uint8_t> bytes;
    uint32_t state = 7;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        for (const char* c = words[(state >> 16) % 6]; *c && bytes.size() < size; ++c) bytes.push_back(*c);
    }
    return bytes;
}

struct Compressed {
    engines::BlockDeflateResult result;
    std::vector<uint8_t> stream;
    uint64_t reported = 0;
};

// Reads hand the data out in pieces that do not line up with the blocks; the sink answers false
// at its `stopAt`th piece.
Compressed Deflate(const std::vector<uint8_t>& data, unsigned workers, int stopAt = -1) {
    Compressed out;
    size_t at = 0;
    int pieces = 0;
    out.result = BlockDeflater(9, workers, kBlock)
                     .Run(
                         [&](uint8_t* bytes, int32_t count) {
                             const size_t n = std::min<size_t>({data.size() - at, size_t(count), 40000});
                             std::copy(data.begin() + at, data.begin() + at + n, bytes);
                             at += n;
                             return static_cast<int32_t>(n);
                         },
                         [&](std::vector<uint8_t>& piece, uint32_t inputBytes) {
                             out.stream.insert(out.stream.end(), piece.begin(), piece.end());
                             out.reported += inputBytes;
                             return ++pieces != stopAt;
                         });
    return out;
}

TEST(BlockDeflate, EveryCutInflatesToTheInputWithTheSameBytesForAnyWorkers) {
    const size_t sizes[] = {0, 1, kBlock - 1, kBlock, kBlock + 1, 2 * kBlock - 1, 2 * kBlock, 2 * kBlock + 1,
                            7 * kBlock + 12345};
    for (const size_t size : sizes) {
        const std::vector<uint8_t> data = Text(size);
        std::vector<uint8_t> first;
        for (const unsigned workers : {0u, 1u, 2u}) {
            SCOPED_TRACE("size " + std::to_string(size) + ", workers " + std::to_string(workers));
            const Compressed c = Deflate(data, workers);
            ASSERT_TRUE(c.result.completed);
            EXPECT_EQ(c.result.size, static_cast<int64_t>(size));
            EXPECT_EQ(c.reported, size);
            EXPECT_EQ(c.result.compressed, static_cast<int64_t>(c.stream.size()));
            EXPECT_EQ(c.result.crc, engines::UpdateCrc(0, data.data(), data.size()));
            engines::Inflater inflater;
            std::vector<uint8_t> back;
            ASSERT_TRUE(inflater.Decompress(c.stream.data(), c.stream.size(), back));
            EXPECT_TRUE(inflater.Finished()) << "the last block ends the stream";
            EXPECT_TRUE(back == data);
            if (workers == 0) first = c.stream;
            EXPECT_TRUE(c.stream == first) << "the output depends on the number of workers";
        }
    }
}

// Random bytes repeated: each block finds all of its matches in the block before it, so without
// the dictionary every cut would cost a whole repeat.
TEST(BlockDeflate, MatchesReachBackAcrossTheCut) {
    std::vector<uint8_t> repeat(16 * 1024);
    uint32_t state = 99;
    for (uint8_t& byte : repeat) byte = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 23);
    std::vector<uint8_t> data;
    while (data.size() < 16 * kBlock) data.insert(data.end(), repeat.begin(), repeat.end());
    engines::Deflater whole(9);
    std::vector<uint8_t> one;
    whole.Compress(data.data(), data.size(), true, one);
    const Compressed cut = Deflate(data, 2);
    EXPECT_LE(cut.stream.size(), one.size() + 16 * 200) << "a few bytes per cut, not a repeat";
}

TEST(BlockDeflate, SinkStopsItEarly) {
    const std::vector<uint8_t> data = Text(6 * kBlock);
    for (const unsigned workers : {0u, 2u}) {
        const Compressed c = Deflate(data, workers, 2);
        EXPECT_FALSE(c.result.completed);
        EXPECT_EQ(c.reported, 2 * kBlock);
    }
}

}  // namespace
