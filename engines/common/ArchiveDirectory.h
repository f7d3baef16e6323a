// An archive as the engines hold it while they rewrite or extract it: its entries, read through the
// format library, and the writing of its directory.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "zipformat/ByteSource.h"
#include "zipformat/Directory.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ZipRecords.h"

namespace engines {

using zip::CentralFileHeader;
using zip::LocalHeader;
using zip::kFlagEncrypted;
using zip::kFlagStrongEncryption;
using zip::kMethodAes;
using zip::kMethodDeflated;
using zip::kMethodStored;

// Whether this build reads and writes AES entries (the stub is built without them).
#ifdef LARK_STRONG_ENCRYPTION
constexpr bool kStrongEncryptionBuilt = true;
#else
constexpr bool kStrongEncryptionBuilt = false;
#endif

// What our entries say about themselves: made by ZIP format version 2.0 on MS-DOS, so every reader
// decodes the names from the OEM code page.
constexpr uint8_t kVersionMadeBy = 20;
constexpr uint16_t kVersionStored = 10;
constexpr uint16_t kVersionDeflated = 20;

// Bytes kept once and never moved, so views of them stay valid while the arena lives: the texts of
// a million entries in a few large blocks rather than a heap block (and its overhead) each.
class TextArena {
public:
    std::string_view Keep(std::string_view text);

private:
    static constexpr size_t kBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* next_ = nullptr;
    size_t left_ = 0;
};

// One entry of the central directory with its variable parts, and where its local header lies.
struct Entry {
    CentralFileHeader header;  // its length fields are those of the texts
    bool zip64 = false;        // the sizes below stand for the header's saturated fields
    bool oemNames = false;     // the archive's decision, which its every entry follows
    bool unicode = false;      // names decode to UTF-8 (a UTF-8 run), else to the ANSI code page
    // The name, extra field and comment one after another: in the arena of the directory the entry
    // was read into, or in whatever its maker keeps alive while the entry is used.
    const char* texts = nullptr;
    int64_t localOffset = 0;  // in the file, after the shift of data in front of the archive
    // Sizes from the ZIP64 extra field.
    int64_t zip64Size = 0;
    int64_t zip64CompressedSize = 0;
    int64_t dataStart = -1;   // past the local header, once LocateData read it; -1 when damaged

