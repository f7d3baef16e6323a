// Worker threads that run tasks in the order they were queued, while the calling thread waits
// for the ones it needs.
#pragma once

#include <condition_variable>
#include <deque>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace engines {

class WorkerPool {
public:
    // Marks one task: done once it has run. It must outlive the pool or the wait for it.
    class Ticket {
        friend class WorkerPool;
        bool done_ = false;
    };
    // Gets the number of the worker that runs it, for state each worker keeps. Must not throw.
    using Task = std::function<void(unsigned worker)>;

    explicit WorkerPool(unsigned workers);
    // Tasks not yet started are dropped; running ones are waited for.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned Workers() const { return static_cast<unsigned>(threads_.size()); }
    void Submit(Ticket& ticket, Task task);
    void Wait(const Ticket& ticket);

private:
    void Work(unsigned worker);

    std::mutex mutex_;
    std::condition_variable queued_;    // workers wait here for tasks
    std::condition_variable finished_;  // the calling thread waits here for its task
    std::deque<std::pair<Ticket*, Task>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Jobs run on a pool of their own and taken back in the order they were given, with the bytes each
// holds counted until then: a window of work ahead of the thread that writes. A Job has a
// `WorkerPool::Ticket ticket` and the `int64_t bytes` it holds.
template <class Job>
class OrderedJobs {
public:
    // Works on one job on a worker thread; must not throw.
    using Run = std::function<void(Job& job, unsigned worker)>;

    OrderedJobs(unsigned workers, Run run) : run_(std::move(run)), pool_(workers) {}

    size_t Size() const { return jobs_.size(); }
    bool Empty() const { return jobs_.empty(); }
    int64_t HeldBytes() const { return held_; }
    Job& Front() { return *jobs_.front(); }

    void Give(std::unique_ptr<Job> job) {
        held_ += job->bytes;
        jobs_.push_back(std::move(job));
        Job& given = *jobs_.back();
        pool_.Submit(given.ticket, [this, &given](unsigned worker) { run_(given, worker); });
    }
    // The first job given, waiting until it has run.
    std::unique_ptr<Job> TakeFront() {
        pool_.Wait(jobs_.front()->ticket);
        std::unique_ptr<Job> job = std::move(jobs_.front());
        jobs_.pop_front();
        held_ -= job->bytes;
        return job;
    }

private:
    Run run_;
    std::deque<std::unique_ptr<Job>> jobs_;  // before the pool, which ends first
    int64_t held_ = 0;
    WorkerPool pool_;
};

}  // namespace engines
