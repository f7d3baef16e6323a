// Adding and deleting: the new archive is written to a temporary file beside the old one and
// renamed over it only when complete, so a failure, a crash or a Cancel leaves the original.
#include "engines/ZipDll/Zipper.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

#include "engines/common/Aes.h"
#include "engines/common/BlockDeflate.h"
#include "engines/common/Codec.h"
#include "engines/common/KeySet.h"
#include "engines/common/TempFile.h"
#include "engines/common/Text.h"
#include "engines/common/WorkerPool.h"
#include "engines/common/ArchiveDirectory.h"
#include "platform/TempFiles.h"
#include "platform/Text.h"
#include "zipformat/CopyBytes.h"
#include "zipformat/NameRule.h"

namespace engines {
namespace {

using engine::ZipCommand;
using engine::ZipSpecEntry;
using platform::FileDetails;
using platform::FileStream;

constexpr int32_t kChunk = 65536;
// Files up to this size are compressed whole on worker threads; larger ones are cut into blocks
// that the workers compress.
constexpr int64_t kParallelLimit = 4 << 20;
constexpr unsigned kMaxWorkers = 4;
constexpr int kMaxLevel = 9;
// From this size on a file's local header carries its sizes in a ZIP64 block: its data, with a
// cipher's few bytes, may reach the 32-bit marker.
constexpr int64_t kLocalZip64From = 0xFFFFFFFFll - 0x10000;
constexpr const char* kTempPrefix = "lkz";
constexpr const char* kOutputName = "the new archive";
// AES entries: the format's version for them, and the size from which the CRC is left out (AE-2),
// as the authentication code checks the data and a CRC of a small file would tell of its contents.
constexpr uint16_t kVersionAes = 51;
constexpr uint32_t kAe2FromSize = 20;

enum class Outcome { Done, Skipped, Cancelled };

bool Flag(const ZipCommand& command, size_t offset) { return command.U32(offset) != 0; }

// A file chosen for adding: where it is, the name it gets in the archive ('/') and what its entry
// takes of its details. The files of one folder share its path, and the names lie in the
// selection's arena: a million files take a few dozen bytes each.
struct Candidate {
    const std::string* folder = nullptr;  // with its trailing backslash, or empty
    std::string_view name;                // its own, on disk
    std::string_view storedName;
    int64_t size = 0;
    uint32_t attributes = 0;
    DosStamp modified;

    bool IsDirectory() const { return (attributes & platform::kAttributeDirectory) != 0; }
    std::string Path() const { return *folder + std::string(name); }
};

// Grows in blocks, never by copying all it holds.
using CandidateList = std::deque<Candidate>;

struct Selection {
    CandidateList files;
    std::deque<std::string> folders;  // the files' folders, each once
    TextArena names;                  // the files' names
    std::vector<std::pair<std::string, engine::SkipReason>> skipped;
};

// Where the files of `folder` go in the archive: below the base folder its relative path,
// elsewhere the path without drive and leading separators, with '/' separators. A file's stored
// name is this and its own name (which holds no separator), found once for all files of a folder.
std::string StoredFolder(const std::string& folder, const std::string& base, const RunText& text) {
    std::string relative = folder;
    if (folder.size() >= base.size() && text.Same(folder.substr(0, base.size()), base)) {
        relative = folder.substr(base.size());
    } else if (relative.size() >= 2 && relative[1] == ':') {
        relative = relative.substr(2);
    }
    while (!relative.empty() && (relative[0] == '\\' || relative[0] == '/')) relative.erase(0, 1);
    return WithSlashes(relative);
}

class FileCollector {
public:
    FileCollector(const ZipRequest& request, Selection& selection) : request_(request), selection_(selection) {}

    // False when the pattern matched no file.
    bool Collect(const ZipSpec& spec) {
        const std::string base =
            !spec.rootDir.empty() ? AppendBackslash(spec.rootDir) : AppendBackslash(platform::GetCurrentDirectory());
        std::string full = IsAbsolutePath(spec.text) ? spec.text : base + spec.text;
        std::string pattern = LastComponent(full);
        std::string folder = FolderPart(full);
        // A spec naming a folder stands for the files in it.
        if (!HasWildcards(pattern) && platform::DirectoryExists(full)) {
            folder = AppendBackslash(full);
            pattern = "*.*";
        }
        const size_t before = found_;
        Walk(folder, pattern, base);
        return found_ > before;
    }

private:
    void Walk(const std::string& folder, const std::string& pattern, const std::string& base) {
        const std::string* shared = &selection_.folders.emplace_back(folder);
        // With junked folders every file is stored by its name alone.
        const std::string stored = request_.junkFolders ? std::string() : StoredFolder(folder, base, request_.text);
        for (const FileDetails& item : platform::ListDirectory(folder.empty() ? "." : folder)) {
            if (item.IsDirectory()) {
                if (!request_.recurse) continue;
                // A folder of the tree gets an entry of its own, as peers store it, so that an empty
                // folder comes back on extraction; a flattened add has no folders to keep.
                if (request_.folderEntries && !request_.junkFolders) Take(item, shared, stored, pattern);
                Walk(folder + item.name + "\\", pattern, base);
                continue;
            }
            Take(item, shared, stored, pattern);
        }
    }

