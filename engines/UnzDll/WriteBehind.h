// Files made and written on a thread of their own while the extraction goes on to the next entry.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engines/common/WorkerPool.h"
#include "platform/Files.h"
#include "platform/Time.h"

namespace engines {

// A tree of small files is mostly the system's work of making, writing, dating and closing each:
// given bytes already decoded whole and checked, that work runs here beside the calling thread's
// checks and callbacks. One thread, in the order the files were given, so that a full disk stops
// the files after it just as it stops an extraction (none of them is begun).
class WriteBehind {
public:
    struct Result {
        std::string name;  // the entry's shown name
        bool written = false;
        bool notTried = false;  // given after a file the disk was full for
        platform::Failure failure;
    };

    // `tempPrefix`: of the file made aside when the target's own name cannot be made new.
    explicit WriteBehind(std::string tempPrefix);
    // Files given and not begun are dropped; the one being written is finished.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Whether another file should wait until the first given is done: the bytes held are bounded.
    bool Full() const;
    bool Empty() const { return jobs_.Empty(); }
    bool FrontDone();
    // Makes `target` (which does not exist) and writes `pieces` into it.
    void Give(std::string name, std::string target, std::deque<std::vector<uint8_t>> pieces,
              platform::LocalTime modified);
    // The result of the first file given, waiting for it.
    Result TakeFront();

private:
    static constexpr size_t kMostFiles = 64;
    static constexpr int64_t kMostBytes = 8 << 20;

    struct Job {
        std::string target;
        std::deque<std::vector<uint8_t>> pieces;
        platform::LocalTime modified;
        int64_t bytes = 0;
        Result result;
        bool done = false;  // guarded by mutex_
        WorkerPool::Ticket ticket;
    };
    void Write(Job& job);
    bool MakeFile(Job& job);

    std::string tempPrefix_;
    std::mutex mutex_;  // guards stopped_ and the jobs' results; outlives the thread
    bool stopped_ = false;
    OrderedJobs<Job> jobs_{1, [this](Job& job, unsigned) { Write(job); }};
};

}  // namespace engines
