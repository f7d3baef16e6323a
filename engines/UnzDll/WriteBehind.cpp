// Writing behind the extraction: one thread makes the files whose bytes are decoded and checked.
#include "engines/UnzDll/WriteBehind.h"

#include "engines/common/TempFile.h"

namespace engines {

WriteBehind::WriteBehind(std::string tempPrefix) : tempPrefix_(std::move(tempPrefix)) {}

WriteBehind::~WriteBehind() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
}

bool WriteBehind::Full() const { return jobs_.Size() >= kMostFiles || jobs_.HeldBytes() >= kMostBytes; }

bool WriteBehind::FrontDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !jobs_.Empty() && jobs_.Front().done;
}

void WriteBehind::Give(std::string name, std::string target, std::deque<std::vector<uint8_t>> pieces,
                       platform::LocalTime modified) {
    auto job = std::make_unique<Job>();
    job->result.name = std::move(name);
    job->target = std::move(target);
    for (const std::vector<uint8_t>& piece : pieces) job->bytes += static_cast<int64_t>(piece.size());
    job->pieces = std::move(pieces);
    job->modified = modified;
    jobs_.Give(std::move(job));
}

WriteBehind::Result WriteBehind::TakeFront() { return std::move(jobs_.TakeFront()->result); }

// False, with the failure noted and nothing left behind, when the file cannot be made or written.
bool WriteBehind::MakeFile(Job& job) {
    TempFile made(TempFile::ForTarget{}, job.target, tempPrefix_, true);
    bool written = made.Valid();
    for (const std::vector<uint8_t>& piece : job.pieces) {
        const int32_t length = static_cast<int32_t>(piece.size());
        written = written && made.Stream().Write(piece.data(), length) == length;
    }
    if (written) made.Stream().SetModified(job.modified);
    written = written && made.MoveTo(job.target);
    if (!written) job.result.failure = platform::LastFailure();
    return written;
}

// Runs on the thread: nothing may escape it, so a failure becomes the file's result.
void WriteBehind::Write(Job& job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) {
            job.result.notTried = job.done = true;
            return;
        }
    }
    bool written = false;
    try {
        written = MakeFile(job);
    } catch (const std::exception& failure) {
        job.result.failure.reason = failure.what();
    }
    job.pieces.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    job.result.written = written;
    job.done = true;
    if (job.result.failure.diskFull) stopped_ = true;
}

}  // namespace engines