    // `stored`: what the folder's files are stored under.
    void Take(const FileDetails& item, const std::string* folder, const std::string& stored, const std::string& pattern) {
        if (!request_.text.MatchesWildcard(pattern, item.name)) return;
        ++found_;
        const bool hidden = (item.attributes & (platform::kAttributeHidden | platform::kAttributeSystem)) != 0;
        if (hidden && !request_.systemFiles) {
            selection_.skipped.emplace_back(*folder + item.name, engine::kSkipExcluded);
            return;
        }
        Candidate candidate;
        candidate.folder = folder;
        candidate.attributes = item.attributes;
        candidate.modified = ToDos(item.modified);
        // What a folder's own size means differs by system; its entry holds no data.
        if (!item.IsDirectory()) candidate.size = item.size;
        candidate.storedName = selection_.names.Keep(stored + item.name + (item.IsDirectory() ? "/" : ""));
        // The name on disk ends the stored name, and is not kept twice.
        candidate.name = candidate.storedName.substr(stored.size(), item.name.size());
        selection_.files.push_back(candidate);
    }

    const ZipRequest& request_;
    Selection& selection_;
    size_t found_ = 0;
};

std::string AbsolutePath(const std::string& path) {
    return IsAbsolutePath(path) ? path : AppendBackslash(platform::GetCurrentDirectory()) + path;
}

// The archive added to or deleted from, gone through entry by entry: its directory is walked each
// time it is needed rather than held (a million entries would cost some 140 MiB), and an entry is
// read back by where its header stands.
class ExistingArchive {
public:
    // A missing archive is a new, empty one; false, with the failure reported, when it is damaged.
    bool Open(const ZipRequest& request, Reporter& reporter) {
        const std::string& path = request.archive;
        if (!platform::FileExists(path)) return true;
        stream_.emplace(path, platform::Access::Read, platform::Share::DenyWrite);
        walk_.emplace(*stream_, request.text.Utf8());
        std::string error;
        if (walk_->Open(error)) {
            prefixLength_ = walk_->DirectoryStart();
            const bool read = ForEach([this](uint32_t, const Entry& entry) {
                headers_.push_back(walk_->HeaderPosition());
                prefixLength_ = std::min(prefixLength_, entry.localOffset);
                return true;
            });
            if (read) return true;
            error = kDirectoryDamaged;
        }
        reporter.Failed(path + ": " + error, engine::kSkipReadError);
        return false;
    }

    bool Exists() const { return stream_.has_value(); }
    FileStream& Stream() { return *stream_; }
    uint32_t Count() const { return static_cast<uint32_t>(headers_.size()); }
    // Bytes in front of the first entry (a stub), kept when rewriting.
    int64_t PrefixLength() const { return prefixLength_; }

    // Entry `index` read back, its texts kept in `texts`.
    Entry Read(uint32_t index, TextArena& texts) {
        Entry entry;
        if (!walk_->ReadAt(headers_[index], entry, texts)) platform::RaiseFileError("Cannot read the archive.");
        return entry;
    }

    // Gives `each` every entry in order with its index until it answers false; false then, or when
    // the directory cannot be read (again).
    template <class Each>
    bool ForEach(Each each) {
        return !walk_ || walk_->ForEach([&](size_t index, const Entry& entry) {
            return each(static_cast<uint32_t>(index), entry);
        });
    }

