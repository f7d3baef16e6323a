// Reading and writing the fixed ZIP records, MS-DOS time stamps, and finding the end record.
#include "archive/ZipRecords.h"

#include <cstdint>
#include <vector>

#include "platform/Platform.h"

namespace zip {

EndOfCentralHeader EndOfCentralHeader::Empty() {
    EndOfCentralHeader record;
    record.SetU32(kSignature, kEndOfCentralSignature);
    return record;
}


DosDateTimeParts SplitDosDateTime(uint32_t dosDateTime) {
    const uint32_t time = dosDateTime & 0xFFFF;
    const uint32_t date = dosDateTime >> 16;
    DosDateTimeParts parts;
    parts.year = 1980 + static_cast<int>(date >> 9);
    parts.month = static_cast<int>((date >> 5) & 0x0F);
    parts.day = static_cast<int>(date & 0x1F);
    parts.hour = static_cast<int>(time >> 11);
    parts.minute = static_cast<int>((time >> 5) & 0x3F);
    parts.second = static_cast<int>((time & 0x1F) * 2);

    static const int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (parts.year % 4 == 0 && parts.year % 100 != 0) || parts.year % 400 == 0;
    const bool dateValid = parts.month >= 1 && parts.month <= 12 && parts.day >= 1 &&
                           parts.day <= kDaysInMonth[parts.month - 1] && (parts.month != 2 || parts.day <= 28 || leap);
    const bool timeValid = parts.hour < 24 && parts.minute < 60 && parts.second < 60;
    parts.valid = dateValid && timeValid;
    return parts;
}

int64_t CopyStream(platform::Stream& from, platform::Stream& to, int64_t count) {
    constexpr int32_t kCopyBufferSize = 65536;
    std::vector<uint8_t> buffer(kCopyBufferSize);
    int64_t done = 0;
    while (done < count) {
        const int32_t block = static_cast<int32_t>(count - done < kCopyBufferSize ? count - done : kCopyBufferSize);
        const int32_t got = from.Read(buffer.data(), block);
        if (got <= 0) break;
        const int32_t written = to.Write(buffer.data(), got);
        if (written > 0) done += written;
        if (written != got) break;
    }
    return done;
}

int32_t Zip64RecordsInFront(platform::Stream& stream, int64_t endPosition, const EndOfCentralHeader& record) {
    constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;
    if (record.CentralDirSize() == kZip64Marker32 || record.CentralDirOffset() == kZip64Marker32) return -1;
    Zip64Locator locator;
    if (endPosition < Zip64Locator::kSize || stream.Seek(endPosition - Zip64Locator::kSize, platform::Origin::Begin) < 0 ||
        !ReadRecord(stream, locator) || locator.Signature() != kZip64LocatorSignature)
        return 0;
    Zip64EndRecord end64;
    const int64_t end64Position = endPosition - kZip64RecordsSize;
    const bool redundant = end64Position >= 0 && stream.Seek(end64Position, platform::Origin::Begin) >= 0 &&
                           ReadRecord(stream, end64) && end64.Signature() == kZip64EndSignature &&
                           end64.U64(Zip64EndRecord::kTotalEntries) == record.TotalEntries() &&
                           end64.U64(Zip64EndRecord::kCentralDirSize) == record.CentralDirSize() &&
                           end64.U64(Zip64EndRecord::kCentralDirOffset) == record.CentralDirOffset();
    return redundant ? kZip64RecordsSize : -1;
}

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

}  // namespace

int32_t FindEndOfCentralDir(platform::Stream& stream) {
    const int64_t size = stream.Size();
    // Positions are signed 32-bit; larger files are refused by the callers with their own message.
    if (size < kEndRecordSize || size > INT32_MAX) return -1;

    EndOfCentralHeader tail;
    if (stream.Seek(size - kEndRecordSize, platform::Origin::Begin) < 0 || !ReadRecord(stream, tail)) return -1;
    if (tail.Signature() == kEndOfCentralSignature && tail.CommentLength() == 0) {
        stream.Seek(size - kEndRecordSize, platform::Origin::Begin);
        return static_cast<int32_t>(size - kEndRecordSize);
    }

    const int32_t windowSize = static_cast<int32_t>(size < kSearchWindow ? size : kSearchWindow);
    std::vector<uint8_t> window(windowSize);
    if (stream.Seek(size - windowSize, platform::Origin::Begin) < 0 ||
        stream.Read(window.data(), windowSize) != windowSize)
        return -1;

    const int32_t index = ScanWindowForEndRecord(window);
    if (index < 0) return -1;
    const int64_t position = size - windowSize + index;
    stream.Seek(position, platform::Origin::Begin);
    return static_cast<int32_t>(position);
}

}  // namespace zip
