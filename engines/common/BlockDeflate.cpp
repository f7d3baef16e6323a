// Block-parallel deflate: the calling thread reads and delivers in order, workers compress.
#include "engines/common/BlockDeflate.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engines/common/Codec.h"
#include "platform/Platform.h"

namespace engines {
namespace {

// One block: the dictionary bytes that precede it, then its own bytes, and what became of them.
struct Job {
    std::vector<uint8_t> input;
    size_t dictionary = 0;
    bool last = false;
    std::vector<uint8_t> output;
    uint32_t crc = 0;
    bool done = false;
    std::string error;

    const uint8_t* Data() const { return input.data() + dictionary; }
    size_t Length() const { return input.size() - dictionary; }
};

// Errors become the job's text: nothing may escape a worker thread.
void Compress(Job& job, Deflater& deflater) {
    try {
        deflater.Reset();
        if (job.dictionary > 0) deflater.SetDictionary(job.input.data(), job.dictionary);
        job.output.reserve(job.Length() / 2);
        deflater.CompressBlock(job.Data(), job.Length(), job.last, job.output);
        job.crc = UpdateCrc(0, job.Data(), job.Length());
    } catch (const std::exception& error) {
        job.error = error.what();
    }
}

// Worker threads that take jobs in the order they were queued.
class WorkerPool {
public:
    WorkerPool(int level, unsigned workers) : level_(level) {
        for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
    }
    ~WorkerPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void Submit(Job& job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(&job);
        }
        changed_.notify_all();
    }

    void WaitFor(const Job& job) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return job.done; });
    }

private:
    void Work() {
        std::optional<Deflater> deflater;
        std::string failure;
        try {
            deflater.emplace(level_);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        for (;;) {
            Job* job = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
                if (stopping_) return;
                job = queue_.front();
                queue_.pop_front();
            }
            if (deflater) {
                Compress(*job, *deflater);
            } else {
                job->error = failure;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                job->done = true;
            }
            changed_.notify_all();
        }
    }

    const int level_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job*> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

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
    std::optional<Deflater> inline_;
    std::optional<WorkerPool> pool;
    // Two blocks per worker keep each busy while the calling thread reads and writes.
    const size_t limit = 2 * static_cast<size_t>(workers_) + 1;

    // Hands the oldest block to the sink once it is compressed; false when the sink stops.
    auto deliver = [&]() {
        Job& job = *inFlight.front();
        if (pool) pool->WaitFor(job);
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
        if (!pool && !inline_) {
            if (workers_ > 0 && next) {
                pool.emplace(level_, workers_);
            } else {
                inline_.emplace(level_);
            }
        }
        inFlight.push_back(std::move(job));
        if (pool) {
            pool->Submit(*inFlight.back());
        } else {
            Compress(*inFlight.back(), *inline_);
            inFlight.back()->done = true;
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
