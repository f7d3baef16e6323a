// Decoding ahead: workers read, decrypt, inflate and check; the writer takes the pieces in order.
#include "engines/UnzDll/Readahead.h"

#include <algorithm>

#include "platform/Files.h"

namespace engines {

Readahead::Readahead(platform::Stream& archive, const std::vector<const Entry*>& entries, unsigned workers)
    : archive_(archive), entries_(entries), inflaters_(workers), inputs_(workers) {
    if (workers > 0) pool_.emplace(workers);
}

// A worker waiting for the writer to take its pieces must stop before the pool can end.
Readahead::~Readahead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::unique_ptr<Job>& job : jobs_) job->abandoned = true;
    }
    handed_.notify_all();
}

// An AES entry is authenticated whole by the writer's password trial before any of it is decoded,
// so the writer streams it itself.
bool Readahead::Decodable(const Entry& entry) {
    return entry.MethodSupported() && !entry.IsAes() && entry.dataStart >= 0;
}

// The most an entry's job holds at once: its plain pieces and a worker's input.
int64_t Readahead::Cost(const Entry& entry) {
    return std::min<int64_t>(entry.Size(), kPiece * kPiecesHeld) + std::min<int64_t>(entry.CompressedSize(), kPiece);
}

void Readahead::Advance(size_t index, const std::vector<std::string>& passwords) {
    if (!pool_) return;
    while (!jobs_.empty() && jobs_.front()->index < index) Drop();
    next_ = std::max(next_, index);
    // Refilled in batches once half used: workers that wake for one small file at a time spend
    // more on waking than on the file.
    if (jobs_.size() > kMostEntries / 2) return;
    while (next_ < entries_.size() && jobs_.size() < kMostEntries) {
        const Entry& entry = *entries_[next_];
        if (Decodable(entry)) {
            if (!jobs_.empty() && held_ + Cost(entry) > kWindowBytes) break;
            Queue(next_, passwords);
        }
        ++next_;
    }
}

std::string Readahead::PasswordOf(size_t index) const {
    return jobs_.empty() || jobs_.front()->index != index ? std::string() : jobs_.front()->password;
}

bool Readahead::Decodes(size_t index, const std::string& password) {
    if (jobs_.empty() || jobs_.front()->index != index) return false;
    if (jobs_.front()->password == password) return true;
    Drop();
    return false;
}

bool Readahead::HeldWholeAndSound() {
    Job& job = *jobs_.front();
    std::unique_lock<std::mutex> lock(mutex_);
    handed_.wait(lock, [&] { return job.finished || job.pieces.size() >= kPiecesHeld; });
    return job.finished && job.result == DataResult::Good && job.error.empty();
}

std::deque<std::vector<uint8_t>> Readahead::TakeHeld() {
    Job& job = *jobs_.front();
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<std::vector<uint8_t>> taken = std::move(job.pieces);
    job.pieces.clear();
    return taken;
}

DataResult Readahead::WriteTo(platform::Stream& out, const std::function<bool(size_t)>& progress) {
    Job& job = *jobs_.front();
    for (;;) {
        std::vector<uint8_t> piece;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            handed_.wait(lock, [&] { return !job.pieces.empty() || job.finished; });
            if (job.pieces.empty()) break;
            piece = std::move(job.pieces.front());
            job.pieces.pop_front();
        }
        handed_.notify_all();
        const int32_t length = static_cast<int32_t>(piece.size());
        if (out.Write(piece.data(), length) != length) return DataResult::WriteError;
        if (!progress(piece.size())) return DataResult::Cancelled;
    }
    if (!job.error.empty()) platform::RaiseFileError(job.error);
    return job.result;
}

// An entry whose password is not known yet is left to the writer, which may ask for it.
void Readahead::Queue(size_t index, const std::vector<std::string>& passwords) {
    const Entry& entry = *entries_[index];
    auto job = std::make_unique<Job>();
    job->index = index;
    if (entry.IsEncrypted() && !FindPassword(entry, passwords, job->password)) return;
    job->cost = Cost(entry);
    held_ += job->cost;
    jobs_.push_back(std::move(job));
    Job& queued = *jobs_.back();
    pool_->Submit(queued.ticket, [this, &queued](unsigned worker) { Decode(queued, worker); });
}

// The same order of trial as the writer's, so an entry is decoded with the password it would choose.
bool Readahead::FindPassword(const Entry& entry, const std::vector<std::string>& passwords, std::string& password) {
    PasswordTrial trial;
    if (!ReadPasswordTrial(archive_, entry, entry.dataStart, trial)) return false;
    for (const std::string& candidate : passwords) {
        if (!candidate.empty() && trial.Opens(candidate)) {
            password = candidate;
            return true;
        }
    }
    return false;
}

// Runs on a worker: nothing may escape it, so a failure becomes the job's error.
void Readahead::Decode(Job& job, unsigned worker) {
    DataResult result = DataResult::Cancelled;
    std::string error;
    try {
        result = DecodeStored(job, worker);
    } catch (const std::exception& failure) {
        error = failure.what();
    } catch (...) {
        error = "The decompressor failed.";
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job.result = result;
        job.error = error;
        job.finished = true;
    }
    handed_.notify_all();
}

DataResult Readahead::DecodeStored(Job& job, unsigned worker) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (job.abandoned) return DataResult::Cancelled;
    }
    const Entry& entry = *entries_[job.index];
    if (!inflaters_[worker]) inflaters_[worker].emplace();
    EntryDecoder decoder(entry, job.password, &*inflaters_[worker]);
    int64_t planned = entry.Size();  // plain bytes not yet given a piece; one more shows a lie
    std::vector<uint8_t> piece;
    const PlainSink keep = [&](const uint8_t* bytes, size_t count) {
        while (count > 0) {
            if (piece.capacity() == 0) {
                // Pieces no larger than the entry: a small file's one piece costs no large allocation.
                piece.reserve(static_cast<size_t>(std::clamp<int64_t>(planned + 1, 1, kPiece)));
            }
            const size_t taken = std::min(count, kPiece - piece.size());
            piece.insert(piece.end(), bytes, bytes + taken);
            bytes += taken;
            count -= taken;
            planned -= static_cast<int64_t>(taken);
            if (piece.size() == kPiece && !Hand(job, piece)) return DataResult::Cancelled;
        }
        return DataResult::Good;
    };
    const DataResult result = decoder.DecodeFrom(archive_, entry.dataStart, inputs_[worker], keep);
    // What was decoded before damage is written too, as the streaming path writes it.
    if (result != DataResult::Cancelled && !Hand(job, piece)) return DataResult::Cancelled;
    return result;
}

// Gives the writer a piece, waiting while it has enough in hand; false when the job was dropped.
bool Readahead::Hand(Job& job, std::vector<uint8_t>& piece) {
    if (piece.empty()) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    handed_.wait(lock, [&] { return job.abandoned || job.pieces.size() < kPiecesHeld; });
    if (job.abandoned) return false;
    job.pieces.push_back(std::move(piece));
    piece = std::vector<uint8_t>();
    lock.unlock();
    handed_.notify_all();
    return true;
}

void Readahead::Drop() {
    Job& job = *jobs_.front();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job.abandoned = true;
    }
    handed_.notify_all();
    pool_->Wait(job.ticket);
    held_ -= job.cost;
    jobs_.pop_front();
}

}  // namespace engines
