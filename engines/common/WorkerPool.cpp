// The engines' worker threads.
#include "engines/common/WorkerPool.h"

namespace engines {

WorkerPool::WorkerPool(unsigned workers) {
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this, i] { Work(i); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::Submit(Ticket& ticket, Task task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ticket.done_ = false;
        queue_.emplace_back(&ticket, std::move(task));
    }
    queued_.notify_one();
}

void WorkerPool::Wait(const Ticket& ticket) {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return ticket.done_; });
}

void WorkerPool::Work(unsigned worker) {
    for (;;) {
        std::pair<Ticket*, Task> next;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        next.second(worker);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            next.first->done_ = true;
        }
        finished_.notify_all();
    }
}

}  // namespace engines