    // Windows renames nothing over an open file.
    void Close() {
        walk_.reset();
        stream_.reset();
    }

private:
    std::optional<FileStream> stream_;
    std::optional<DirectoryWalk> walk_;  // reads stream_
    std::deque<int64_t> headers_;        // where each entry's central header stands
    int64_t prefixLength_ = 0;
};

// Applies the update rules, drops duplicates and the archive itself, in place: a second list of
// the candidates would be the add's largest use of memory. False when the archive's directory
// cannot be read again.
bool FilterCandidates(const ZipRequest& request, ExistingArchive& existing, Selection& selection) {
    const RunText& text = request.text;
    CandidateList& files = selection.files;
    const auto storedKey = [&](uint32_t i) { return text.Key(std::string(files[i].storedName)); };
    // Found by the candidates' places before any of them moves.
    std::vector<bool> dropped(files.size(), false);
    {
        const std::string archive = text.Key(AbsolutePath(request.archive));
        KeySet seen(storedKey);
        for (uint32_t i = 0; i < files.size(); ++i) {
            dropped[i] = text.Key(AbsolutePath(files[i].Path())) == archive || !seen.Insert(i, storedKey(i));
        }
    }
    const auto entryKey = [&](uint32_t i) {
        TextArena texts;
        return text.Key(existing.Read(i, texts).DecodedName());
    };
    KeySet existingByName(entryKey);
    const bool read = existing.ForEach([&](uint32_t i, const Entry& entry) {
        existingByName.Insert(i, text.Key(entry.DecodedName()));
        return true;
    });
    if (!read) return false;
    size_t kept = 0;
    for (uint32_t i = 0; i < files.size(); ++i) {
        if (dropped[i]) continue;
        Candidate& candidate = files[i];
        // A new archive has no entry to find: a key less per file of a large tree.
        const std::optional<uint32_t> found =
            existing.Count() == 0 ? std::nullopt : existingByName.Find(storedKey(i));
        bool wanted = !(request.freshen && !found);
        // The entry is read back only when its time decides.
        if (wanted && found && (request.freshen || request.updateNewer)) {
            TextArena texts;
            const Entry entry = existing.Read(*found, texts);
            wanted = candidate.modified.Combined() > ((static_cast<uint32_t>(entry.DosDate()) << 16) | entry.DosTime());
        }
        if (!wanted) {
            selection.skipped.emplace_back(std::string(candidate.storedName), engine::kSkipNotNewer);
            continue;
        }
        if (kept != i) files[kept] = std::move(candidate);
        ++kept;
    }
    files.resize(kept);
    return true;
}

void CopyBytes(FileStream& from, int64_t offset, int64_t length, platform::Stream& to) {
    if (from.Seek(offset, platform::Origin::Begin) != offset) throw platform::FileError("Cannot read the archive.");
    const zip::CopyResult copy = zip::CopyBytes(from, to, length);
    if (copy.writeShort) throw platform::FileError(std::string("Cannot write ") + kOutputName + ".");
    if (!copy.Whole(length)) throw platform::FileError("Cannot read the archive.");
}

// Copies an existing entry as it is (local header, data, descriptor) and notes its new offset.
bool CopyEntry(FileStream& archive, const Entry& entry, platform::Stream& out, DirectoryWriter& written,
               Reporter& reporter) {
    const int64_t length = RawLength(archive, entry);
    if (length < 0) {
        reporter.Failed("The entry " + entry.ShownName() + " is damaged.", engine::kSkipReadError);
        return false;
    }
    Entry moved = entry;
    moved.localOffset = out.Position();
    CopyBytes(archive, entry.localOffset, length, out);
    written.Add(moved);
    return reporter.Send(engine::kActionNone);  // lets a Cancel through during long copies
}

// Encrypts a file's data as it is written: the traditional cipher, or AES-256 when asked.
class Sealer {
public:
    // `knownCrc`: the traditional cipher's header checks the CRC's high byte.
    Sealer(const ZipRequest& request, uint32_t knownCrc) {
        if (request.strongEncryption) {
            aes_.emplace(request.password, kAesStrength256);
        } else {
            cipher_.emplace(request.password);
            header_ = cipher_->MakeHeader(CheckByte(0, knownCrc, 0));
        }
    }
    const std::vector<uint8_t>& Header() const { return aes_ ? aes_->Header() : header_; }
    void Encrypt(uint8_t* bytes, size_t count) {
        if (aes_) {
            aes_->Encrypt(bytes, count);
        } else {
            cipher_->Encrypt(bytes, count);
        }
    }
    // What follows the data: AES's authentication code, nothing for the traditional cipher.
    std::vector<uint8_t> Trailer() {
        if (!aes_) return {};
        const std::array<uint8_t, zip::kAesMacLength> code = aes_->Code();
        return std::vector<uint8_t>(code.begin(), code.end());
    }
    static int64_t Overhead(const ZipRequest& request) {
        return request.strongEncryption
                   ? static_cast<int64_t>(zip::AesSaltLength(kAesStrength256) + zip::kAesVerifierLength + zip::kAesMacLength)
                   : static_cast<int64_t>(ZipCipher::kHeaderSize);
    }

private:
    std::optional<ZipCipher> cipher_;
    std::optional<AesSealer> aes_;
    std::vector<uint8_t> header_;
};

// Writes one file's data, stored or deflated, encrypted when a sealer is given. Progress is
// reported only while `reporter` is set (a second, storing pass does not count twice). Deflated
// data is cut into blocks that `workers` threads compress; the cipher and the callback stay here.
Outcome WriteData(FileStream& in, platform::Stream& out, int level, unsigned workers, Sealer* sealer,
                  Reporter* reporter, uint32_t& crc, uint64_t& size) {
    const auto deliver = [&](std::vector<uint8_t>& piece, uint32_t inputBytes) {
        if (sealer) sealer->Encrypt(piece.data(), piece.size());
        WriteExactly(out, piece.data(), static_cast<int32_t>(piece.size()), kOutputName);
        return inputBytes == 0 || !reporter || reporter->Send(engine::kActionProgress, std::string(), inputBytes);
    };
    crc = 0;
    size = 0;
    if (level > 0) {
        const BlockDeflateResult result = BlockDeflater(level, workers).Run(
            [&](uint8_t* bytes, int32_t count) { return in.Read(bytes, count); }, deliver);
        crc = result.crc;
        size = static_cast<uint64_t>(result.size);
        return result.completed ? Outcome::Done : Outcome::Cancelled;
    }
    std::vector<uint8_t> piece;
    for (;;) {
        piece.resize(kChunk);
        const int32_t got = in.Read(piece.data(), kChunk);
        if (got <= 0) return Outcome::Done;
        piece.resize(static_cast<size_t>(got));
        crc = UpdateCrc(crc, piece.data(), piece.size());
        size += static_cast<uint64_t>(got);
        if (!deliver(piece, static_cast<uint32_t>(got))) return Outcome::Cancelled;
    }
}

uint32_t FileCrc(FileStream& in) {
    std::vector<uint8_t> buffer(kChunk);
    uint32_t crc = 0;
    while (const int32_t got = in.Read(buffer.data(), kChunk)) {
        crc = UpdateCrc(crc, buffer.data(), static_cast<size_t>(got));
    }
    in.Seek(0, platform::Origin::Begin);
    return crc;
}

// A file compressed by a worker thread, whole, in memory.
struct Packed {
    bool done = false;
    bool failed = false;
    std::string error;
    uint16_t method = kMethodStored;
    uint32_t crc = 0;
    uint32_t size = 0;
    std::vector<uint8_t> data;
};

// Compresses the small files of an add on worker threads, a bounded window ahead of the writer,
// while the calling thread writes them in order and alone talks to the callback. Files above
// kParallelLimit are left to the writer, which streams them.
class ParallelPacker {
public:
    static constexpr size_t kMostFiles = 64;
    static constexpr int64_t kWindowBytes = 12 << 20;

    ParallelPacker(const CandidateList& files, int level, unsigned workers)
        : files_(files),
          level_(level),
          deflaters_(workers),
          jobs_(workers, [this](Job& job, unsigned worker) {
              job.packed = Pack(files_[job.index], level_, deflaters_[worker]);
          }) {}

