// Block-parallel deflate: the calling thread reads and delivers in order, workers compress.
#include "engines/common/BlockDeflate.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "engines/common/Codec.h"
#include "engines/common/WorkerPool.h"
#include "platform/Files.h"

namespace engines {
namespace {

// One block: the dictionary bytes that precede it, then its own bytes, and what became of them.
struct Job {
    std::vector<uint8_t> input;
    size_t dictionary = 0;
    bool last = false;
    std::vector<uint8_t> output;
    uint32_t crc = 0;
    std::string error;
    WorkerPool::Ticket ticket;

    const uint8_t* Data() const { return input.data() + dictionary; }
    size_t Length() const { return input.size() - dictionary; }
};

// Errors become the job's text: nothing may escape a worker thread. A worker's deflater is made
// on its first block.
void Compress(Job& job, int level, std::optional<Deflater>& deflater) {
    try {
        if (!deflater) deflater.emplace(level);
        deflater->Reset();
        if (job.dictionary > 0) deflater->SetDictionary(job.input.data(), job.dictionary);
        job.output.reserve(job.Length() / 2);
        deflater->CompressBlock(job.Data(), job.Length(), job.last, job.output);
        job.crc = UpdateCrc(0, job.Data(), job.Length());
    } catch (const std::exception& error) {
        job.error = error.what();
    }
}

// Reads until `count` bytes have come or the source has no more.
size_t Fill(const BlockSource& read, uint8_t* bytes, size_t count) {
    size_t filled = 0;
    while (filled < count) {
        const int32_t got = read(bytes + filled, static_cast<int32_t>(count - filled));
        if (got <= 0) break;
        filled += static_cast<size_t>(got);
    }
    return filled;
}

// The next block, primed with the last bytes of the one before it (none for the first).
std::unique_ptr<Job> ReadJob(const BlockSource& read, const Job* previous, size_t blockSize) {
    auto job = std::make_unique<Job>();
    if (previous) {
        const size_t dictionary = std::min(previous->Length(), BlockDeflater::kDictionarySize);
        const uint8_t* end = previous->Data() + previous->Length();
        job->input.assign(end - dictionary, end);
        job->dictionary = dictionary;
    }
    job->input.resize(job->dictionary + blockSize);
    job->input.resize(job->dictionary + Fill(read, job->input.data() + job->dictionary, blockSize));
    return job;
}

}  // namespace

BlockDeflater::BlockDeflater(int level, unsigned workers, size_t blockSize)
    : level_(level), workers_(workers), blockSize_(std::max(blockSize, kDictionarySize)) {}

BlockDeflateResult BlockDeflater::Run(const BlockSource& read, const BlockSink& write) const {
    BlockDeflateResult result;
    std::deque<std::unique_ptr<Job>> inFlight;  // before the pool: its threads end before the jobs go
    std::vector<std::optional<Deflater>> deflaters(std::max(workers_, 1u));  // one per worker, or the inline one
    std::optional<WorkerPool> pool;
    // Two blocks per worker keep each busy while the calling thread reads and writes.
    const size_t limit = 2 * static_cast<size_t>(workers_) + 1;

    // Hands the oldest block to the sink once it is compressed; false when the sink stops.
    auto deliver = [&]() {
        Job& job = *inFlight.front();
        if (pool) pool->Wait(job.ticket);
        if (!job.error.empty()) throw platform::FileError(job.error);
        result.crc = CombineCrc(result.crc, job.crc, static_cast<int64_t>(job.Length()));
        result.size += static_cast<int64_t>(job.Length());
        result.compressed += static_cast<int64_t>(job.output.size());
        const bool going = write(job.output, static_cast<uint32_t>(job.Length()));
        inFlight.pop_front();
        return going;
    };

    std::unique_ptr<Job> job = ReadJob(read, nullptr, blockSize_);
    while (job) {
        std::unique_ptr<Job> next;
        // Only a full block can have a successor; the one read after it may still be empty.
        if (job->Length() == blockSize_) {
            next = ReadJob(read, job.get(), blockSize_);
            if (next->Length() == 0) next.reset();
        }
        job->last = !next;
        // Data of one block is not worth starting threads for.
        if (!pool && workers_ > 0 && next) pool.emplace(workers_);
        inFlight.push_back(std::move(job));
        Job& queued = *inFlight.back();
        if (pool) {
            pool->Submit(queued.ticket, [&](unsigned worker) { Compress(queued, level_, deflaters[worker]); });
        } else {
            Compress(queued, level_, deflaters[0]);
        }
        while (inFlight.size() >= limit || (!next && !inFlight.empty())) {
            if (!deliver()) return result;
        }
        job = std::move(next);
    }
    result.completed = true;
    return result;
}

}  // namespace engines
