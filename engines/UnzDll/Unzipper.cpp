// Extraction: every file is written under a temporary name in its target folder and takes its
// own name only after its CRC was checked (or the user chose to keep it anyway).
#include "engines/UnzDll/Unzipper.h"

#include <algorithm>

#include "engines/common/Codec.h"
#include "engines/common/TempFile.h"
#include "engines/common/Text.h"

namespace engines {
namespace {

using engine::UnzipCommand;
using engine::UnzipSpecEntry;
using platform::FileStream;

constexpr int32_t kChunk = 65536;
constexpr const char* kTempPrefix = "lku";
constexpr uint32_t kTrialBytes = 4096;

// The reasons in words that go with action 11.
constexpr const char* kWrittenBefore = "an earlier entry of this archive was extracted to the same file";
constexpr const char* kFolderInTheWay = "a folder of that name exists";
constexpr const char* kLongerThanDeclared = "damaged: its data is longer than the archive says";
constexpr const char* kNotTriedDiskFull = "not extracted: the disk is full";
constexpr const char* kStoppedDiskFull = "The disk is full: extraction stopped.";
constexpr const char* kOverlapping =
    "entries share their data with one another, as in a ZIP bomb; nothing was extracted";

bool Flag(const UnzipCommand& command, size_t offset) { return command.U32(offset) != 0; }

bool MatchesSpec(const std::string& spec, const std::string& name) {
    return HasWildcards(spec) ? MatchesWildcard(spec, name) : SameName(spec, name);
}

uint32_t EntryStamp(const Entry& entry) { return (static_cast<uint32_t>(entry.DosDate()) << 16) | entry.DosTime(); }

// Makes every folder of `components` but the last below `destination`; false when one cannot be made.
bool MakeFolders(const std::string& destination, const std::vector<std::string>& components, size_t count) {
    std::string path = destination;
    for (size_t i = 0; i < count; ++i) {
        path += components[i];
        if (!platform::DirectoryExists(path) && !platform::CreateDirectory(path)) return false;
        path += '\\';
    }
    return true;
}

std::string JoinComponents(const std::vector<std::string>& components) {
    std::string joined;
    for (const std::string& component : components) joined += (joined.empty() ? "" : "\\") + component;
    return joined;
}

// Entries whose data overlap (hundreds of directory entries pointing at one local record) let a
// small archive expand without bound; such an archive is refused whole, as Info-ZIP's unzip does.
bool EntriesOverlap(FileStream& archive, const Directory& directory) {
    std::vector<std::pair<int64_t, int64_t>> ranges;  // local header to end of data
    ranges.reserve(directory.entries.size());
    for (const Entry& entry : directory.entries) {
        const int64_t dataAt = DataStart(archive, entry);
        if (dataAt >= 0) ranges.emplace_back(entry.localOffset, dataAt + entry.CompressedSize());
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) return true;
    }
    return false;
}

}  // namespace

UnzipRequest ReadUnzipCommand(const UnzipCommand& command) {
    UnzipRequest request;
    request.archive = TextAt(command.U32(UnzipCommand::kZipFileName));
    request.destination = TextAt(command.U32(UnzipCommand::kDestination));
    if (request.destination.empty()) request.destination = platform::GetCurrentDirectory();
    request.destination = AppendBackslash(request.destination);
    request.password = TextAt(command.U32(UnzipCommand::kPassword));
    const uint32_t attempts = command.U32(UnzipCommand::kPasswordAttempts);
    request.attempts = attempts == 0 ? engine::kPasswordAttempts : std::min<uint32_t>(attempts, 100);
    request.freshenOnly = Flag(command, UnzipCommand::kFreshenOnly);
    request.askOverwrite = Flag(command, UnzipCommand::kAskOverwrite) || Flag(command, UnzipCommand::kAskOverwrite2);
    request.overwriteAll = Flag(command, UnzipCommand::kOverwriteAll);
    request.useFolders = Flag(command, UnzipCommand::kUseFolders);
    const uint32_t count = command.U32(UnzipCommand::kSpecCount);
    const uint8_t* specs = engine::WordAddress<const uint8_t>(command.U32(UnzipCommand::kSpecs));
    for (uint32_t i = 0; specs && i < count; ++i) {
        UnzipSpecEntry entry;
        std::copy(specs + i * UnzipSpecEntry::kSize, specs + (i + 1) * UnzipSpecEntry::kSize, entry.data());
        const std::string spec = TextAt(entry.U32(UnzipSpecEntry::kSpec));
        if (!spec.empty()) request.specs.push_back(spec);
    }
    return request;
}

