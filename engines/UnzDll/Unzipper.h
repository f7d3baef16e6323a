// The work of UnzDll.dll: extracting entries, each checked by its CRC before it takes its name.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "abi/EngineRecords.h"
#include "engines/common/ArchiveDirectory.h"
#include "engines/common/Engine.h"
#include "engines/common/EntryData.h"
#include "engines/common/KeySet.h"
#include "engines/common/Text.h"
#include "engines/UnzDll/Readahead.h"
#include "engines/UnzDll/WriteBehind.h"

namespace engines {

// The command record's words as this engine reads them.
struct UnzipRequest {
    std::string archive;
    std::string destination;  // with trailing backslash
    std::string password;
    uint32_t attempts = engine::kPasswordAttempts;
    bool freshenOnly = false;
    bool askOverwrite = false;
    bool overwriteAll = false;
    bool useFolders = false;
    bool testOnly = false;  // decode and check every entry, write nothing
    RunText text{false};
    std::vector<std::string> specs;
};

UnzipRequest ReadUnzipCommand(const engine::UnzipCommand& command);

class Unzipper {
public:
    Unzipper(UnzipRequest request, Reporter& reporter)
        : request_(std::move(request)),
          reporter_(reporter),
          folders_(request_.destination),
          written_([this](uint32_t index) { return WrittenKey(index); }) {}
    void Run();
    int32_t Extracted() const { return extracted_; }

private:
    // Stopped: the disk is full, so no later entry can be written either; StoppedBefore: a file
    // written behind found it full before this entry was tried.
    enum class Outcome { Done, Skipped, Cancelled, Stopped, StoppedBefore };

    // Writes a target's data into the file it is given (made aside, or under the target's name).
    using Fill = std::function<DataResult(platform::Stream& out)>;

    // What the first walk through the directory found.
    struct Plan {
        std::vector<std::string> unmatched;  // specs that matched no entry
        std::vector<int64_t> folders;        // folder entries to make, by where their headers stand
        int64_t bytes = 0;
        bool overlapping = false;
    };
    // Entries to extract, read again from the directory a batch at a time.
    struct Batch {
        size_t first = 0;  // index in chosen_ of entries[0]
        std::vector<Entry> entries;
        std::vector<const Entry*> order;
        TextArena texts;
    };

    // Walks the directory once: the entries chosen into chosen_, each local header read for the
    // overlap check. False when the directory is damaged.
    bool Choose(DirectoryWalk& walk, platform::FileStream& archive, Plan& plan);
    bool Wanted(const Entry& entry, std::vector<bool>& matched) const;
    void MakeFolderEntries(DirectoryWalk& walk, const std::vector<int64_t>& folders);
    // The chosen entries from `first` on, at most a batch of them; false when the directory can no
    // longer be read.
    bool LoadBatch(DirectoryWalk& walk, size_t first, Batch& batch);
    void ExtractChosen(platform::FileStream& archive, DirectoryWalk& walk);
    // False when the run ends: cancelled, or the disk is full.
    bool ExtractBatch(platform::FileStream& archive, DirectoryWalk& walk, Batch& batch);
    // Gives an entry decoded whole and sound, whose target does not exist, to be written behind.
    Outcome HandOff(const Entry& entry, const std::string& name, const std::string& target, const std::string& key,
                    size_t index, Readahead& ahead);
    // The results of the files written behind, in order: all of them when `all`, else those done
    // and as many as keep the queue within its bounds. Stopped: one found the disk full.
    Outcome Collect(bool all);
    // Collect(true) before this thread checks or writes a target itself; StoppedBefore when a file
    // written behind found the disk full.
    Outcome FinishBehind();
    // Whatever a cancel left behind is finished (whole files) and counted, without a callback.
    void FinishQuietly();
    std::vector<std::string> KnownPasswords() const { return {request_.password, lastGoodPassword_}; }
    // Its data comes from `ahead` when a worker decoded it there, else from the archive.
    // `index`: in chosen_; `ahead` decodes the entries of its batch.
    Outcome ExtractEntry(platform::FileStream& archive, const Entry& entry, const std::string& name, Readahead& ahead,
                         size_t index);
    // Decodes an entry as extraction does, into nothing; counted when sound.
    Outcome TestEntry(platform::FileStream& archive, const Entry& entry, const std::string& name, Readahead& ahead,
                      size_t index);
    Outcome DecideOverwrite(const Entry& entry, const platform::FileDetails& existing, bool& write);
    // `decodedWith`: the password the entry is decoded ahead with, or empty.
    Outcome FindPassword(platform::FileStream& archive, const Entry& entry, const std::string& decodedWith,
                         std::string& password);
    // `soundAndNew`: the bytes are known whole and sound and the target does not exist, so the file
    // is made under its own name rather than made aside and renamed.
    // `name`: the entry's shown name.
    Outcome WriteFile(const Entry& entry, const std::string& name, const std::string& target, const Fill& fill,
                      bool soundAndNew);
    bool Progress(size_t bytes);
    Outcome Skip(const std::string& name, engine::SkipReason reason, const std::string& why = std::string());
    // A target that could not be written, with the system's reason; a full disk stops the run.
    Outcome WriteFailed(const std::string& name);
    // Every entry from `from` of `batch` on, and of the batches after it.
    void ReportNotTried(DirectoryWalk& walk, Batch& batch, size_t from);
    void RemoveOrphansOnce(const std::string& folder);
    // `key`: the target folded.
    bool TargetExists(const std::string& target, const std::string& key, platform::FileDetails& existing);
    // The file an entry of this name is written to, and the components of the name; empty when the
    // name is unsafe.
    std::string Target(const std::string& name, std::vector<std::string>& components) const;
    // The folded target of chosen_[index], by which written_ knows it.
    std::string WrittenKey(uint32_t index) const;

    UnzipRequest request_;
    Reporter& reporter_;
    FolderMaker folders_;
    std::string lastGoodPassword_;
    int32_t extracted_ = 0;
    // An entry to extract: where its central header stands and how long its local header is.
    struct Chosen {
        static constexpr uint32_t kDamaged = UINT32_MAX;  // its local header cannot be read
        int64_t header = 0;
        uint32_t localLength = kDamaged;
    };
    // A few bytes an entry, in order, without a vector's doubling copy.
    std::deque<Chosen> chosen_;
    size_t batchFirst_ = 0;  // index in chosen_ of the batch being extracted
    DirectoryWalk* walk_ = nullptr;  // while Run runs
    KeySet written_;  // of chosen_, those written by this run
    std::unordered_set<std::string> cleaned_;
    unsigned workers_ = 0;
    std::optional<WriteBehind> behind_;  // with workers only  // folders already rid of a killed run's temporary files
};

}  // namespace engines