    bool Handles(size_t index) const {
        return !files_[index].IsDirectory() && files_[index].size <= kParallelLimit;
    }

    // Waits for a file the workers handle and takes its result; the window moves on.
    Packed Take(size_t index) {
        Advance(index);
        return std::move(jobs_.TakeFront()->packed);
    }

    // The writer deals with a file itself: the window moves on.
    void Pass(size_t index) { Advance(index); }

private:
    struct Job {
        size_t index = 0;
        int64_t bytes = 0;
        Packed packed;
        WorkerPool::Ticket ticket;
    };

    // Refilled in batches once half used: workers woken for one small file at a time spend more
    // on waking than on the file.
    void Advance(size_t index) {
        next_ = std::max(next_, index);
        if (jobs_.Size() > kMostFiles / 2) return;
        while (next_ < files_.size() && jobs_.Size() < kMostFiles) {
            if (Handles(next_)) {
                const int64_t bytes = files_[next_].size;
                if (!jobs_.Empty() && jobs_.HeldBytes() + bytes > kWindowBytes) break;
                auto job = std::make_unique<Job>();
                job->index = next_;
                job->bytes = bytes;
                jobs_.Give(std::move(job));
            }
            ++next_;
        }
    }

    // Errors become the result's text: nothing may escape a worker thread. A worker's deflater is
    // made on its first file.
    static Packed Pack(const Candidate& file, int level, std::optional<Deflater>& deflater) {
        Packed packed;
        try {
            if (level > 0 && !deflater) deflater.emplace(level);
            FileStream in(file.Path(), platform::Access::Read, platform::Share::DenyWrite);
            std::vector<uint8_t> raw(static_cast<size_t>(std::max<int64_t>(0, in.Size())));
            raw.resize(static_cast<size_t>(std::max(0, in.Read(raw.data(), static_cast<int32_t>(raw.size())))));
            packed.crc = UpdateCrc(0, raw.data(), raw.size());
            packed.size = static_cast<uint32_t>(raw.size());
            if (deflater && !raw.empty()) {
                deflater->Reset();
                deflater->Compress(raw.data(), raw.size(), true, packed.data);
            }
            if (deflater && !raw.empty() && packed.data.size() < raw.size()) {
                packed.method = kMethodDeflated;
            } else {
                packed.data = std::move(raw);  // deflate did not shrink it: stored
            }
        } catch (const std::exception& error) {
            packed.failed = true;
            packed.error = error.what();
        } catch (...) {
            packed.failed = true;
            packed.error = "Cannot read " + file.Path() + ".";
        }
        return packed;
    }

    const CandidateList& files_;
    const int level_;
    size_t next_ = 0;  // the first file not yet looked at
    std::vector<std::optional<Deflater>> deflaters_;  // one per worker, made on its first file
    OrderedJobs<Job> jobs_;                           // in file order
};

// An added entry's name as stored, and the extra field that goes with it: Info-ZIP's path block
// beside a UTF-8 name, for readers that decode an MS-DOS entry's name as OEM text whatever its flag.
struct StoredEntryName {
    zip::StoredText text;
    std::string extra;
    std::string Bytes() const { return text.bytes + extra; }
};

StoredEntryName NameToStore(const RunText& runText, const std::string& name) {
    StoredEntryName stored{runText.StoredName(name), std::string()};
    if (stored.text.utf8) stored.extra = zip::UnicodePathBlock(stored.text.bytes, stored.text.bytes);
    return stored;
}

// Writes each file's records and data, and gives the directory the entry of each file it wrote.
class EntryWriter {
public:
    EntryWriter(const ZipRequest& request, platform::Stream& out, DirectoryWriter& directory, Reporter& reporter,
                unsigned workers)
        : request_(request), out_(out), directory_(directory), reporter_(reporter), workers_(workers) {}

    Outcome Add(const Candidate& candidate) {
        std::optional<FileStream> in;
        try {
            in.emplace(candidate.Path(), platform::Access::Read, platform::Share::DenyWrite);
        } catch (const platform::FileError& error) {
            reporter_.Message(error.what());
            return reporter_.Skipped(candidate.Path(), engine::kSkipReadError) ? Outcome::Skipped : Outcome::Cancelled;
        }
        const bool encrypt = !request_.password.empty();
        // The cipher header's check byte is the CRC's high byte, so a file encrypted with the
        // traditional cipher is read once for its CRC before its data is written.
        const uint32_t knownCrc = encrypt && !request_.strongEncryption ? FileCrc(*in) : 0;
        const StoredEntryName name = NameToStore(request_.text, std::string(candidate.storedName));
        const bool large = in->Size() >= kLocalZip64From;

        const int64_t headerAt = out_.Position();
        const LocalHeader placeholder;  // filled in once the sizes and the CRC are known
        WriteExactly(out_, placeholder.data(), placeholder.size(), kOutputName);
        WriteText(out_, name.Bytes() + std::string(ExtraLength(encrypt) + (large ? kLocalZip64Block : 0), '\0'),
                  kOutputName);
        const int64_t dataAt = out_.Position();

        uint16_t method = request_.level > 0 ? kMethodDeflated : kMethodStored;
        uint32_t crc = 0;
        uint64_t size = 0;
        Outcome outcome = WritePass(*in, method, knownCrc, encrypt, &reporter_, crc, size);
        if (outcome != Outcome::Done) return outcome;
        // Data that deflate does not shrink is stored instead.
        if (method == kMethodDeflated &&
            static_cast<uint64_t>(out_.Position() - dataAt - (encrypt ? Sealer::Overhead(request_) : 0)) >= size) {
            method = kMethodStored;
            if (out_.Seek(dataAt, platform::Origin::Begin) != dataAt || !out_.Truncate() ||
                in->Seek(0, platform::Origin::Begin) != 0) {
                throw platform::FileError("Cannot rewrite " + std::string(kOutputName) + ".");
            }
            outcome = WritePass(*in, method, knownCrc, encrypt, nullptr, crc, size);
            if (outcome != Outcome::Done) return outcome;
        }
        const int64_t end = out_.Position();
        Entry entry;
        std::string texts;
        LocalHeader local = Describe(candidate, name, method, encrypt, crc, static_cast<uint64_t>(end - dataAt), size,
                                     headerAt, entry, texts);
        std::string localExtra(entry.Extra());
        if (large) localExtra += LocalZip64Block(local, entry);
        if (out_.Seek(headerAt, platform::Origin::Begin) != headerAt) throw platform::FileError("Cannot seek.");
        WriteExactly(out_, local.data(), local.size(), kOutputName);
        if (!localExtra.empty()) {
            WriteText(out_, name.text.bytes + localExtra, kOutputName);
        }
        if (out_.Seek(end, platform::Origin::Begin) != end) throw platform::FileError("Cannot seek.");
        directory_.Add(entry);
        return Outcome::Done;
    }

