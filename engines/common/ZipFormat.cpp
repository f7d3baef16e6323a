// Reading an archive's directory and writing ZIP records for the engines.
#include "engines/common/ZipFormat.h"

#include <algorithm>

namespace engines {
namespace {

constexpr int64_t kEndSearchSpan = EndRecord::kSize + kMaxCommentLength;
constexpr uint32_t kDescriptorLength = 12;  // CRC and the two sizes, after the optional signature

uint32_t LittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

bool ReadAt(platform::Stream& stream, int64_t offset, void* buffer, int32_t count) {
    return stream.Seek(offset, platform::Origin::Begin) == offset && stream.Read(buffer, count) == count;
}

bool ReadText(platform::Stream& stream, std::string& text, uint32_t length) {
    text.assign(length, '\0');
    return length == 0 || stream.Read(text.data(), static_cast<int32_t>(length)) == static_cast<int32_t>(length);
}

// The end record's position, or -1. Searching backwards takes the last signature whose comment
// ends within the file, so a signature inside a comment or entry data further up cannot win.
int64_t FindEndRecord(platform::Stream& archive, int64_t fileSize, EndRecord& end) {
    const int64_t spanStart = std::max<int64_t>(0, fileSize - kEndSearchSpan);
    std::vector<uint8_t> tail(static_cast<size_t>(fileSize - spanStart));
    if (!ReadAt(archive, spanStart, tail.data(), static_cast<int32_t>(tail.size()))) return -1;
    for (int64_t at = static_cast<int64_t>(tail.size()) - EndRecord::kSize; at >= 0; --at) {
        const uint8_t* candidate = tail.data() + at;
        if (LittleEndian32(candidate) != kEndSignature) continue;
        std::copy(candidate, candidate + EndRecord::kSize, end.data());
        const int64_t commentEnd = at + EndRecord::kSize + end.U16(EndRecord::kCommentLength);
        if (commentEnd <= static_cast<int64_t>(tail.size())) return spanStart + at;
    }
    return -1;
}

constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr int64_t kZip64LocatorSize = 20;
constexpr int64_t kZip64EndSize = 56;

// Bytes of the ZIP64 end record and locator that some writers put between the directory and the
// end record even when every value fits the end record (Info-ZIP for an entry read from a pipe);
// 0 when there are none.
int64_t Zip64RecordsInFront(platform::Stream& archive, int64_t endAt) {
    uint8_t locator[4] = {};
    uint8_t record[4] = {};
    const int64_t recordAt = endAt - kZip64LocatorSize - kZip64EndSize;
    if (recordAt < 0 || !ReadAt(archive, endAt - kZip64LocatorSize, locator, sizeof locator) ||
        LittleEndian32(locator) != kZip64LocatorSignature || !ReadAt(archive, recordAt, record, sizeof record) ||
        LittleEndian32(record) != kZip64EndSignature) {
        return 0;
    }
    return kZip64LocatorSize + kZip64EndSize;
}

bool ReadEntries(platform::Stream& archive, const EndRecord& end, int64_t directoryStart, int64_t shift,
                 Directory& directory, std::string& error) {
    const uint32_t count = end.U16(EndRecord::kEntries);
    if (archive.Seek(directoryStart, platform::Origin::Begin) != directoryStart) {
        error = "The archive's directory cannot be read.";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        Entry entry;
        if (archive.Read(entry.header.data(), CentralHeader::kSize) != CentralHeader::kSize ||
            entry.header.U32(CentralHeader::kSignature) != kCentralSignature ||
            !ReadText(archive, entry.name, entry.header.U16(CentralHeader::kNameLength)) ||
            !ReadText(archive, entry.extra, entry.header.U16(CentralHeader::kExtraLength)) ||
            !ReadText(archive, entry.comment, entry.header.U16(CentralHeader::kCommentLength))) {
            error = "The archive's directory is damaged.";
            return false;
        }
        if (entry.CompressedSize() == kNoZip64 || entry.Size() == kNoZip64 ||
            entry.header.U32(CentralHeader::kLocalOffset) == kNoZip64) {
            error = "The archive needs ZIP64 records, which these engines do not handle.";
            return false;
        }
        entry.localOffset = entry.header.U32(CentralHeader::kLocalOffset) + shift;
        directory.entries.push_back(std::move(entry));
    }
    return true;
}

}  // namespace

std::string Entry::DecodedName() const {
    // Decoded as the archive component decodes it, so a name from its list selects this entry.
    if (Flags() & kFlagUtf8) return platform::Utf8ToAnsi(name);
    const uint16_t madeBy = header.U16(CentralHeader::kVersionMadeBy);
    const uint8_t host = static_cast<uint8_t>(madeBy >> 8);
    const uint8_t spec = static_cast<uint8_t>(madeBy);
    const bool oem = host == kHostMsDos || host == kHostOs2 || (host == kHostNtfs && spec == kNtfsOemSpecVersion);
    return oem ? platform::OemToAnsi(name) : name;
}

std::string Entry::ShownName() const {
    std::string shown = DecodedName();
    for (char& c : shown) {
        if (c == '/') c = '\\';
    }
    return shown;
}

bool ReadDirectory(platform::Stream& archive, Directory& directory, std::string& error) {
    directory = Directory();
    const int64_t fileSize = archive.Size();
    if (fileSize == 0) return true;
    EndRecord end;
    const int64_t endAt = fileSize < EndRecord::kSize ? -1 : FindEndRecord(archive, fileSize, end);
    if (endAt < 0) {
        error = "The file is not a ZIP archive.";
        return false;
    }
    if (end.U16(EndRecord::kDiskNumber) != 0 || end.U16(EndRecord::kDirectoryDisk) != 0 ||
        end.U16(EndRecord::kEntriesHere) != end.U16(EndRecord::kEntries)) {
        error = "The archive spans several disks.";
        return false;
    }
    const int64_t directorySize = end.U32(EndRecord::kDirectorySize);
    const int64_t directoryOffset = end.U32(EndRecord::kDirectoryOffset);
    const int64_t directoryEnd = endAt - Zip64RecordsInFront(archive, endAt);
    if (directorySize + directoryOffset > directoryEnd) {
        error = "The archive's directory lies outside the file.";
        return false;
    }
    // Data in front of the archive (a stub) moves every offset by the same amount when the offsets
    // were written relative to the archive itself.
    const int64_t shift = directoryEnd - directorySize - directoryOffset;
    if (!ReadEntries(archive, end, directoryOffset + shift, shift, directory, error)) return false;
    const uint32_t commentLength = end.U16(EndRecord::kCommentLength);
    if (archive.Seek(endAt + EndRecord::kSize, platform::Origin::Begin) < 0 ||
        !ReadText(archive, directory.comment, commentLength)) {
        directory.comment.clear();
    }
    directory.prefixLength = directoryOffset + shift;
    for (const Entry& entry : directory.entries)
        directory.prefixLength = std::min(directory.prefixLength, entry.localOffset);
    return true;
}

int64_t DataStart(platform::Stream& archive, const Entry& entry) {
    LocalHeader local;
    if (!ReadAt(archive, entry.localOffset, local.data(), LocalHeader::kSize) ||
        local.U32(LocalHeader::kSignature) != kLocalSignature) {
        return -1;
    }
    return entry.localOffset + LocalHeader::kSize + local.U16(LocalHeader::kNameLength) +
           local.U16(LocalHeader::kExtraLength);
}

int64_t RawLength(platform::Stream& archive, const Entry& entry) {
    const int64_t dataStart = DataStart(archive, entry);
    if (dataStart < 0) return -1;
    int64_t end = dataStart + entry.CompressedSize();
    if (entry.Flags() & kFlagDescriptor) {
        // The descriptor's signature is optional: it is there when the four bytes after the data
        // hold it and the CRC follows it (a CRC that happens to equal the signature is then told
        // apart by the next word).
        uint8_t words[8] = {};
        const bool read = ReadAt(archive, end, words, sizeof words);
        const bool signature = read && LittleEndian32(words) == kDescriptorSignature &&
                               (LittleEndian32(words + 4) == entry.Crc() || entry.Crc() != kDescriptorSignature);
        end += kDescriptorLength + (signature ? 4 : 0);
    }
    return end - entry.localOffset;
}

void ReadExactly(platform::Stream& stream, void* buffer, int32_t count, const std::string& what) {
    if (stream.Read(buffer, count) != count) throw platform::FileError("Cannot read " + what + ".");
}

void WriteExactly(platform::Stream& stream, const void* buffer, int32_t count, const std::string& what) {
    if (count > 0 && stream.Write(buffer, count) != count) {
        throw platform::FileError("Cannot write " + what + ". " + platform::LastFailure().reason);
    }
}

void WriteText(platform::Stream& stream, const std::string& text, const std::string& what) {
    WriteExactly(stream, text.data(), static_cast<int32_t>(text.size()), what);
}

void WriteDirectory(platform::Stream& out, const std::vector<Entry>& entries, const std::string& comment,
                    const std::string& what) {
    const int64_t start = out.Position();
    for (const Entry& entry : entries) {
        CentralHeader header = entry.header;
        header.SetU32(CentralHeader::kLocalOffset, static_cast<uint32_t>(entry.localOffset));
        header.SetU16(CentralHeader::kNameLength, static_cast<uint16_t>(entry.name.size()));
        header.SetU16(CentralHeader::kExtraLength, static_cast<uint16_t>(entry.extra.size()));
        header.SetU16(CentralHeader::kCommentLength, static_cast<uint16_t>(entry.comment.size()));
        header.SetU16(CentralHeader::kDiskStart, 0);
        WriteExactly(out, header.data(), header.size(), what);
        WriteText(out, entry.name, what);
        WriteText(out, entry.extra, what);
        WriteText(out, entry.comment, what);
    }
    const int64_t end = out.Position();
    const std::string kept = comment.substr(0, kMaxCommentLength);
    EndRecord record;
    record.SetU32(EndRecord::kSignature, kEndSignature);
    record.SetU16(EndRecord::kEntriesHere, static_cast<uint16_t>(entries.size()));
    record.SetU16(EndRecord::kEntries, static_cast<uint16_t>(entries.size()));
    record.SetU32(EndRecord::kDirectorySize, static_cast<uint32_t>(end - start));
    record.SetU32(EndRecord::kDirectoryOffset, static_cast<uint32_t>(start));
    record.SetU16(EndRecord::kCommentLength, static_cast<uint16_t>(kept.size()));
    WriteExactly(out, record.data(), record.size(), what);
    WriteText(out, kept, what);
}

}  // namespace engines
