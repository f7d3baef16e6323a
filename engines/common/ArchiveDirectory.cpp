// Reading an archive's directory through the format library, and writing ZIP records for the engines.
#include "engines/common/ArchiveDirectory.h"

#include <algorithm>

#include "zipformat/CopyBytes.h"
#include "zipformat/Directory.h"
#include "zipformat/EndRecord.h"
#include "zipformat/NameRule.h"
#include "zipformat/UnicodeNames.h"

namespace engines {
namespace {

using zip::DataDescriptor;
using zip::EndOfCentralHeader;

bool ReadAt(platform::Stream& stream, int64_t offset, void* buffer, int32_t count) {
    return stream.ReadAt(offset, buffer, count) == count;
}

bool SizesSaturated(const CentralFileHeader& header) {
    return header.CompressedSize() == zip::kZip64Marker32 || header.UncompressedSize() == zip::kZip64Marker32;
}

// Values past this are damage, not sizes: they keep every sum of positions within 64 bits.
constexpr uint64_t kLargestValue = uint64_t{1} << 60;

constexpr const char* kNotZip = "The file is not a ZIP archive.";
constexpr const char* kSpansDisks = "The archive spans several disks.";
constexpr const char* kZip64Damaged = "The archive needs its ZIP64 records, but they are missing or damaged.";
constexpr const char* kZip64Contradicts = "The archive's ZIP64 end record contradicts its end record.";
constexpr const char* kDirectoryOutside = "The archive's directory lies outside the file.";

// The entry's sizes and offset from the ZIP64 extra field where its header's fields are
// saturated; false when the field is missing, short or holds impossible values.
bool ResolveEntry(Entry& entry, int64_t shift) {
    zip::Zip64Values values;
    if (!zip::ResolveZip64(entry.header, entry.Extra(), values)) return false;
    if (values.uncompressedSize > kLargestValue || values.compressedSize > kLargestValue ||
        values.localHeaderOffset > kLargestValue)
        return false;
    entry.zip64 = values.uncompressedSize != entry.header.UncompressedSize() ||
                  values.compressedSize != entry.header.CompressedSize() ||
                  values.localHeaderOffset != entry.header.LocalHeaderOffset();
    entry.zip64Size = static_cast<int64_t>(values.uncompressedSize);
    entry.zip64CompressedSize = static_cast<int64_t>(values.compressedSize);
    entry.localOffset = static_cast<int64_t>(values.localHeaderOffset) + shift;
    return true;
}

// An end record whose directory the engines can read; false with `error` set when there is none,
// when the archive spans disks or its records are damaged.
bool Readable(const zip::EndOfArchive& end, std::string& error) {
    if (!end.Found()) {
        error = kNotZip;
        return false;
    }
    const EndOfCentralHeader& record = end.record;
    if (record.ThisDisk() != 0 || record.CentralDirDisk() != 0 || end.entriesOnDisk != end.entries) {
        error = kSpansDisks;
        return false;
    }
    if (!end.Usable()) {
        error = end.zip64 == zip::Zip64State::Contradicts ? kZip64Contradicts : kZip64Damaged;
        return false;
    }
    if (end.directorySize + end.directoryOffset > end.DirectoryEnd()) {
        error = kDirectoryOutside;
        return false;
    }
    return true;
}

// The entry `entries` stands at, its texts kept in `texts`; false when its ZIP64 values are
// impossible. `shift`: data in front of the archive (a stub) moves every offset by the same amount
// when the offsets were written relative to the archive itself.
bool TakeEntry(const zip::DirectoryIterator& entries, int64_t shift, bool oemNames, bool unicode, TextArena& texts,
               Entry& entry) {
    entry.header = entries.Header();
    entry.dataStart = -1;
    entry.texts = texts.Keep(entries.VariableFields()).data();
    entry.oemNames = oemNames;
    entry.unicode = unicode;
    return ResolveEntry(entry, shift);
}

}  // namespace

std::string_view TextArena::Keep(std::string_view text) {
    if (text.empty()) return std::string_view();
    char* at = nullptr;
    if (text.size() > kBlock / 4) {
        // A long text gets a block of its own, and the block in use stays in use.
        blocks_.push_back(std::make_unique<char[]>(text.size()));
        at = blocks_.back().get();
    } else {
        if (text.size() > left_) {
            blocks_.push_back(std::make_unique<char[]>(kBlock));
            next_ = blocks_.back().get();
            left_ = kBlock;
        }
        at = next_;
        next_ += text.size();
        left_ -= text.size();
    }
    std::copy(text.begin(), text.end(), at);
    return std::string_view(at, text.size());
}

zip::AesExtraBlock Entry::AesBlock() const {
    zip::AesExtraBlock block;
    zip::AesExtraBlock::Find(Extra(), block);
    return block;
}

std::string Entry::DecodedName() const {
    // Decoded as the archive component decodes it, so a name from its list selects this entry.
    if (unicode) return zip::EntryNameUtf8(Name(), Flags(), Extra(), oemNames);
    return zip::DecodeText(zip::EntryTextEncoding(header, oemNames), std::string(Name()));
}

std::string Entry::ShownName() const {
    std::string shown = DecodedName();
    std::replace(shown.begin(), shown.end(), '/', '\\');
    return shown;
}

DirectoryWalk::DirectoryWalk(platform::Stream& archive, bool unicode) : source_(archive), unicode_(unicode) {}

int32_t DirectoryWalk::PositionalSource::ReadAt(int64_t offset, void* buffer, int32_t count) {
    if (offset < 0 || count <= 0) return 0;
    return std::max(stream_.ReadAt(offset, buffer, count), 0);
}

bool DirectoryWalk::Open(std::string& error) {
    if (source_.Size() == 0) return true;
    end_ = zip::FindEndOfArchive(source_);
    if (!Readable(end_, error)) return false;
    Restart();
    return true;
}

void DirectoryWalk::Restart() {
    if (!end_.Found()) return;
    entries_ = std::make_unique<zip::DirectoryIterator>(source_, end_);
    failed_ = false;
}

bool DirectoryWalk::Take(const zip::DirectoryIterator& entries, Entry& entry, TextArena& texts) const {
    return TakeEntry(entries, end_.Shift(), oemNames_, unicode_, texts, entry);
}

bool DirectoryWalk::Next(Entry& entry, TextArena& texts) {
    if (!entries_ || failed_) return false;
    if (!entries_->Next()) {
        failed_ = entries_->Failed();
        return false;
    }
    if (entries_->Index() == 0) oemNames_ = entries_->OemNames();
    failed_ = !Take(*entries_, entry, texts);
    return !failed_;
}

bool DirectoryWalk::ReadAt(int64_t position, Entry& entry, TextArena& texts) {
    // Only the entry's own bytes: a buffer's worth of the directory for each entry read back would
    // be most of an update's reading.
    CentralFileHeader header;
    if (source_.ReadAt(position, header.data(), CentralFileHeader::kSize) != CentralFileHeader::kSize) return false;
    const int64_t end = std::min(end_.DirectoryEnd(), position + CentralFileHeader::kSize + header.VariableLength());
    zip::DirectoryIterator one(source_, position, end, 1);
    return one.Next() && Take(one, entry, texts);
}

bool ReadDirectory(platform::Stream& archive, Directory& directory, std::string& error, bool unicode) {
    directory = Directory();
    if (archive.Size() == 0) return true;
    zip::StreamSource source(archive);
    const zip::EndOfArchive end = zip::FindEndOfArchive(source);
    if (!Readable(end, error)) return false;
    zip::DirectoryIterator entries(source, end);
    while (entries.Next()) {
        Entry entry;
        if (!TakeEntry(entries, end.Shift(), entries.OemNames(), unicode, directory.texts, entry)) {
            error = kDirectoryDamaged;
            return false;
        }
        directory.entries.push_back(std::move(entry));
    }
    if (entries.Failed()) {
        error = kDirectoryDamaged;
        return false;
    }
    const int32_t commentLength = end.record.CommentLength();
    directory.comment.assign(static_cast<size_t>(commentLength), '\0');
    if (commentLength > 0 &&
        source.ReadAt(end.position + EndOfCentralHeader::kSize, &directory.comment[0], commentLength) != commentLength)
        directory.comment.clear();
    directory.prefixLength = end.DirectoryStart();
    for (const Entry& entry : directory.entries)
        directory.prefixLength = std::min(directory.prefixLength, entry.localOffset);
    return true;
}

namespace {

// The entry's local header, checked; false when it cannot be read or is not one.
bool ReadLocalHeader(platform::Stream& archive, const Entry& entry, LocalHeader& local) {
    return ReadAt(archive, entry.localOffset, local.data(), LocalHeader::kSize) &&
           local.Signature() == zip::kLocalHeaderSignature;
}

int64_t DataStartOf(const Entry& entry, const LocalHeader& local) {
    return entry.localOffset + LocalHeader::kSize + local.FileNameLength() + local.ExtraFieldLength();
}

// Info-ZIP writing to a pipe puts the ZIP64 extra field in the local header and then 8-byte
// sizes in the descriptor, whatever the entry's size; writers that learn an entry's size only at
// its end give it 8-byte sizes when it needs ZIP64 in the directory.
bool HasZip64Extra(platform::Stream& archive, const LocalHeader& local, int64_t dataStart) {
    std::string extra(local.ExtraFieldLength(), '\0');
    const int32_t length = static_cast<int32_t>(extra.size());
    return length > 0 && ReadAt(archive, dataStart - length, &extra[0], length) &&
           zip::HasExtraBlock(extra, zip::kZip64ExtraId);
}

}  // namespace

int64_t DataStart(platform::Stream& archive, const Entry& entry) {
    LocalHeader local;
    return ReadLocalHeader(archive, entry, local) ? DataStartOf(entry, local) : -1;
}

int64_t RawLength(platform::Stream& archive, const Entry& entry) {
    LocalHeader local;
    if (!ReadLocalHeader(archive, entry, local)) return -1;
    const int64_t dataStart = DataStartOf(entry, local);
    int64_t end = dataStart + entry.CompressedSize();
    if (entry.Flags() & zip::kFlagDataDescriptor) {
        const bool wide = SizesSaturated(entry.header) || HasZip64Extra(archive, local, dataStart);
        const int32_t unsignedSize = wide ? DataDescriptor::kUnsignedZip64Size : DataDescriptor::kUnsignedSize;
        // The descriptor's signature is optional: it is there when the four bytes after the data
        // hold it and the CRC follows it (a CRC that happens to equal the signature is then told
        // apart by the next word).
        DataDescriptor descriptor;
        const bool read = ReadAt(archive, end, descriptor.data(), 8);
        const bool signature = read && descriptor.Signature() == zip::kDataDescriptorSignature &&
                               (descriptor.U32(DataDescriptor::kCrc32) == entry.Crc() ||
                                entry.Crc() != zip::kDataDescriptorSignature);
        end += unsignedSize + (signature ? 4 : 0);
    }
    return end - entry.localOffset;
}

void LocateData(platform::Stream& archive, Directory& directory) {
    for (Entry& entry : directory.entries) entry.dataStart = DataStart(archive, entry);
}

namespace {

// Entries that read nothing another could share (an empty file, a folder): writers leave such
// entries pointing at one local header, and peers extract them.
bool HasStoredData(const Entry& entry) { return entry.CompressedSize() != 0 && entry.dataStart >= 0; }

int64_t DataEnd(const Entry& entry) { return entry.dataStart + entry.CompressedSize(); }

}  // namespace

void OverlapWatch::Add(const Entry& entry) {
    if (HasStoredData(entry)) Add(entry.localOffset, DataEnd(entry));
}

void OverlapWatch::Add(int64_t offset, int64_t end) {
    if (offset < lastOffset_) inOrder_ = false;
    // Two entries at one offset overlap whatever their order: they share a local header.
    if (inOrder_ && offset < lastEnd_) overlapping_ = true;
    lastOffset_ = offset;
    lastEnd_ = end;
}

namespace {

// Whether any of the data between these bounds overlap; the bounds are sorted here.
bool BoundsOverlap(std::vector<std::pair<int64_t, int64_t>>& bounds) {
    std::sort(bounds.begin(), bounds.end());
    OverlapWatch watch;
    for (const auto& [offset, end] : bounds) watch.Add(offset, end);
    return watch.Overlapping();
}

}  // namespace

bool EntriesOverlap(const Directory& directory) {
    OverlapWatch watch;
    for (const Entry& entry : directory.entries) watch.Add(entry);
    if (watch.InOrder()) return watch.Overlapping();
    // The entries themselves, sorted by where they lie: a copy of their bounds would cost four
    // times the room.
    std::vector<const Entry*> stored;
    for (const Entry& entry : directory.entries) {
        if (HasStoredData(entry)) stored.push_back(&entry);
    }
    std::sort(stored.begin(), stored.end(), [](const Entry* a, const Entry* b) {
        return a->localOffset != b->localOffset ? a->localOffset < b->localOffset : DataEnd(*a) < DataEnd(*b);
    });
    OverlapWatch sorted;
    for (const Entry* entry : stored) sorted.Add(*entry);
    return sorted.Overlapping();
}

bool EntriesOverlap(DirectoryWalk& walk, platform::Stream& archive) {
    std::vector<std::pair<int64_t, int64_t>> bounds;
    walk.ForEach([&](size_t, Entry& entry) {
        entry.dataStart = DataStart(archive, entry);
        if (HasStoredData(entry)) bounds.emplace_back(entry.localOffset, DataEnd(entry));
        return true;
    });
    return BoundsOverlap(bounds);
}

void ReadExactly(platform::Stream& stream, void* buffer, int32_t count, const std::string& what) {
    if (stream.Read(buffer, count) != count) platform::RaiseFileError("Cannot read " + what + ".");
}

void WriteExactly(platform::Stream& stream, const void* buffer, int32_t count, const std::string& what) {
    if (count > 0 && stream.Write(buffer, count) != count) {
        platform::RaiseFileError("Cannot write " + what + ". " + platform::LastFailure().reason);
    }
}

void WriteText(platform::Stream& stream, const std::string& text, const std::string& what) {
    WriteExactly(stream, text.data(), static_cast<int32_t>(text.size()), what);
}

namespace {

constexpr uint64_t kLargest32 = zip::kZip64Marker32 - 1;  // the marker itself says "in the ZIP64 field"

// The central header and extra field of one entry: a value past 32 bits goes into a ZIP64 block
// and its field holds the marker; an entry whose values all fit is written as an ordinary one (a
// ZIP64 block it was read through is dropped, any other extra block stays as it was).
CentralFileHeader DirectoryHeader(const Entry& entry, std::string& extra) {
    CentralFileHeader header = entry.header;
    const uint64_t values[] = {static_cast<uint64_t>(entry.Size()), static_cast<uint64_t>(entry.CompressedSize()),
                               static_cast<uint64_t>(entry.localOffset)};
    const size_t fields[] = {CentralFileHeader::kUncompressedSize, CentralFileHeader::kCompressedSize,
                             CentralFileHeader::kLocalHeaderOffset};
    uint64_t wide[3];
    size_t wideCount = 0;
    for (size_t i = 0; i < 3; ++i) {
        const bool fits = values[i] <= kLargest32;
        header.SetU32(fields[i], fits ? static_cast<uint32_t>(values[i]) : zip::kZip64Marker32);
        if (!fits) wide[wideCount++] = values[i];
    }
    extra = std::string(entry.Extra());
    if (wideCount > 0 || entry.zip64) extra = zip::WithoutExtraBlocks(extra, zip::kZip64ExtraId);
    if (wideCount > 0) {
        extra += zip::Zip64ExtraBlock(wide, wideCount);
        header.SetU16(CentralFileHeader::kVersionNeeded,
                      std::max<uint16_t>(header.U16(CentralFileHeader::kVersionNeeded), zip::kVersionZip64));
    }
    return header;
}

}  // namespace

DirectoryWriter::DirectoryWriter(std::string what, Spill spill) : what_(std::move(what)), spill_(std::move(spill)) {}

void DirectoryWriter::Add(const Entry& entry) {
    std::string extra;
    CentralFileHeader header = DirectoryHeader(entry, extra);
    const std::string_view name = entry.Name();
    const std::string_view comment = entry.Comment();
    header.SetU16(CentralFileHeader::kExtraFieldLength, static_cast<uint16_t>(extra.size()));
    header.SetU16(CentralFileHeader::kDiskNumberStart, 0);
    const size_t length = header.size() + name.size() + extra.size() + comment.size();
    if (blocks_.empty() || blocks_.back().size() + length > kBlock) {
        if (blocks_.size() >= kHeldBlocks) SpillBlocks();
        blocks_.emplace_back();
        blocks_.back().reserve(std::max(kBlock, length));
    }
    std::vector<uint8_t>& block = blocks_.back();
    block.insert(block.end(), header.data(), header.data() + header.size());
    for (const std::string_view text : {name, std::string_view(extra), comment}) {
        block.insert(block.end(), text.begin(), text.end());
    }
    if (!first_) first_ = header;
    ++count_;
}

void DirectoryWriter::SpillBlocks() {
    if (!spill_) return;
    if (!spilled_) {
        spilled_ = spill_();
        if (!spilled_) {
            spill_ = Spill();
            return;
        }
    }
    for (const std::vector<uint8_t>& block : blocks_) {
        WriteExactly(*spilled_, block.data(), static_cast<int32_t>(block.size()), what_);
        spilledBytes_ += static_cast<int64_t>(block.size());
    }
    blocks_.clear();
}

bool DirectoryWriter::OemNames() const { return !first_ || zip::ArchiveUsesOemNames(*first_); }

void DirectoryWriter::Write(platform::Stream& out, const std::string& comment) {
    const int64_t start = out.Position();
    if (spilledBytes_ > 0) {
        if (spilled_->Seek(0, platform::Origin::Begin) != 0) platform::RaiseFileError("Cannot read " + what_ + ".");
        const zip::CopyResult copy = zip::CopyBytes(*spilled_, out, spilledBytes_);
        if (copy.writeShort) {
            platform::RaiseFileError("Cannot write " + what_ + ". " + platform::LastFailure().reason);
        }
        if (!copy.Whole(spilledBytes_)) platform::RaiseFileError("Cannot read " + what_ + ".");
    }
    int64_t end = start + spilledBytes_;
    for (const std::vector<uint8_t>& block : blocks_) {
        WriteExactly(out, block.data(), static_cast<int32_t>(block.size()), what_);
        end += static_cast<int64_t>(block.size());
    }
    WriteEndRecords(out, count_, start, end, comment, what_);
}

void WriteEndRecords(platform::Stream& out, uint64_t count, int64_t directoryStart, int64_t directoryEnd,
                     const std::string& comment, const std::string& what) {
    const uint64_t size = static_cast<uint64_t>(directoryEnd - directoryStart);
    const uint64_t offset = static_cast<uint64_t>(directoryStart);
    // As Info-ZIP 3 writes them: the ZIP64 records only when a value does not fit, and then the
    // fields that do not fit hold their markers.
    const bool countFits = count < zip::kMaxEntries;
    if (!countFits || size > kLargest32 || offset > kLargest32) {
        const zip::Zip64EndRecord record64 = zip::Zip64EndRecord::Make(zip::kVersionZip64, count, size, offset);
        const zip::Zip64Locator locator = zip::Zip64Locator::Make(static_cast<uint64_t>(directoryEnd));
        WriteExactly(out, record64.data(), record64.size(), what);
        WriteExactly(out, locator.data(), locator.size(), what);
    }
    const std::string kept = comment.substr(0, zip::kMaxFieldLength);
    EndOfCentralHeader record = EndOfCentralHeader::Empty();
    const uint16_t count16 = countFits ? static_cast<uint16_t>(count) : 0xFFFF;
    record.SetU16(EndOfCentralHeader::kEntriesOnDisk, count16);
    record.SetU16(EndOfCentralHeader::kTotalEntries, count16);
    record.SetU32(EndOfCentralHeader::kCentralDirSize, size > kLargest32 ? zip::kZip64Marker32 : static_cast<uint32_t>(size));
    record.SetU32(EndOfCentralHeader::kCentralDirOffset, offset > kLargest32 ? zip::kZip64Marker32 : static_cast<uint32_t>(offset));
    record.SetU16(EndOfCentralHeader::kCommentLength, static_cast<uint16_t>(kept.size()));
    WriteExactly(out, record.data(), record.size(), what);
    WriteText(out, kept, what);
}

}  // namespace engines
