// The end-record finder and the ZIP64 records in front of the end record.
#include "zipformat/EndRecord.h"

#include <vector>

#include "platform/Files.h"

namespace zip {
namespace {

constexpr int32_t kEndRecordSize = EndOfCentralHeader::kSize;
// A comment can be 65535 bytes long, so the record can start that far before the last 22 bytes.
constexpr int32_t kSearchWindow = kMaxFieldLength + kEndRecordSize;

uint32_t LittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// Index in `window` of the end record: the last signature whose comment ends exactly at the end of
// the file wins, so that "PK\5\6" inside a comment cannot hide the real record; when no candidate
// fits exactly, the last signature is taken, as older readers do.
int32_t ScanWindowForEndRecord(const std::vector<uint8_t>& window) {
    const int32_t windowSize = static_cast<int32_t>(window.size());
    int32_t lastSignature = -1;
    for (int32_t i = windowSize - kEndRecordSize; i >= 0; --i) {
        if (LittleEndian32(&window[i]) != kEndOfCentralSignature) continue;
        if (lastSignature < 0) lastSignature = i;
        const int32_t commentLength = window[i + EndOfCentralHeader::kCommentLength] |
                                      (window[i + EndOfCentralHeader::kCommentLength + 1] << 8);
        if (i + kEndRecordSize + commentLength == windowSize) return i;
    }
    return lastSignature;
}

template <class R>
bool ReadRecordAt(ByteSource& source, int64_t offset, R& record) {
    return offset >= 0 && source.ReadAt(offset, record.data(), R::size()) == R::size();
}

}  // namespace

int64_t FindEndRecord(ByteSource& source) {
    const int64_t size = source.Size();
    if (size < kEndRecordSize) return -1;

    EndOfCentralHeader tail;
    if (!ReadRecordAt(source, size - kEndRecordSize, tail)) return -1;
    if (tail.Signature() == kEndOfCentralSignature && tail.CommentLength() == 0) return size - kEndRecordSize;

    const int32_t windowSize = static_cast<int32_t>(size < kSearchWindow ? size : kSearchWindow);
    std::vector<uint8_t> window(windowSize);
    if (source.ReadAt(size - windowSize, window.data(), windowSize) != windowSize) return -1;
    const int32_t index = ScanWindowForEndRecord(window);
    return index < 0 ? -1 : size - windowSize + index;
}

EndOfArchive FindEndOfArchive(ByteSource& source) {
    EndOfArchive end;
    const int64_t position = FindEndRecord(source);
    if (position < 0 || !ReadRecordAt(source, position, end.record)) return end;
    end.position = position;
    ResolveZip64(source, end);
    return end;
}

bool EndOfArchive::Saturated() const {
    return record.TotalEntries() == kZip64Marker16 || record.EntriesOnDisk() == kZip64Marker16 ||
           record.CentralDirSize() == kZip64Marker32 || record.CentralDirOffset() == kZip64Marker32;
}

namespace {

// The ZIP64 end record the locator in front of the end record names: at the locator's offset, or,
// in an archive behind a stub whose offsets were not moved, directly in front of the locator. On
// the last disk of a set the record is read when it stands on that disk, where writers of split
// archives put it; `otherDisk` says that the locator names an earlier disk of the set.
bool FindZip64EndRecord(ByteSource& source, const EndOfCentralHeader& record, int64_t endPosition,
                        Zip64EndRecord& end64, int64_t& at, bool& otherDisk) {
    otherDisk = false;
    Zip64Locator locator;
    const int64_t locatorAt = endPosition - Zip64Locator::kSize;
    if (!ReadRecordAt(source, locatorAt, locator) || locator.Signature() != kZip64LocatorSignature) return false;
    const uint32_t thisDisk = record.ThisDisk();
    if (thisDisk == 0 ? locator.EndRecordDisk() != 0 || locator.TotalDisks() > 1 : locator.TotalDisks() != thisDisk + 1)
        return false;
    if (locator.EndRecordDisk() != thisDisk) {
        otherDisk = true;
        return false;
    }
    const auto soundAt = [&](int64_t candidate) {
        return candidate >= 0 && candidate <= locatorAt - Zip64EndRecord::kSize &&
               ReadRecordAt(source, candidate, end64) && end64.Signature() == kZip64EndSignature &&
               end64.RecordSize() >= Zip64EndRecord::kSize - 12 &&
               end64.RecordSize() <= static_cast<uint64_t>(locatorAt - candidate - 12);
    };
    const uint64_t named = locator.EndRecordOffset();
    if (named <= static_cast<uint64_t>(locatorAt) && soundAt(static_cast<int64_t>(named))) {
        at = static_cast<int64_t>(named);
        return true;
    }
    at = locatorAt - Zip64EndRecord::kSize;
    return soundAt(at) && end64.RecordSize() == Zip64EndRecord::kSize - 12;
}

}  // namespace

void ResolveZip64(ByteSource& source, EndOfArchive& end) {
    const EndOfCentralHeader& record = end.record;
    end.entries = record.TotalEntries();
    end.entriesOnDisk = record.EntriesOnDisk();
    end.directorySize = record.CentralDirSize();
    end.directoryOffset = record.CentralDirOffset();
    end.zip64 = Zip64State::None;
    end.zip64Position = -1;

    const bool saturated = end.Saturated();
    Zip64EndRecord end64;
    int64_t at = -1;
    bool otherDisk = false;
    if (!FindZip64EndRecord(source, record, end.position, end64, at, otherDisk)) {
        if (otherDisk && saturated) {
            end.zip64 = Zip64State::OtherDisk;
            return;
        }
        // Exactly 65535 entries without ZIP64 records is an ordinary archive: writers of 32-bit
        // archives count so, and other readers take the count as it stands.
        const bool sizeOrOffset =
            end.record.CentralDirSize() == kZip64Marker32 || end.record.CentralDirOffset() == kZip64Marker32;
        if (sizeOrOffset) end.zip64 = Zip64State::Damaged;
        return;
    }
    // Each field: the ZIP64 value where the end record's is saturated, else the two must agree.
    bool agrees = true;
    const auto take = [&](uint64_t ordinary, bool full, uint64_t wide) {
        if (full) return wide;
        agrees = agrees && wide == ordinary;
        return ordinary;
    };
    const uint64_t entries = take(record.TotalEntries(), record.TotalEntries() == kZip64Marker16, end64.TotalEntries());
    const uint64_t onDisk =
        take(record.EntriesOnDisk(), record.EntriesOnDisk() == kZip64Marker16, end64.EntriesOnDisk());
    const uint64_t size =
        take(record.CentralDirSize(), record.CentralDirSize() == kZip64Marker32, end64.CentralDirSize());
    const uint64_t offset =
        take(record.CentralDirOffset(), record.CentralDirOffset() == kZip64Marker32, end64.CentralDirOffset());
    // A set's ZIP64 record names the same disks: sets stop far below 65535 disks, so their
    // numbers are never saturated.
    const bool multiDisk = record.ThisDisk() != 0;
    if (multiDisk && (end64.ThisDisk() != record.ThisDisk() || end64.CentralDirDisk() != record.CentralDirDisk()))
        agrees = false;
    if (!agrees) {
        end.zip64 = Zip64State::Contradicts;
        return;
    }
    // A directory larger than what stands in front of the record, or starting past it, is damage,
    // not a value to compute with; one that starts on an earlier disk of a set is not measured here.
    const bool directoryHere = !multiDisk || record.CentralDirDisk() == record.ThisDisk();
    if (saturated && directoryHere && (size > static_cast<uint64_t>(at) || offset > static_cast<uint64_t>(at))) {
        end.zip64 = Zip64State::Damaged;
        return;
    }
    end.entries = entries;
    end.entriesOnDisk = onDisk;
    end.directorySize = static_cast<int64_t>(size);
    end.directoryOffset = static_cast<int64_t>(offset);
    end.zip64 = Zip64State::Read;
    end.zip64Position = at;
}

int64_t FindEndOfCentralDir(platform::Stream& stream) {
    StreamSource source(stream);
    const int64_t position = FindEndRecord(source);
    if (position >= 0) stream.Seek(position, platform::Origin::Begin);
    return position;
}

}  // namespace zip
