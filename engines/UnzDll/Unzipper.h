// The work of UnzDll.dll: extracting entries, each checked by its CRC before it takes its name.
#pragma once

#include <cstdint>
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
    // Stopped: the disk is full, so no later entry can be written either.
    enum class Outcome { Done, Skipped, Cancelled, Stopped };

    // Writes a target's data into the file it is given (made aside, or under the target's name).
    using Fill = std::function<DataResult(platform::Stream& out)>;

    std::vector<const Entry*> Select(const Directory& directory, std::vector<std::string>& unmatched);
    std::vector<std::string> KnownPasswords() const { return {request_.password, lastGoodPassword_}; }
    // Its data comes from `ahead` when a worker decoded it there, else from the archive.
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
    void ReportNotTried(const std::vector<const Entry*>& entries, size_t from);
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
    std::vector<const Entry*> chosen_;  // the entries to extract, in order
    KeySet written_;  // of chosen_, those written by this run
    std::unordered_set<std::string> cleaned_;  // folders already rid of a killed run's temporary files
};

}  // namespace engines
