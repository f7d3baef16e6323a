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

int32_t FindEndRecord(ByteSource& source) {
    const int64_t size = source.Size();
    if (size < kEndRecordSize || size > kLargestArchive) return -1;

    EndOfCentralHeader tail;
    if (!ReadRecordAt(source, size - kEndRecordSize, tail)) return -1;
    if (tail.Signature() == kEndOfCentralSignature && tail.CommentLength() == 0)
        return static_cast<int32_t>(size - kEndRecordSize);

    const int32_t windowSize = static_cast<int32_t>(size < kSearchWindow ? size : kSearchWindow);
    std::vector<uint8_t> window(windowSize);
    if (source.ReadAt(size - windowSize, window.data(), windowSize) != windowSize) return -1;
    const int32_t index = ScanWindowForEndRecord(window);
    return index < 0 ? -1 : static_cast<int32_t>(size - windowSize + index);
}

EndOfArchive FindEndOfArchive(ByteSource& source) {
    EndOfArchive end;
    const int32_t position = FindEndRecord(source);
    if (position < 0 || !ReadRecordAt(source, position, end.record)) return end;
    end.position = position;
    end.zip64Size = Zip64RecordsInFront(source, position, end.record);
    return end;
}

int32_t Zip64RecordsInFront(ByteSource& source, int64_t endPosition, const EndOfCentralHeader& record) {
    if (record.CentralDirSize() == kZip64Marker32 || record.CentralDirOffset() == kZip64Marker32) return -1;
    Zip64Locator locator;
    if (!ReadRecordAt(source, endPosition - Zip64Locator::kSize, locator) ||
        locator.Signature() != kZip64LocatorSignature)
        return 0;
    Zip64EndRecord end64;
    const bool redundant = ReadRecordAt(source, endPosition - kZip64RecordsSize, end64) &&
                           end64.Signature() == kZip64EndSignature &&
                           end64.U64(Zip64EndRecord::kTotalEntries) == record.TotalEntries() &&
                           end64.U64(Zip64EndRecord::kCentralDirSize) == record.CentralDirSize() &&
                           end64.U64(Zip64EndRecord::kCentralDirOffset) == record.CentralDirOffset();
    return redundant ? kZip64RecordsSize : -1;
}

int32_t FindEndOfCentralDir(platform::Stream& stream) {
    StreamSource source(stream);
    const int32_t position = FindEndRecord(source);
    if (position >= 0) stream.Seek(position, platform::Origin::Begin);
    return position;
}

}  // namespace zip