    // A folder's entry: its name ending in '/', no data, never encrypted, the folder's time.
    Outcome AddFolder(const Candidate& candidate) {
        const StoredEntryName name = NameToStore(request_.text, std::string(candidate.storedName));
        Entry entry;
        std::string texts;
        const LocalHeader local =
            Describe(candidate, name, kMethodStored, false, 0, 0, 0, out_.Position(), entry, texts);
        WriteExactly(out_, local.data(), local.size(), kOutputName);
        WriteText(out_, name.Bytes(), kOutputName);
        directory_.Add(entry);
        return Outcome::Done;
    }

    // Writes a file a worker compressed (Packed), encrypting it here, on the calling thread.
    Outcome AddPacked(const Candidate& candidate, Packed& packed) {
        if (packed.failed) {
            reporter_.Message(packed.error);
            return reporter_.Skipped(candidate.Path(), engine::kSkipReadError) ? Outcome::Skipped : Outcome::Cancelled;
        }
        const bool encrypt = !request_.password.empty();
        const StoredEntryName name = NameToStore(request_.text, std::string(candidate.storedName));
        std::vector<uint8_t> cipherHeader;
        std::vector<uint8_t> trailer;
        if (encrypt) {
            Sealer sealer(request_, packed.crc);
            cipherHeader = sealer.Header();
            sealer.Encrypt(packed.data.data(), packed.data.size());
            trailer = sealer.Trailer();
        }
        const int64_t headerAt = out_.Position();
        const uint32_t compressed = static_cast<uint32_t>(cipherHeader.size() + packed.data.size() + trailer.size());
        Entry entry;
        std::string texts;
        const LocalHeader local = Describe(candidate, name, packed.method, encrypt, packed.crc, compressed, packed.size,
                                           headerAt, entry, texts);
        const std::string_view extra = entry.Extra();
        // One write for a small file's records and data: a tree of small files is mostly calls.
        std::vector<uint8_t> record(local.data(), local.data() + local.size());
        record.insert(record.end(), name.text.bytes.begin(), name.text.bytes.end());
        record.insert(record.end(), extra.begin(), extra.end());
        record.insert(record.end(), cipherHeader.begin(), cipherHeader.end());
        const bool together = packed.data.size() <= static_cast<size_t>(kChunk);
        if (together) record.insert(record.end(), packed.data.begin(), packed.data.end());
        if (together) record.insert(record.end(), trailer.begin(), trailer.end());
        WriteExactly(out_, record.data(), static_cast<int32_t>(record.size()), kOutputName);
        if (!together) {
            WriteExactly(out_, packed.data.data(), static_cast<int32_t>(packed.data.size()), kOutputName);
            WriteExactly(out_, trailer.data(), static_cast<int32_t>(trailer.size()), kOutputName);
        }
        for (uint32_t done = 0; done < packed.size; done += kChunk) {
            const uint32_t part = std::min<uint32_t>(kChunk, packed.size - done);
            if (!reporter_.Send(engine::kActionProgress, std::string(), part)) return Outcome::Cancelled;
        }
        directory_.Add(entry);
        return Outcome::Done;
    }

private:
    // The local header of a written file, and its directory entry in `entry`, whose name and extra
    // field `texts` holds.
    LocalHeader Describe(const Candidate& candidate, const StoredEntryName& name, uint16_t method, bool encrypt,
                         uint32_t crc, uint64_t compressed, uint64_t size, int64_t headerAt, Entry& entry,
                         std::string& texts) const {
        const DosStamp stamp = candidate.modified;
        const bool aes = encrypt && request_.strongEncryption;
        const uint16_t needed = aes ? kVersionAes : (method == kMethodStored && !encrypt) ? kVersionStored : kVersionDeflated;
        const uint16_t flags = (encrypt ? kFlagEncrypted : 0) | (name.text.utf8 ? zip::kFlagUtf8 : 0);
        entry = Entry();
        std::string extra = name.extra;
        if (aes) {
            const uint16_t version = size >= kAe2FromSize ? zip::AesExtraBlock::kAe2 : zip::AesExtraBlock::kAe1;
            const zip::AesExtraBlock block = zip::AesExtraBlock::Make(version, kAesStrength256, method);
            extra.append(reinterpret_cast<const char*>(block.data()), block.size());
            if (version == zip::AesExtraBlock::kAe2) crc = 0;
            method = kMethodAes;
        }
        texts = name.text.bytes + extra;
        entry.texts = texts.data();
        CentralFileHeader& header = entry.header;
        header.SetU32(CentralFileHeader::kSignature, zip::kCentralHeaderSignature);
        header.SetU8(CentralFileHeader::kSpecVersion, kVersionMadeBy);
        header.SetU8(CentralFileHeader::kHostSystem, zip::kHostMsDos);
        header.SetU16(CentralFileHeader::kVersionNeeded, needed);
        header.SetU16(CentralFileHeader::kFlags, flags);
        header.SetU16(CentralFileHeader::kMethod, method);
        header.SetU16(CentralFileHeader::kTime, stamp.time);
        header.SetU16(CentralFileHeader::kDate, stamp.date);
        header.SetU32(CentralFileHeader::kCrc32, crc);
        // Sizes past 32 bits: the directory writer puts them in a ZIP64 block.
        entry.zip64 = compressed >= zip::kZip64Marker32 || size >= zip::kZip64Marker32;
        entry.zip64CompressedSize = static_cast<int64_t>(compressed);
        entry.zip64Size = static_cast<int64_t>(size);
        header.SetU32(CentralFileHeader::kCompressedSize, static_cast<uint32_t>(std::min<uint64_t>(compressed, zip::kZip64Marker32)));
        header.SetU32(CentralFileHeader::kUncompressedSize, static_cast<uint32_t>(std::min<uint64_t>(size, zip::kZip64Marker32)));
        header.SetU32(CentralFileHeader::kExternalAttributes, candidate.attributes & 0x37);  // with the folder bit
        header.SetU16(CentralFileHeader::kFileNameLength, static_cast<uint16_t>(name.text.bytes.size()));
        header.SetU16(CentralFileHeader::kExtraFieldLength, static_cast<uint16_t>(extra.size()));
        entry.localOffset = headerAt;
        // The local header repeats the extra blocks (the AES block among them), which readers look for there.
        LocalHeader local = zip::LocalHeaderFor(header);
        local.SetU16(LocalHeader::kExtraFieldLength, static_cast<uint16_t>(extra.size()));
        return local;
    }

