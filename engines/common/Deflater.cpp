// The compressor, apart from the rest of the codec so that a program that only extracts (the
// self-extracting stub) does not carry zlib's deflate.
#include "engines/common/Codec.h"

#include <algorithm>

#include <zlib.h>

#include "platform/Files.h"

namespace engines {
namespace {

constexpr int kMemoryLevel = 8;

}  // namespace

struct Deflater::State {
    z_stream stream{};
};

Deflater::Deflater(int level) : state_(std::make_unique<State>()) {
    if (deflateInit2(&state_->stream, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
        platform::RaiseFileError("The compressor cannot start.");
    }
}

Deflater::~Deflater() { deflateEnd(&state_->stream); }

void Deflater::Reset() { deflateReset(&state_->stream); }

void Deflater::Compress(const uint8_t* bytes, size_t count, bool finish, std::vector<uint8_t>& out) {
    Run(bytes, count, finish ? Z_FINISH : Z_NO_FLUSH, out);
}

void Deflater::SetDictionary(const uint8_t* bytes, size_t count) {
    if (deflateSetDictionary(&state_->stream, bytes, static_cast<uInt>(count)) != Z_OK) {
        platform::RaiseFileError("The compressor cannot start.");
    }
}

void Deflater::CompressBlock(const uint8_t* bytes, size_t count, bool last, std::vector<uint8_t>& out) {
    Run(bytes, count, last ? Z_FINISH : Z_SYNC_FLUSH, out);
}

void Deflater::Run(const uint8_t* bytes, size_t count, int flush, std::vector<uint8_t>& out) {
    z_stream& stream = state_->stream;
    stream.next_in = const_cast<Bytef*>(bytes);
    stream.avail_in = static_cast<uInt>(count);
    // First room for what this input can become, not a whole chunk: filling a chunk for each of
    // many small files costs more than compressing them. What does not fit takes whole chunks.
    size_t chunk = std::min<size_t>(kCodecOutputChunk, deflateBound(&stream, static_cast<uLong>(count)));
    int status = Z_OK;
    do {
        const size_t had = out.size();
        out.resize(had + chunk);
        stream.next_out = out.data() + had;
        stream.avail_out = static_cast<uInt>(chunk);
        status = deflate(&stream, flush);
        out.resize(out.size() - stream.avail_out);
        chunk = kCodecOutputChunk;
    } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
}

}  // namespace engines
