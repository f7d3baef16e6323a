// Extraction: every file is written under a temporary name in its target folder and takes its
// own name only after its CRC was checked (or the user chose to keep it anyway).
#include "engines/UnzDll/Unzipper.h"

#include <algorithm>
#include <thread>

#include "engines/common/Codec.h"
#include "engines/common/EntryData.h"
#include "engines/common/TempFile.h"
#include "engines/common/Text.h"
#include "platform/TempFiles.h"

namespace engines {
namespace {

using engine::UnzipCommand;
using engine::UnzipSpecEntry;
using platform::FileStream;

constexpr const char* kTempPrefix = "lku";
constexpr unsigned kMostWorkers = 4;
// Entries read back from the directory at a time: a few hundred kilobytes, whatever the archive.
constexpr size_t kBatchEntries = 4096;

// The reasons in words that go with action 11.
constexpr const char* kWrittenBefore = "an earlier entry of this archive was extracted to the same file";
constexpr const char* kFolderInTheWay = "a folder of that name exists";
constexpr const char* kLongerThanDeclared = "damaged: its data is longer than the archive says";
constexpr const char* kFailsItsCheck = "damaged: its data fails its CRC or size check";
constexpr const char* kUnauthentic =
    "damaged: its data does not match its authentication code (or the password is wrong)";
constexpr const char* kNotTriedDiskFull = "not extracted: the disk is full";
constexpr const char* kStoppedDiskFull = "The disk is full: extraction stopped.";
constexpr const char* kOverlapping =
    "entries share their data with one another, as in a ZIP bomb; nothing was extracted";

bool Flag(const UnzipCommand& command, size_t offset) { return command.U32(offset) != 0; }

std::string WhyNotWritten(const WriteBehind::Result& result) {
    return result.notTried ? kNotTriedDiskFull : result.failure.reason;
}

// Where a test sends the plain bytes.
class DiscardStream final : public platform::Stream {
public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override { return count; }
    int64_t Seek(int64_t, platform::Origin) override { return 0; }
    int64_t Size() override { return 0; }
    bool Truncate() override { return true; }
};

uint32_t EntryStamp(const Entry& entry) { return (static_cast<uint32_t>(entry.DosDate()) << 16) | entry.DosTime(); }

}  // namespace

UnzipRequest ReadUnzipCommand(const UnzipCommand& command) {
    UnzipRequest request;
    request.text = RunText::FromExtensionWord(command.U32(UnzipCommand::kExtensions));
    const auto callerText = [&request](uint32_t word) { return request.text.FromCaller(TextAt(word)); };
    request.archive = callerText(command.U32(UnzipCommand::kZipFileName));
    request.destination = callerText(command.U32(UnzipCommand::kDestination));
    if (request.destination.empty()) request.destination = platform::GetCurrentDirectory();
    request.destination = AppendBackslash(request.destination);
    request.password = request.text.CipherPassword(callerText(command.U32(UnzipCommand::kPassword)));
    const uint32_t attempts = command.U32(UnzipCommand::kPasswordAttempts);
    request.attempts = attempts == 0 ? engine::kPasswordAttempts : std::min<uint32_t>(attempts, 100);
    request.freshenOnly = Flag(command, UnzipCommand::kFreshenOnly);
    request.askOverwrite = Flag(command, UnzipCommand::kAskOverwrite) || Flag(command, UnzipCommand::kAskOverwrite2);
    request.overwriteAll = Flag(command, UnzipCommand::kOverwriteAll);
    request.useFolders = Flag(command, UnzipCommand::kUseFolders);
    request.testOnly = (engine::ExtensionBits(command.U32(UnzipCommand::kExtensions)) & engine::kExtTestOnly) != 0;
    const uint32_t count = command.U32(UnzipCommand::kSpecCount);
    const uint8_t* specs = engine::WordAddress<const uint8_t>(command.U32(UnzipCommand::kSpecs));
    for (uint32_t i = 0; specs && i < count; ++i) {
        UnzipSpecEntry entry;
        std::copy(specs + i * UnzipSpecEntry::kSize, specs + (i + 1) * UnzipSpecEntry::kSize, entry.data());
        const std::string spec = callerText(entry.U32(UnzipSpecEntry::kSpec));
        if (!spec.empty()) request.specs.push_back(spec);
    }
    return request;
}

void Unzipper::Run() {
    FileStream archive(request_.archive, platform::Access::Read, platform::Share::DenyWrite);
    DirectoryWalk walk(archive, request_.text.Utf8());
    walk_ = &walk;
    std::string error;
    Plan plan;
    if (!walk.Open(error) || !Choose(walk, archive, plan)) {
        reporter_.Failed(request_.archive + ": " + (error.empty() ? kDirectoryDamaged : error), engine::kSkipReadError);
        return;
    }
    if (plan.overlapping) {
        reporter_.Skipped(request_.archive, engine::kSkipReadError, kOverlapping);
        return;
    }
    MakeFolderEntries(walk, plan.folders);
    if (!reporter_.Send(engine::kActionBatchFiles, std::string(), static_cast<uint32_t>(chosen_.size())) ||
        !reporter_.Send(engine::kActionBatchBytes, std::string(), static_cast<uint64_t>(plan.bytes))) {
        return;
    }
    for (const std::string& spec : plan.unmatched) {
        if (!reporter_.Skipped(spec, engine::kSkipNotMatched)) return;
    }
    workers_ = std::min(std::thread::hardware_concurrency(), kMostWorkers);
    if (workers_ > 0) behind_.emplace(kTempPrefix);
    ExtractChosen(archive, walk);
    FinishQuietly();
}

void Unzipper::ExtractChosen(FileStream& archive, DirectoryWalk& walk) {
    walk.Restart();
    Batch batch;
    for (size_t first = 0; first < chosen_.size(); first += batch.entries.size()) {
        if (!LoadBatch(walk, first, batch)) {
            reporter_.Failed(request_.archive + ": " + kDirectoryDamaged, engine::kSkipReadError);
            return;
        }
        if (!ExtractBatch(archive, walk, batch)) return;
    }
    const Outcome last = Collect(true);
    if (last == Outcome::Cancelled) return;
    if (last == Outcome::Stopped) ReportNotTried(walk, batch, batch.order.size());
    reporter_.Send(engine::kActionEndBatch);
}

bool Unzipper::Choose(DirectoryWalk& walk, FileStream& archive, Plan& plan) {
    std::vector<bool> matched(request_.specs.size(), false);
    OverlapWatch watch;
    const bool read = walk.ForEach([&](size_t, Entry& entry) {
        entry.dataStart = DataStart(archive, entry);
        watch.Add(entry);
        if (!Wanted(entry, matched)) return true;
        if (entry.IsFolder()) {
            if (request_.useFolders && !request_.testOnly) plan.folders.push_back(walk.HeaderPosition());
            return true;
        }
        Chosen chosen;
        chosen.header = walk.HeaderPosition();
        if (entry.dataStart >= 0) chosen.localLength = static_cast<uint32_t>(entry.dataStart - entry.localOffset);
        chosen_.push_back(chosen);
        plan.bytes += entry.Size();
        return true;
    });
    if (!read) return false;
    for (size_t i = 0; i < request_.specs.size(); ++i) {
        if (!matched[i]) plan.unmatched.push_back(request_.specs[i]);
    }
    plan.overlapping = watch.InOrder() ? watch.Overlapping() : EntriesOverlap(walk, archive);
    return !walk.Failed();
}

bool Unzipper::Wanted(const Entry& entry, std::vector<bool>& matched) const {
    if (request_.specs.empty()) return true;
    const std::string name = entry.ShownName();
    bool wanted = false;
    for (size_t i = 0; i < request_.specs.size(); ++i) {
        if (request_.text.Matches(request_.specs[i], name)) wanted = matched[i] = true;
    }
    return wanted;
}

// Folder entries are not files: with folder names restored they are made as folders, and never counted.
void Unzipper::MakeFolderEntries(DirectoryWalk& walk, const std::vector<int64_t>& folders) {
    for (const int64_t header : folders) {
        TextArena texts;
        Entry entry;
        std::vector<std::string> components;
        if (walk.ReadAt(header, entry, texts) && SplitSafeName(entry.ShownName(), components))
            folders_.Make(components, components.size());
    }
}

bool Unzipper::LoadBatch(DirectoryWalk& walk, size_t first, Batch& batch) {
    const size_t count = std::min(kBatchEntries, chosen_.size() - first);
    batch.first = first;
    batch.entries.clear();
    batch.entries.reserve(count);  // never moves, so `order` may point into it
    batch.order.clear();
    batch.texts = TextArena();
    Entry entry;
    for (size_t i = first; i < first + count; ++i) {
        const Chosen& chosen = chosen_[i];
        do {
            if (!walk.Next(entry, batch.texts)) return false;
        } while (walk.HeaderPosition() != chosen.header);
        entry.dataStart = chosen.localLength == Chosen::kDamaged ? -1 : entry.localOffset + chosen.localLength;
        batch.entries.push_back(entry);
        batch.order.push_back(&batch.entries.back());
    }
    return true;
}

bool Unzipper::ExtractBatch(FileStream& archive, DirectoryWalk& walk, Batch& batch) {
    batchFirst_ = batch.first;
    std::optional<size_t> notTriedFrom;
    {
        Readahead ahead(archive, batch.order, workers_);
        for (size_t i = 0; i < batch.order.size() && !notTriedFrom; ++i) {
            const Entry& entry = *batch.order[i];
            const std::string name = entry.ShownName();
            if (!reporter_.Send(engine::kActionBeginFile, name, static_cast<uint64_t>(entry.Size()))) return false;
            ahead.Advance(i, KnownPasswords());
            Outcome outcome = ExtractEntry(archive, entry, name, ahead, batch.first + i);
            if (outcome == Outcome::Done || outcome == Outcome::Skipped) outcome = Collect(false);
            if (outcome == Outcome::Cancelled) return false;
            if (outcome == Outcome::Stopped) notTriedFrom = i + 1;
            if (outcome == Outcome::StoppedBefore) notTriedFrom = i;
        }
    }
    if (!notTriedFrom) return true;
    // The workers are done with the batch before the rest is read into it.
    ReportNotTried(walk, batch, *notTriedFrom);
    reporter_.Send(engine::kActionEndBatch);
    return false;
}

Unzipper::Outcome Unzipper::HandOff(const Entry& entry, const std::string& name, const std::string& target,
                                    const std::string& key, size_t index, Readahead& ahead) {
    std::deque<std::vector<uint8_t>> pieces = ahead.TakeHeld();
    size_t bytes = 0;
    for (const std::vector<uint8_t>& piece : pieces) bytes += piece.size();
    if (!Progress(bytes)) return Outcome::Cancelled;
    RemoveOrphansOnce(FolderPart(target));
    behind_->Give(name, target, std::move(pieces), FromDos(entry.DosDate(), entry.DosTime()));
    // Known as written from now on: a later entry of the same name waits for it.
    written_.Insert(static_cast<uint32_t>(index), key);
    return Outcome::Done;
}

Unzipper::Outcome Unzipper::Collect(bool all) {
    while (behind_ && !behind_->Empty() && (all || behind_->Full() || behind_->FrontDone())) {
        const WriteBehind::Result result = behind_->TakeFront();
        if (result.written) {
            ++extracted_;
            continue;
        }
        const Outcome outcome = Skip(result.name, engine::kSkipWriteError, WhyNotWritten(result));
        if (outcome == Outcome::Cancelled) return outcome;
        if (result.failure.diskFull) return Outcome::Stopped;
    }
    return Outcome::Done;
}

Unzipper::Outcome Unzipper::FinishBehind() {
    const Outcome finished = Collect(true);
    return finished == Outcome::Stopped ? Outcome::StoppedBefore : finished;
}

void Unzipper::FinishQuietly() {
    while (behind_ && !behind_->Empty()) {
        if (behind_->TakeFront().written) ++extracted_;
    }
}

// After a full disk every entry left is counted as not extracted, so the totals stay true.
void Unzipper::ReportNotTried(DirectoryWalk& walk, Batch& batch, size_t from) {
    if (!reporter_.Message(kStoppedDiskFull)) return;
    // Those given to be written behind after the file that found the disk full were not begun.
    while (behind_ && !behind_->Empty()) {
        const WriteBehind::Result result = behind_->TakeFront();
        if (result.written) {
            ++extracted_;
        } else if (!reporter_.Skipped(result.name, engine::kSkipWriteError, WhyNotWritten(result))) {
            return;
        }
    }
    while (true) {
        for (size_t i = from; i < batch.order.size(); ++i) {
            if (!reporter_.Skipped(batch.order[i]->ShownName(), engine::kSkipWriteError, kNotTriedDiskFull)) return;
        }
        const size_t next = batch.first + batch.entries.size();
        if (next >= chosen_.size() || !LoadBatch(walk, next, batch)) return;
        from = 0;
    }
}

// A folder this extraction made holds no killed run's files.
void Unzipper::RemoveOrphansOnce(const std::string& folder) {
    if (!folders_.Made(folder) && cleaned_.insert(request_.text.Key(folder)).second) {
        platform::RemoveOrphanedTempFiles(folder, kTempPrefix);
    }
}

// In a folder this extraction made, only what it wrote or made can be in the way: the file system
// is asked only then (a tree of small files is mostly calls to it).
bool Unzipper::TargetExists(const std::string& target, const std::string& key, platform::FileDetails& existing) {
    if (!folders_.Made(FolderPart(target))) return platform::GetFileDetails(target, existing);
    if (folders_.Knows(target)) return platform::GetFileDetails(target, existing);
    return written_.Find(key) && platform::GetFileDetails(target, existing);
}

std::string Unzipper::Target(const std::string& name, std::vector<std::string>& components) const {
    if (!SplitSafeName(name, components)) return std::string();
    return request_.destination + (request_.useFolders ? JoinComponents(components) : components.back());
}

std::string Unzipper::WrittenKey(uint32_t index) const {
    // Asked for only when two keys' hashes agree: the entry is read again rather than kept.
    TextArena texts;
    Entry entry;
    if (!walk_->ReadAt(chosen_[index].header, entry, texts)) return std::string();
    std::vector<std::string> components;
    return request_.text.Key(Target(entry.ShownName(), components));
}

Unzipper::Outcome Unzipper::Skip(const std::string& name, engine::SkipReason reason, const std::string& why) {
    return reporter_.Skipped(name, reason, why) ? Outcome::Skipped : Outcome::Cancelled;
}

Unzipper::Outcome Unzipper::WriteFailed(const std::string& name) {
    const platform::Failure failure = platform::LastFailure();
    const Outcome outcome = Skip(name, engine::kSkipWriteError, failure.reason);
    return outcome == Outcome::Skipped && failure.diskFull ? Outcome::Stopped : outcome;
}

Unzipper::Outcome Unzipper::ExtractEntry(FileStream& archive, const Entry& entry, const std::string& name,
                                          Readahead& ahead, size_t index) {
    const size_t inBatch = index - batchFirst_;
    if (!entry.MethodSupported()) return Skip(name, engine::kSkipUnsupported);
    if (request_.testOnly) return TestEntry(archive, entry, name, ahead, index);
    std::vector<std::string> components;
    const std::string target = Target(name, components);
    if (target.empty()) return Skip(name, engine::kSkipUnsafeName);
    const std::string key = request_.text.Key(target);
    // An earlier entry's file of that name may still be being written behind: it is finished first.
    if (behind_ && written_.Find(key)) {
        const Outcome finished = FinishBehind();
        if (finished != Outcome::Done) return finished;
    }
    platform::FileDetails existing;
    const bool exists = TargetExists(target, key, existing);
    if (exists && existing.IsDirectory()) return Skip(name, engine::kSkipWriteError, kFolderInTheWay);
    // Two entries that land on one file (the same name twice, names that differ in letter case,
    // names whose characters the code page lacks): the later one would silently replace the file
    // just written, or be kept out as "not newer" while counted. Only a request to overwrite
    // everything lets it replace the first.
    if (!request_.overwriteAll && written_.Find(key)) {
        return Skip(name, engine::kSkipWriteError, kWrittenBefore);
    }
    if (request_.freshenOnly && !exists) return Skip(name, engine::kSkipNotNewer);
    if (exists) {
        bool write = false;
        const Outcome decided = DecideOverwrite(entry, existing, write);
        if (decided != Outcome::Done) return decided;
        if (!write) return Skip(name, engine::kSkipNotNewer);
    }
    if (entry.dataStart < 0) return Skip(name, engine::kSkipReadError);
    std::string password;
    if (entry.IsEncrypted()) {
        const Outcome found = FindPassword(archive, entry, ahead.PasswordOf(inBatch), password);
        if (found != Outcome::Done) return found;
    }
    if (request_.useFolders && !folders_.Make(components, components.size() - 1)) return WriteFailed(name);
    const auto progress = [this](size_t bytes) { return Progress(bytes); };
    Outcome written;
    const bool decodedAhead = ahead.Decodes(inBatch, password);
    const bool soundAndNew = decodedAhead && !exists && ahead.HeldWholeAndSound();
    if (soundAndNew && behind_) return HandOff(entry, name, target, key, index, ahead);
    // This thread writes no file beside the one written behind.
    const Outcome finished = FinishBehind();
    if (finished != Outcome::Done) return finished;
    if (decodedAhead) {
        written = WriteFile(
            entry, name, target, [&](platform::Stream& out) { return ahead.WriteTo(out, progress); }, soundAndNew);
    } else {
        written = WriteFile(
            entry, name, target,
            [&](platform::Stream& out) { return CopyEntryData(archive, entry, entry.dataStart, password, out, progress); },
            false);
    }
    if (written == Outcome::Done) written_.Insert(static_cast<uint32_t>(index), key);
    return written;
}

Unzipper::Outcome Unzipper::TestEntry(FileStream& archive, const Entry& entry, const std::string& name,
                                       Readahead& ahead, size_t index) {
    const size_t inBatch = index - batchFirst_;
    if (entry.dataStart < 0) return Skip(name, engine::kSkipReadError);
    std::string password;
    if (entry.IsEncrypted()) {
        const Outcome found = FindPassword(archive, entry, ahead.PasswordOf(inBatch), password);
        if (found != Outcome::Done) return found;
    }
    DiscardStream nowhere;
    const auto progress = [this](size_t bytes) { return Progress(bytes); };
    const DataResult result = ahead.Decodes(inBatch, password)
                                  ? ahead.WriteTo(nowhere, progress)
                                  : CopyEntryData(archive, entry, entry.dataStart, password, nowhere, progress);
    switch (result) {
    case DataResult::Good:
        ++extracted_;
        return Outcome::Done;
    case DataResult::Cancelled:
        return Outcome::Cancelled;
    case DataResult::Longer:
        return Skip(name, engine::kSkipCrcError, kLongerThanDeclared);
    case DataResult::Unauthentic:
        return Skip(name, engine::kSkipCrcError, kUnauthentic);
    case DataResult::Damaged:
    case DataResult::WriteError:
        break;
    }
    return Skip(name, engine::kSkipCrcError, kFailsItsCheck);
}

bool Unzipper::Progress(size_t bytes) {
    return reporter_.Send(engine::kActionProgress, std::string(), static_cast<uint32_t>(bytes));
}

Unzipper::Outcome Unzipper::DecideOverwrite(const Entry& entry, const platform::FileDetails& existing, bool& write) {
    const bool older = ToDos(existing.modified).Combined() < EntryStamp(entry);
    if (request_.overwriteAll) {
        write = true;
    } else if (request_.freshenOnly && !request_.askOverwrite) {
        write = older;  // freshening replaces what is out of date, without asking
    } else {
        if (!reporter_.Send(engine::kActionOverwrite, entry.ShownName(), 0, older ? 1 : 0)) return Outcome::Cancelled;
        write = reporter_.Number() == 1;
    }
    return Outcome::Done;
}

// Tries the command's password and the last one that opened an entry, then asks, each wrong
// answer using up one attempt.
Unzipper::Outcome Unzipper::FindPassword(FileStream& archive, const Entry& entry, const std::string& decodedWith,
                                         std::string& password) {
    const std::vector<std::string> known = KnownPasswords();
    // A worker decoding ahead tried the same passwords in the same order on the same bytes: while
    // its choice is still one of them, trying again would only read the entry again.
    if (!decodedWith.empty() && std::find(known.begin(), known.end(), decodedWith) != known.end()) {
        password = decodedWith;
        return Outcome::Done;
    }
    const std::string name = entry.ShownName();
    PasswordTrial trial;
    if (!ReadPasswordTrial(archive, entry, entry.dataStart, trial)) return Skip(name, engine::kSkipReadError);
    // An AES code that fails with a password that passed the check value means damaged data, or a
    // wrong password that passed by chance: the user is asked again, and when no password opens the
    // entry it is reported as damaged.
    bool unauthentic = false;
    const auto opens = [&](const std::string& candidate) {
        const TrialResult result = trial.Try(candidate);
        unauthentic = unauthentic || result == TrialResult::Unauthentic;
        return result == TrialResult::Opens;
    };
    for (const std::string& candidate : known) {
        if (!candidate.empty() && opens(candidate)) {
            password = candidate;
            return Outcome::Done;
        }
    }
    // A test reports what it finds without a question a script could not answer.
    if (unauthentic && request_.testOnly) return Skip(name, engine::kSkipCrcError, kUnauthentic);
    uint32_t attempts = request_.attempts;
    while (attempts > 0) {
        if (!reporter_.Send(engine::kActionPassword, name, attempts)) return Outcome::Cancelled;
        if (reporter_.Flag() != 1) break;
        const std::string answer = request_.text.CipherPassword(reporter_.Text());
        // A callback that does not count down still gets no more than the attempts given.
        attempts = std::min(reporter_.Number(), attempts - 1);
        if (opens(answer)) {
            password = lastGoodPassword_ = answer;
            return Outcome::Done;
        }
    }
    return unauthentic ? Skip(name, engine::kSkipCrcError, kUnauthentic) : Skip(name, engine::kSkipPassword);
}

// A file made aside is renamed over the target once written and checked, so that no partial file
// stands under a real name. Bytes already decoded and checked need no second look: made under the
// target's name (one directory operation fewer a file, a fifth of a small file's cost), such a file
// is still removed on every way out but success, and a name that cannot be made new goes aside.
Unzipper::Outcome Unzipper::WriteFile(const Entry& entry, const std::string& name, const std::string& target,
                                      const Fill& fill, bool soundAndNew) {
    RemoveOrphansOnce(FolderPart(target));
    TempFile temp(TempFile::ForTarget{}, target, kTempPrefix, soundAndNew);
    if (!temp.Valid()) return WriteFailed(name);
    const DataResult result = fill(temp.Stream());
    if (result == DataResult::Cancelled) return Outcome::Cancelled;
    if (result == DataResult::WriteError) return WriteFailed(name);
    // Its data is not what the archive says, so asking whether to keep it makes no sense.
    if (result == DataResult::Longer) return Skip(name, engine::kSkipCrcError, kLongerThanDeclared);
    if (result == DataResult::Unauthentic) return Skip(name, engine::kSkipCrcError, kUnauthentic);
    if (result == DataResult::Damaged) {
        if (!reporter_.Send(engine::kActionCrcError, name)) return Outcome::Cancelled;
        if (reporter_.Flag() != 1) return Skip(name, engine::kSkipCrcError);
    }
    temp.Stream().SetModified(FromDos(entry.DosDate(), entry.DosTime()));
    if (!temp.MoveTo(target)) return WriteFailed(name);
    ++extracted_;
    return Outcome::Done;
}

}  // namespace engines