    // A large file's local header: both sizes in a ZIP64 block and the marker in their fields, as
    // Info-ZIP writes them, whatever the sizes came to (the room was kept before they were known).
    static constexpr size_t kLocalZip64Block = 4 + 16;
    static std::string LocalZip64Block(LocalHeader& local, const Entry& entry) {
        const uint64_t sizes[] = {static_cast<uint64_t>(entry.Size()), static_cast<uint64_t>(entry.CompressedSize())};
        local.SetU32(LocalHeader::kCompressedSize, zip::kZip64Marker32);
        local.SetU32(LocalHeader::kUncompressedSize, zip::kZip64Marker32);
        local.SetU16(LocalHeader::kVersionNeeded, std::max<uint16_t>(local.U16(LocalHeader::kVersionNeeded), zip::kVersionZip64));
        local.SetU16(LocalHeader::kExtraFieldLength,
                     static_cast<uint16_t>(local.ExtraFieldLength() + kLocalZip64Block));
        return zip::Zip64ExtraBlock(sizes, 2);
    }

    // The room a file's headers keep for the AES block, which is filled in once its size is known.
    size_t ExtraLength(bool encrypt) const {
        return encrypt && request_.strongEncryption ? static_cast<size_t>(zip::AesExtraBlock::kSize) : 0;
    }

    Outcome WritePass(FileStream& in, uint16_t method, uint32_t knownCrc, bool encrypt, Reporter* reporter,
                      uint32_t& crc, uint64_t& size) {
        std::optional<Sealer> sealer;
        if (encrypt) {
            sealer.emplace(request_, knownCrc);
            const std::vector<uint8_t>& header = sealer->Header();
            WriteExactly(out_, header.data(), static_cast<int32_t>(header.size()), kOutputName);
        }
        const Outcome outcome = WriteData(in, out_, method == kMethodDeflated ? request_.level : 0, workers_,
                                          sealer ? &*sealer : nullptr, reporter, crc, size);
        if (outcome == Outcome::Done && sealer) {
            const std::vector<uint8_t> trailer = sealer->Trailer();
            if (!trailer.empty()) WriteExactly(out_, trailer.data(), static_cast<int32_t>(trailer.size()), kOutputName);
        }
        return outcome;
    }