void Unzipper::Run() {
    FileStream archive(request_.archive, platform::Access::Read, platform::Share::DenyWrite);
    Directory directory;
    std::string error;
    if (!ReadDirectory(archive, directory, error)) {
        reporter_.Failed(request_.archive + ": " + error, engine::kSkipReadError);
        return;
    }
    if (EntriesOverlap(archive, directory)) {
        reporter_.Skipped(request_.archive, engine::kSkipReadError, kOverlapping);
        return;
    }
    std::vector<std::string> unmatched;
    const std::vector<const Entry*> chosen = Select(directory, unmatched);
    int64_t total = 0;
    for (const Entry* entry : chosen) total += entry->Size();
    if (!reporter_.Send(engine::kActionBatchFiles, std::string(), static_cast<uint32_t>(chosen.size())) ||
        !reporter_.Send(engine::kActionBatchBytes, std::string(),
                        static_cast<uint32_t>(std::min<int64_t>(total, 0x7FFFFFFF)))) {
        return;
    }
    for (const std::string& spec : unmatched) {
        if (!reporter_.Skipped(spec, engine::kSkipNotMatched)) return;
    }
    for (size_t i = 0; i < chosen.size(); ++i) {
        if (!reporter_.Send(engine::kActionBeginFile, chosen[i]->ShownName(), chosen[i]->Size())) return;
        const Outcome outcome = ExtractEntry(archive, *chosen[i]);
        if (outcome == Outcome::Cancelled) return;
        if (outcome == Outcome::Stopped) {
            ReportNotTried(chosen, i + 1);
            break;
        }
    }
    reporter_.Send(engine::kActionEndBatch);
}

// After a full disk every entry left is counted as not extracted, so the totals stay true.
void Unzipper::ReportNotTried(const std::vector<const Entry*>& entries, size_t from) {
    if (!reporter_.Message(kStoppedDiskFull)) return;
    for (size_t i = from; i < entries.size(); ++i) {
        if (!reporter_.Skipped(entries[i]->ShownName(), engine::kSkipWriteError, kNotTriedDiskFull)) return;
    }
}

void Unzipper::RemoveOrphansOnce(const std::string& folder) {
    if (cleaned_.insert(FoldName(folder)).second) platform::RemoveOrphanedTempFiles(folder, kTempPrefix);
}

// Folder entries are not files: with folder names restored they are made as folders, and never counted.
std::vector<const Entry*> Unzipper::Select(const Directory& directory, std::vector<std::string>& unmatched) const {
    std::vector<bool> matched(request_.specs.size(), false);
    std::vector<const Entry*> chosen;
    for (const Entry& entry : directory.entries) {
        const std::string name = entry.ShownName();
        bool wanted = request_.specs.empty();
        for (size_t i = 0; i < request_.specs.size(); ++i) {
            if (MatchesSpec(request_.specs[i], name)) wanted = matched[i] = true;
        }
        if (!wanted) continue;
        if (!entry.IsFolder()) {
            chosen.push_back(&entry);
        } else if (request_.useFolders) {
            std::vector<std::string> components;
            if (SplitSafeName(name, components)) MakeFolders(request_.destination, components, components.size());
        }
    }
    for (size_t i = 0; i < request_.specs.size(); ++i) {
        if (!matched[i]) unmatched.push_back(request_.specs[i]);
    }
    return chosen;
}

Unzipper::Outcome Unzipper::Skip(const std::string& name, engine::SkipReason reason, const std::string& why) {
    return reporter_.Skipped(name, reason, why) ? Outcome::Skipped : Outcome::Cancelled;
}

Unzipper::Outcome Unzipper::WriteFailed(const std::string& name) {
    const platform::Failure failure = platform::LastFailure();
    const Outcome outcome = Skip(name, engine::kSkipWriteError, failure.reason);
    return outcome == Outcome::Skipped && failure.diskFull ? Outcome::Stopped : outcome;
}

