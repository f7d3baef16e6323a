// Entries decoded ahead of the writer on worker threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engines/common/ArchiveDirectory.h"
#include "engines/common/Codec.h"
#include "engines/common/EntryData.h"
#include "engines/common/WorkerPool.h"

namespace engines {

// Decodes the entries an extraction chose on worker threads, a bounded window ahead of the calling
// thread, which alone writes the files and talks to the callback. Workers read the stored data at
// its offset, decrypt, inflate and check it, and hand the plain bytes over in pieces; a large entry
// waits while the writer is a few pieces behind, so memory stays bounded whatever the sizes. Only
// what needs no word with the user is decoded ahead: an entry whose password no known one opens
// waits for its turn and is streamed by the writer, as is everything when there are no workers.
class Readahead {
public:
    static constexpr size_t kPiece = 256 * 1024;
    static constexpr size_t kPiecesHeld = 8;             // per entry
    static constexpr int64_t kWindowBytes = 12 << 20;    // the most the window's entries may hold
    static constexpr size_t kMostEntries = 64;

    Readahead(platform::Stream& archive, const std::vector<const Entry*>& entries, unsigned workers);
    ~Readahead();
    Readahead(const Readahead&) = delete;
    Readahead& operator=(const Readahead&) = delete;

    // Moves the window to begin at entries[index], dropping what the writer passed by, and queues
    // what fits; `passwords` are those that may open encrypted entries.
    void Advance(size_t index, const std::vector<std::string>& passwords);
    // The password entries[index] is decoded ahead with, chosen from those Advance was given;
    // empty when it is not decoded ahead or not encrypted.
    std::string PasswordOf(size_t index) const;
    // Whether entries[index] is decoded ahead with `password` (ignored when it is not encrypted).
    // When it is not, whatever was decoded is dropped and the writer streams the entry itself.
    bool Decodes(size_t index, const std::string& password);
    // Writes the plain data of the entry Decodes() accepted to `out`, as it comes; `progress`
    // hears of every piece and answers false to cancel. Throws the platform's FileError when a
    // worker could not decode at all (no memory for the decompressor).
    DataResult WriteTo(platform::Stream& out, const std::function<bool(size_t)>& progress);
    // Whether the entry Decodes() accepted is decoded to its end and sound, waiting until it is or
    // holds as many pieces as it may (a larger entry is never held whole).
    bool HeldWholeAndSound();
    // The plain bytes of the entry Decodes() accepted, once HeldWholeAndSound(): taken whole.
    std::deque<std::vector<uint8_t>> TakeHeld();

private:
    struct Job {
        size_t index = 0;
        int64_t cost = 0;
        std::string password;
        std::deque<std::vector<uint8_t>> pieces;
        bool finished = false;
        bool abandoned = false;
        DataResult result = DataResult::Damaged;
        std::string error;
        WorkerPool::Ticket ticket;
    };

    static bool Decodable(const Entry& entry);
    static int64_t Cost(const Entry& entry);
    void Queue(size_t index, const std::vector<std::string>& passwords);
    bool FindPassword(const Entry& entry, const std::vector<std::string>& passwords, std::string& password);
    void Decode(Job& job, unsigned worker);
    DataResult DecodeStored(Job& job, unsigned worker);
    bool Hand(Job& job, std::vector<uint8_t>& piece);
    void Drop();

    platform::Stream& archive_;
    const std::vector<const Entry*>& entries_;
    size_t next_ = 0;   // the first entry not yet looked at
    int64_t held_ = 0;  // cost of the jobs in the window
    std::mutex mutex_;  // guards the jobs' pieces and flags
    std::condition_variable handed_;  // a piece came, a job finished, or the writer took or dropped one
    std::deque<std::unique_ptr<Job>> jobs_;           // in entry order; before the pool, which ends first
    std::vector<std::optional<Inflater>> inflaters_;  // one per worker, made on its first entry
    std::vector<std::vector<uint8_t>> inputs_;        // one per worker
    std::optional<WorkerPool> pool_;
};

}  // namespace engines
