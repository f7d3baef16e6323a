// Worker threads that run tasks in the order they were queued, while the calling thread waits
// for the ones it needs.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
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

}  // namespace engines