Unzipper::Outcome Unzipper::ExtractEntry(FileStream& archive, const Entry& entry) {
    const std::string name = entry.ShownName();
    if ((entry.Flags() & kFlagStrongEncryption) ||
        (entry.Method() != kMethodStored && entry.Method() != kMethodDeflated)) {
        return Skip(name, engine::kSkipUnsupported);
    }
    std::vector<std::string> components;
    if (!SplitSafeName(name, components)) return Skip(name, engine::kSkipUnsafeName);
    const std::string relative = request_.useFolders ? JoinComponents(components) : components.back();
    const std::string target = request_.destination + relative;
    if (platform::DirectoryExists(target)) return Skip(name, engine::kSkipWriteError, kFolderInTheWay);
    // Two entries that land on one file (the same name twice, names that differ in letter case,
    // names whose characters the code page lacks): the later one would silently replace the file
    // just written, or be kept out as "not newer" while counted. Only a request to overwrite
    // everything lets it replace the first.
    if (!request_.overwriteAll && written_.count(FoldName(target))) {
        return Skip(name, engine::kSkipWriteError, kWrittenBefore);
    }
    const bool exists = platform::FileExists(target);
    if (request_.freshenOnly && !exists) return Skip(name, engine::kSkipNotNewer);
    if (exists) {
        bool write = false;
        const Outcome decided = DecideOverwrite(entry, target, write);
        if (decided != Outcome::Done) return decided;
        if (!write) return Skip(name, engine::kSkipNotNewer);
    }
    const int64_t dataAt = DataStart(archive, entry);
    if (dataAt < 0) return Skip(name, engine::kSkipReadError);
    std::string password;
    if (entry.IsEncrypted()) {
        const Outcome found = FindPassword(archive, entry, dataAt, password);
        if (found != Outcome::Done) return found;
    }
    if (request_.useFolders && !MakeFolders(request_.destination, components, components.size() - 1)) {
        return WriteFailed(name);
    }
    const Outcome written = WriteFile(archive, entry, dataAt, password, target);
    if (written == Outcome::Done) written_.insert(FoldName(target));
    return written;
}

