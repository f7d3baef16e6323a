// Writing behind the extraction: one thread makes the files whose bytes are decoded and checked.
#include "engines/UnzDll/WriteBehind.h"

#include <optional>

#include "engines/common/TempFile.h"
#include "engines/common/Text.h"

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
        // Made under its own name, or aside and renamed when that name cannot be made new.
        std::optional<TempFile> made(std::in_place, TempFile::AtTarget{}, job.target);
        if (!made->Valid()) made.emplace(std::initializer_list<std::string>{FolderPart(job.target)}, tempPrefix_);
        if (made->Valid()) {
            written = true;
            for (const std::vector<uint8_t>& piece : job.pieces) {
                const int32_t length = static_cast<int32_t>(piece.size());
                if (made->Stream().Write(piece.data(), length) != length) {
                    written = false;
                    break;
                }
            }
            if (written) made->Stream().SetModified(job.modified);
            written = written && made->MoveTo(job.target);
        }
        if (!written) job.result.failure = platform::LastFailure();
    } catch (const std::exception& failure) {
        written = false;
        job.result.failure.reason = failure.what();
    }
    job.pieces.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    job.result.written = written;
    job.done = true;
    if (job.result.failure.diskFull) stopped_ = true;
}

}  // namespace engines