    const ZipRequest& request_;
    platform::Stream& out_;
    DirectoryWriter& directory_;
    Reporter& reporter_;
    const unsigned workers_;  // for the blocks of one file; 0: compressed on this thread
};

int64_t TotalBytes(const CandidateList& files) {
    int64_t total = 0;
    for (const Candidate& file : files) total += file.size;
    return total;
}


// A temporary file beside the archive, so the final rename stays on one volume; else in the
// temporary folder of the command.
// What a run killed in its midst left there goes first.
std::unique_ptr<TempFile> MakeOutput(const ZipRequest& request, Reporter& reporter) {
    std::string beside = FolderPart(request.archive);
    if (beside.empty()) beside = AppendBackslash(platform::GetCurrentDirectory());
    for (const std::string& folder : {beside, request.tempDir}) {
        if (!folder.empty()) platform::RemoveOrphanedTempFiles(folder, kTempPrefix);
    }
    auto output = std::make_unique<TempFile>(std::initializer_list<std::string>{beside, request.tempDir}, kTempPrefix);
    if (!output->Valid()) {
        reporter.Failed("No temporary file can be made for " + request.archive + ". " + platform::LastFailure().reason,
                        engine::kSkipWriteError);
        return nullptr;
    }
    return output;
}

// The directory of the new archive: past a few megabytes its records wait in a temporary file beside
// the archive (in `spill`), so that a million entries do not stay in memory while their data is written.
DirectoryWriter NewDirectory(const TempFile& output, std::unique_ptr<TempFile>& spill) {
    const std::string folder = FolderPart(output.Path());
    return DirectoryWriter(kOutputName, [folder, &spill]() -> platform::Stream* {
        spill = std::make_unique<TempFile>(std::initializer_list<std::string>{folder}, kTempPrefix);
        return spill->Valid() ? &spill->Stream() : nullptr;
    });
}

// Windows itself refuses to replace a read-only file, but a rename over it would not ask: the
// archive is left alone, with the refusal the system would give.
bool RefusedAsReadOnly(const std::string& archive, Reporter& reporter) {
    FileDetails details;
    if (!platform::GetFileDetails(archive, details) || !(details.attributes & platform::kAttributeReadOnly)) {
        return false;
    }
    reporter.Skipped(archive, engine::kSkipWriteError, platform::AccessDeniedReason());
    return true;
}

std::string StoredComment(const ZipRequest& request, const DirectoryWriter& written) {
    return request.text.StoredArchiveComment(request.comment, written.OemNames());
}

// The directory read once could not be read again (the file changed under the add): nothing was
// replaced.
int32_t DirectoryUnreadable(const ZipRequest& request, Reporter& reporter) {
    reporter.Failed(request.archive + ": " + kDirectoryDamaged, engine::kSkipReadError);
    return 0;
}

bool Finish(TempFile& output, ExistingArchive& archive, const ZipRequest& request, Reporter& reporter) {
    archive.Close();
    if (output.MoveTo(request.archive)) return true;
    reporter.Failed("The archive " + request.archive + " cannot be replaced. " + platform::LastFailure().reason,
                    engine::kSkipWriteError);
    return false;
}

}  // namespace

ZipRequest ReadZipCommand(const ZipCommand& command) {
    ZipRequest request;
    request.text = RunText::FromExtensionWord(command.U32(ZipCommand::kExtensions));
    const auto callerText = [&request](uint32_t word) { return request.text.FromCaller(TextAt(word)); };
    request.archive = callerText(command.U32(ZipCommand::kZipFileName));
    request.tempDir = callerText(command.U32(ZipCommand::kTempDir));
    request.password = request.text.CipherPassword(callerText(command.U32(ZipCommand::kPassword)));
    request.strongEncryption =
        !request.password.empty() &&
        (engine::ExtensionBits(command.U32(ZipCommand::kExtensions)) & engine::kExtStrongEncryption) != 0;
    request.comment = callerText(command.U32(ZipCommand::kComment));
    request.level = std::clamp(static_cast<int32_t>(command.U32(ZipCommand::kLevel)), 0, kMaxLevel);
    request.deleting = Flag(command, ZipCommand::kDeleting);
    request.trace = Flag(command, ZipCommand::kTraceFlag);
    request.junkFolders = Flag(command, ZipCommand::kJunkFolders);
    request.recurse = command.U16(ZipCommand::kRecurse) != 0;
    request.folderEntries = !Flag(command, ZipCommand::kNoFolderEntries);
    request.freshen = Flag(command, ZipCommand::kFreshen);
    request.updateNewer = Flag(command, ZipCommand::kUpdateNewer);
    request.systemFiles = Flag(command, ZipCommand::kSystemFiles);
    const uint32_t count = command.U32(ZipCommand::kSpecCount);
    const uint8_t* specs = engine::WordAddress<const uint8_t>(command.U32(ZipCommand::kSpecs));
    for (uint32_t i = 0; specs && i < count; ++i) {
        ZipSpecEntry entry;
        std::copy(specs + i * ZipSpecEntry::kSize, specs + (i + 1) * ZipSpecEntry::kSize, entry.data());
        ZipSpec spec{callerText(entry.U32(ZipSpecEntry::kSpec)), callerText(entry.U32(ZipSpecEntry::kRootDir))};
        if (entry.U16(ZipSpecEntry::kRecurse) != 0) request.recurse = true;
        if (!spec.text.empty()) request.specs.push_back(std::move(spec));
    }
    return request;
}

int32_t AddFiles(const ZipRequest& request, Reporter& reporter) {
    ExistingArchive archive;
    if (RefusedAsReadOnly(request.archive, reporter) || !archive.Open(request, reporter)) return 0;

    Selection selection;
    FileCollector collector(request, selection);
    std::vector<std::string> unmatched;
    for (const ZipSpec& spec : request.specs) {
        if (!collector.Collect(spec)) unmatched.push_back(spec.text);
    }
    if (!FilterCandidates(request, archive, selection)) return DirectoryUnreadable(request, reporter);

    if (!reporter.Send(engine::kActionBatchFiles, std::string(), static_cast<uint32_t>(selection.files.size())) ||
        !reporter.Send(engine::kActionBatchBytes, std::string(), static_cast<uint64_t>(TotalBytes(selection.files)))) {
        return 0;
    }
    for (const std::string& spec : unmatched) {
        if (!reporter.Skipped(spec, engine::kSkipNotMatched)) return 0;
    }
    for (const auto& [name, reason] : selection.skipped) {
        if (!reporter.Skipped(name, reason)) return 0;
    }
    if (selection.files.empty()) {
        reporter.Send(engine::kActionEndBatch);
        return 0;
    }

    std::unique_ptr<TempFile> output = MakeOutput(request, reporter);
    if (!output) return 0;
    platform::Stream& out = output->Stream();
    std::unique_ptr<TempFile> spill;
    DirectoryWriter written = NewDirectory(*output, spill);
    if (archive.Exists()) {
        CopyBytes(archive.Stream(), 0, archive.PrefixLength(), out);
        const auto fileKey = [&](uint32_t i) { return request.text.Key(std::string(selection.files[i].storedName)); };
        KeySet replaced(fileKey);
        for (uint32_t i = 0; i < selection.files.size(); ++i) replaced.Insert(i, fileKey(i));
        bool copied = true;
        const bool read = archive.ForEach([&](uint32_t, const Entry& entry) {
            copied = replaced.Find(request.text.Key(entry.DecodedName())) ||
                     CopyEntry(archive.Stream(), entry, out, written, reporter);
            return copied;
        });
        if (!copied) return 0;
        if (!read) return DirectoryUnreadable(request, reporter);
    }
    const unsigned workers = std::min(std::thread::hardware_concurrency(), kMaxWorkers);
    EntryWriter writer(request, out, written, reporter, workers > 1 ? workers : 0);
    std::optional<ParallelPacker> packer;
    if (workers > 1 && selection.files.size() > 1) packer.emplace(selection.files, request.level, workers);
    int32_t added = 0;
    for (size_t i = 0; i < selection.files.size(); ++i) {
        const Candidate& file = selection.files[i];
        if (!reporter.Send(engine::kActionBeginFile, WithBackslashes(std::string(file.storedName)),
                          static_cast<uint64_t>(file.size))) {
            return 0;
        }
        if (request.trace && !reporter.Message("Adding " + file.Path() + " as " + std::string(file.storedName))) return 0;
        Outcome outcome = Outcome::Done;
        if (file.IsDirectory()) {
            if (packer) packer->Pass(i);
            outcome = writer.AddFolder(file);
        } else if (packer && packer->Handles(i)) {
            Packed packed = packer->Take(i);
            outcome = writer.AddPacked(file, packed);
        } else {
            if (packer) packer->Pass(i);
            outcome = writer.Add(file);
        }
        if (outcome == Outcome::Cancelled) return 0;
        if (outcome == Outcome::Skipped) continue;
        ++added;
    }
    if (added == 0) {
        reporter.Send(engine::kActionEndBatch);
        return 0;
    }
    written.Write(out, StoredComment(request, written));
    if (!reporter.Send(engine::kActionEndBatch)) return 0;
    return Finish(*output, archive, request, reporter) ? added : 0;
}

int32_t DeleteEntries(const ZipRequest& request, Reporter& reporter) {
    ExistingArchive archive;
    if (!platform::FileExists(request.archive)) {
        reporter.Failed("The archive " + request.archive + " does not exist.", engine::kSkipReadError);
        return 0;
    }
    if (RefusedAsReadOnly(request.archive, reporter) || !archive.Open(request, reporter)) return 0;

    std::vector<bool> doomed(archive.Count(), false);
    std::vector<bool> matched(request.specs.size(), false);
    int32_t count = 0;
    int64_t total = 0;
    const bool chosen = archive.ForEach([&](uint32_t i, const Entry& entry) {
        const std::string name = entry.DecodedName();
        for (size_t spec = 0; spec < request.specs.size(); ++spec) {
            if (request.text.Matches(request.specs[spec].text, name)) doomed[i] = matched[spec] = true;
        }
        if (doomed[i]) {
            ++count;
            total += entry.Size();
        }
        return true;
    });
    if (!chosen) return DirectoryUnreadable(request, reporter);
    std::vector<std::string> unmatched;
    for (size_t spec = 0; spec < request.specs.size(); ++spec) {
        if (!matched[spec]) unmatched.push_back(request.specs[spec].text);
    }
    if (!reporter.Send(engine::kActionBatchFiles, std::string(), static_cast<uint32_t>(count)) ||
        !reporter.Send(engine::kActionBatchBytes, std::string(), static_cast<uint64_t>(total))) {
        return 0;
    }
    for (const std::string& spec : unmatched) {
        if (!reporter.Skipped(spec, engine::kSkipNotMatched)) return 0;
    }
    if (count == 0) {
        reporter.Send(engine::kActionEndBatch);
        return 0;
    }
    std::unique_ptr<TempFile> output = MakeOutput(request, reporter);
    if (!output) return 0;
    platform::Stream& out = output->Stream();
    CopyBytes(archive.Stream(), 0, archive.PrefixLength(), out);
    std::unique_ptr<TempFile> spill;
    DirectoryWriter written = NewDirectory(*output, spill);
    bool going = true;
    const bool read = archive.ForEach([&](uint32_t i, const Entry& entry) {
        if (!doomed[i]) {
            going = CopyEntry(archive.Stream(), entry, out, written, reporter);
        } else {
            going = reporter.Send(engine::kActionBeginFile, entry.ShownName(), static_cast<uint64_t>(entry.Size())) &&
                    (!request.trace || reporter.Message("Deleting " + entry.ShownName())) &&
                    reporter.Send(engine::kActionProgress, std::string(), static_cast<uint64_t>(entry.Size()));
        }
        return going;
    });
    if (!going) return 0;
    if (!read) return DirectoryUnreadable(request, reporter);
    written.Write(out, StoredComment(request, written));
    if (!reporter.Send(engine::kActionEndBatch)) return 0;
    return Finish(*output, archive, request, reporter) ? count : 0;
}

}  // namespace engines