Unzipper::Outcome Unzipper::DecideOverwrite(const Entry& entry, const std::string& target, bool& write) {
    platform::FileDetails existing;
    const bool older =
        platform::GetFileDetails(target, existing) && ToDos(existing.modified).Combined() < EntryStamp(entry);
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
Unzipper::Outcome Unzipper::FindPassword(FileStream& archive, const Entry& entry, int64_t dataAt,
                                         std::string& password) {
    const std::string name = entry.ShownName();
    LocalHeader local;
    uint8_t header[ZipCipher::kHeaderSize];
    if (entry.CompressedSize() < ZipCipher::kHeaderSize ||
        archive.Seek(entry.localOffset, platform::Origin::Begin) != entry.localOffset ||
        archive.Read(local.data(), local.size()) != local.size() ||
        archive.Seek(dataAt, platform::Origin::Begin) != dataAt ||
        archive.Read(header, sizeof header) != static_cast<int32_t>(sizeof header)) {
        return Skip(name, engine::kSkipReadError);
    }
    // With a data descriptor the CRC was not known when the header was made: the time stands in.
    const uint8_t check = CheckByte(entry.Flags(), entry.Crc(), local.U16(LocalHeader::kTime));
    // The check byte lets one wrong password in 256 through; for deflated data the start of the
    // stream, decrypted with it, tells almost all of those apart, as garbage seldom inflates.
    std::vector<uint8_t> start(
        static_cast<size_t>(std::min<uint32_t>(entry.CompressedSize() - ZipCipher::kHeaderSize, kTrialBytes)));
    if (archive.Read(start.data(), static_cast<int32_t>(start.size())) != static_cast<int32_t>(start.size())) {
        return Skip(name, engine::kSkipReadError);
    }
    const auto opens = [&](const std::string& candidate) {
        ZipCipher cipher(candidate);
        if (!cipher.CheckHeader(header, check)) return false;
        if (entry.Method() != kMethodDeflated || start.empty()) return true;
        std::vector<uint8_t> trial = start;
        cipher.Decrypt(trial.data(), trial.size());
        std::vector<uint8_t> ignored;
        return Inflater().Decompress(trial.data(), trial.size(), ignored);
    };
    for (const std::string& candidate : {request_.password, lastGoodPassword_}) {
        if (!candidate.empty() && opens(candidate)) {
            password = candidate;
            return Outcome::Done;
        }
    }
    uint32_t attempts = request_.attempts;
    while (attempts > 0) {
        if (!reporter_.Send(engine::kActionPassword, name, attempts)) return Outcome::Cancelled;
        if (reporter_.Flag() != 1) break;
        const std::string answer = reporter_.Text();
        // A callback that does not count down still gets no more than the attempts given.
        attempts = std::min(reporter_.Number(), attempts - 1);
        if (opens(answer)) {
            password = lastGoodPassword_ = answer;
            return Outcome::Done;
        }
    }
    return Skip(name, engine::kSkipPassword);
}

Unzipper::Outcome Unzipper::WriteFile(FileStream& archive, const Entry& entry, int64_t dataAt,
                                      const std::string& password, const std::string& target) {
    const std::string name = entry.ShownName();
    RemoveOrphansOnce(FolderPart(target));
    TempFile temp({FolderPart(target)}, kTempPrefix);
    if (!temp.Valid()) return WriteFailed(name);
    if (archive.Seek(dataAt, platform::Origin::Begin) != dataAt) return Skip(name, engine::kSkipReadError);

    std::optional<ZipCipher> cipher;
    int64_t remaining = entry.CompressedSize();
    if (entry.IsEncrypted()) {
        cipher.emplace(password);
        uint8_t header[ZipCipher::kHeaderSize];
        if (archive.Read(header, sizeof header) != static_cast<int32_t>(sizeof header)) {
            return Skip(name, engine::kSkipReadError);
        }
        cipher->Decrypt(header, sizeof header);
        remaining -= ZipCipher::kHeaderSize;
    }
    std::optional<Inflater> inflater;
    if (entry.Method() == kMethodDeflated) inflater.emplace();

    std::vector<uint8_t> input(kChunk);
    std::vector<uint8_t> output;
    uint32_t crc = 0;
    int64_t size = 0;
    bool damaged = false;
    // One byte past the declared size is enough to know the entry lies: a bomb stops there.
    const int64_t allowed = static_cast<int64_t>(entry.Size()) + 1;
    while (remaining > 0 && !damaged && size < allowed) {
        const int32_t want = static_cast<int32_t>(std::min<int64_t>(remaining, kChunk));
        const int32_t got = archive.Read(input.data(), want);
        if (got <= 0) {
            damaged = true;
            break;
        }
        remaining -= got;
        if (cipher) cipher->Decrypt(input.data(), static_cast<size_t>(got));
        output.clear();
        const size_t room = static_cast<size_t>(allowed - size);
        if (inflater) {
            damaged = !inflater->Decompress(input.data(), static_cast<size_t>(got), output, room);
        } else {
            output.assign(input.begin(), input.begin() + std::min<size_t>(static_cast<size_t>(got), room));
        }
        crc = UpdateCrc(crc, output.data(), output.size());
        size += static_cast<int64_t>(output.size());
        if (size > entry.Size()) break;
        try {
            WriteExactly(temp.Stream(), output.data(), static_cast<int32_t>(output.size()), target);
        } catch (const platform::FileError&) {
            return WriteFailed(name);
        }
        if (!reporter_.Send(engine::kActionProgress, std::string(), static_cast<uint32_t>(output.size()))) {
            return Outcome::Cancelled;
        }
    }
    // Its data is not what the archive says, so asking whether to keep it makes no sense.
    if (size > entry.Size()) return Skip(name, engine::kSkipCrcError, kLongerThanDeclared);
    if (inflater && !inflater->Finished()) damaged = true;
    if (damaged || crc != entry.Crc() || size != entry.Size()) {
        if (!reporter_.Send(engine::kActionCrcError, name)) return Outcome::Cancelled;
        if (reporter_.Flag() != 1) return Skip(name, engine::kSkipCrcError);
    }
    if (!temp.MoveTo(target)) return WriteFailed(name);
    platform::SetFileModified(target, FromDos(entry.DosDate(), entry.DosTime()));
    ++extracted_;
    return Outcome::Done;
}

}  // namespace engines