    // The name as stored: the archive's bytes, '/' separators.
    std::string_view Name() const { return std::string_view(texts, header.FileNameLength()); }
    std::string_view Extra() const {
        return std::string_view(texts + header.FileNameLength(), header.ExtraFieldLength());
    }
    std::string_view Comment() const {
        return std::string_view(texts + header.FileNameLength() + header.ExtraFieldLength(), header.FileCommentLength());
    }
    uint16_t Flags() const { return header.Flags(); }
    uint16_t Method() const { return header.Method(); }
    uint32_t Crc() const { return header.Crc32(); }
    int64_t CompressedSize() const { return zip64 ? zip64CompressedSize : header.CompressedSize(); }
    int64_t Size() const { return zip64 ? zip64Size : header.UncompressedSize(); }
    uint16_t DosTime() const { return header.U16(CentralFileHeader::kTime); }
    uint16_t DosDate() const { return header.U16(CentralFileHeader::kDate); }
    bool IsEncrypted() const { return (Flags() & kFlagEncrypted) != 0; }
    bool IsAes() const { return Method() == kMethodAes; }
    // The AES block of an AES entry; one that is missing or unknown reads as not Valid().
    zip::AesExtraBlock AesBlock() const;
    // The method of the data itself, under any AES layer.
    uint16_t DataMethod() const { return IsAes() ? AesBlock().Method() : Method(); }
    // Stored or deflated, under the traditional cipher or AES, without the PKWARE strong
    // encryption: what the engines (and, without AES, the stub) can decode.
    bool MethodSupported() const {
        if (Flags() & kFlagStrongEncryption) return false;
        if (IsAes() && !(kStrongEncryptionBuilt && IsEncrypted() && AesBlock().Valid())) return false;
        return DataMethod() == kMethodStored || DataMethod() == kMethodDeflated;
    }
    bool IsFolder() const {
        const std::string_view name = Name();
        return !name.empty() && (name.back() == '/' || name.back() == '\\');
    }
    // The name in the run's text (UTF-8 or the ANSI code page), decoded by the archive's name rule.
    std::string DecodedName() const;
    // The decoded name with backslashes, as the component's list shows it and the callback reports it.
    std::string ShownName() const;
};

// Grows in blocks, never by copying all it holds: a vector's doubling would briefly need half as much
// again of a directory that is most of an engine's memory.
// The stub's size-optimised link-time build stops on std::deque with an internal error of the
// cross compiler; the stub reads only its own archive's directory, so a vector serves there.
#ifdef LARK_STUB_BUILD
using EntryList = std::vector<Entry>;
#else
using EntryList = std::deque<Entry>;
#endif

struct Directory {
    EntryList entries;
    TextArena texts;  // the entries' names, extra fields and comments
    std::string comment;
    int64_t prefixLength = 0;  // bytes in front of the first entry (a stub), kept when rewriting
};

constexpr const char* kDirectoryDamaged = "The archive's directory is damaged.";

// Walks the directory of an archive an entry at a time, in large reads, ZIP64 records and extra
// fields included: an extractor goes through a million entries without holding them. It reads by
// position only, so worker threads may read the same stream meanwhile.
class DirectoryWalk {
public:
    // `unicode`: the entries' names decode to UTF-8.
    DirectoryWalk(platform::Stream& archive, bool unicode);
    DirectoryWalk(const DirectoryWalk&) = delete;
    DirectoryWalk& operator=(const DirectoryWalk&) = delete;
    // Finds the directory. An empty or missing file is a new, empty archive. False with `error`
    // set when the archive is damaged or spans disks.
    bool Open(std::string& error);
    // The next entry, its texts kept in `texts`; false after the last one and on damage.
    bool Next(Entry& entry, TextArena& texts);
    // The directory is damaged: Next stopped before its last entry.
    bool Failed() const { return failed_; }
    // Where the header of the entry Next gave stands.
    int64_t HeaderPosition() const { return entries_ ? entries_->HeaderPosition() : -1; }
    // Goes back to the first entry.
    void Restart();
    // From the first entry on, gives `each` every entry with its index until it answers false;
    // false then, and when the directory is damaged. The entry may be filled in further (its
    // dataStart); its texts last until the call returns.
    template <class Each>
    bool ForEach(Each each) {
        Restart();
        TextArena texts;
        Entry entry;
        for (size_t index = 0; Next(entry, texts); ++index) {
            if (!each(index, entry)) return false;
            // Only the entry at hand is needed: a million names are not kept.
            if ((index + 1) % kEntriesPerArena == 0) texts = TextArena();
        }
        return !Failed();
    }
    // The entry whose header stands at `position`, one Next gave before; false when it cannot be read.
    bool ReadAt(int64_t position, Entry& entry, TextArena& texts);
    // Where the directory starts: no entry's data lies past it.
    int64_t DirectoryStart() const { return end_.Found() ? end_.DirectoryStart() : 0; }

private:
    class PositionalSource final : public zip::ByteSource {
    public:
        explicit PositionalSource(platform::Stream& stream) : stream_(stream) {}
        int64_t Size() override { return stream_.Size(); }
        int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override;

    private:
        platform::Stream& stream_;
    };

    static constexpr size_t kEntriesPerArena = 4096;

    // Fills `entry` from the header `entries` stands at; false when its ZIP64 values are impossible.
    bool Take(const zip::DirectoryIterator& entries, Entry& entry, TextArena& texts) const;

    PositionalSource source_;
    bool unicode_;
    zip::EndOfArchive end_;
    std::unique_ptr<zip::DirectoryIterator> entries_;
    bool oemNames_ = false;
    bool failed_ = false;
};

// Checks the data of entries for two that overlap (hundreds of directory entries pointing at one
// local record let a small archive expand without bound), holding nothing: entries that come in
// the order their data lies in are checked as they come; once one comes out of that order the
// watch can no longer tell, and the entries must be given to one in that order.
class OverlapWatch {
public:
    // An entry after LocateData; entries with no stored data overlap nothing.
    void Add(const Entry& entry);
    // The bounds of an entry's data: from its local header to the end of its stored bytes.
    void Add(int64_t offset, int64_t end);
    bool Overlapping() const { return overlapping_; }
    bool InOrder() const { return inOrder_; }

private:
    int64_t lastOffset_ = -1;
    int64_t lastEnd_ = 0;
    bool overlapping_ = false;
    bool inOrder_ = true;
};

// Reads the directory of an archive, ZIP64 records and extra fields included. An empty or missing
// file is a new, empty archive. False with `error` set when the archive is damaged or spans disks.
// `unicode`: the entries' names decode to UTF-8.
bool ReadDirectory(platform::Stream& archive, Directory& directory, std::string& error, bool unicode = false);

// The first byte of an entry's data, past its local header; -1 when the local header is damaged.
int64_t DataStart(platform::Stream& archive, const Entry& entry);
// Bytes from an entry's local header to the end of its data and data descriptor; -1 when damaged.
int64_t RawLength(platform::Stream& archive, const Entry& entry);

// Reads every entry's local header once, for its dataStart.
void LocateData(platform::Stream& archive, Directory& directory);
// Whether the data of two entries overlap (hundreds of directory entries pointing at one local
// record let a small archive expand without bound), after LocateData; extractors refuse such an
// archive whole, as Info-ZIP's unzip does. Entries with no stored data overlap nothing.
bool EntriesOverlap(const Directory& directory);
// The same of an archive's whole directory, walked again: for an archive whose data does not lie in
// the order of its directory, which an OverlapWatch cannot judge (16 bytes an entry with data).
bool EntriesOverlap(DirectoryWalk& walk, platform::Stream& archive);

// Whole-record I/O; a short read or write throws the platform's FileError naming `what`.
void ReadExactly(platform::Stream& stream, void* buffer, int32_t count, const std::string& what);
void WriteExactly(platform::Stream& stream, const void* buffer, int32_t count, const std::string& what);
void WriteText(platform::Stream& stream, const std::string& text, const std::string& what);

// The central directory of a new archive, gathered as its entries are written: each entry's record
// as it will stand in the file (a few dozen bytes, no entry kept beside it), written after the data.
// Values past 32 bits (65535 entries or more, sizes and offsets from 4 GiB) go into ZIP64 extra
// blocks and records, as Info-ZIP 3 writes them; a directory within the old limits is written as it
// always was.
class DirectoryWriter {
public:
    // Where the records go once a few megabytes of them gathered, asked for when first needed;
    // without one (or when it gives none) they stay in memory.
    using Spill = std::function<platform::Stream*()>;

    // `what`: the file written, as failures name it.
    explicit DirectoryWriter(std::string what, Spill spill = Spill());
    // The entry's record with its offset as given.
    void Add(const Entry& entry);
    // Whether the archive's names are OEM text: the first entry's decision, as every reader takes it.
    bool OemNames() const;
    // The records gathered and the end record with `comment`.
    void Write(platform::Stream& out, const std::string& comment);

private:
    static constexpr size_t kBlock = 256 * 1024;  // also the size of a write
    static constexpr size_t kHeldBlocks = 16;
    void SpillBlocks();

    std::string what_;
    Spill spill_;
    platform::Stream* spilled_ = nullptr;
    int64_t spilledBytes_ = 0;
    std::vector<std::vector<uint8_t>> blocks_;
    uint64_t count_ = 0;
    std::optional<CentralFileHeader> first_;
};

// The end record (and the ZIP64 records in front of it when a value needs them) of a directory of
// `count` entries from `directoryStart` to `directoryEnd`.
void WriteEndRecords(platform::Stream& out, uint64_t count, int64_t directoryStart, int64_t directoryEnd,
                     const std::string& comment, const std::string& what);

}  // namespace engines
