// The fixed ZIP records' constructors, extra fields and MS-DOS time stamps.
#include "zipformat/ZipRecords.h"

#include <cstdint>

namespace zip {

EndOfCentralHeader EndOfCentralHeader::Empty() {
    EndOfCentralHeader record;
    record.SetU32(kSignature, kEndOfCentralSignature);
    return record;
}

LocalHeader LocalHeaderFor(const CentralFileHeader& central) {
    LocalHeader local;
    local.SetU32(LocalHeader::kSignature, kLocalHeaderSignature);
    local.SetU16(LocalHeader::kVersionNeeded, central.U16(CentralFileHeader::kVersionNeeded));
    local.SetU16(LocalHeader::kFlags, central.Flags());
    local.SetU16(LocalHeader::kMethod, central.Method());
    local.SetU16(LocalHeader::kTime, central.U16(CentralFileHeader::kTime));
    local.SetU16(LocalHeader::kDate, central.U16(CentralFileHeader::kDate));
    local.SetU32(LocalHeader::kCrc32, central.Crc32());
    local.SetU32(LocalHeader::kCompressedSize, central.CompressedSize());
    local.SetU32(LocalHeader::kUncompressedSize, central.UncompressedSize());
    local.SetU16(LocalHeader::kFileNameLength, central.FileNameLength());
    return local;
}

// A block that claims more bytes than are left ends the walk: the rest is not a block.
bool FindExtraBlock(std::string_view extra, uint16_t id, std::string_view& data) {
    for (size_t at = 0; at + 4 <= extra.size();) {
        const auto byte = [&](size_t i) { return static_cast<uint16_t>(static_cast<uint8_t>(extra[at + i])); };
        const uint16_t blockId = static_cast<uint16_t>(byte(0) | (byte(1) << 8));
        const size_t length = static_cast<size_t>(byte(2) | (byte(3) << 8));
        if (at + 4 + length > extra.size()) return false;
        if (blockId == id) {
            data = extra.substr(at + 4, length);
            return true;
        }
        at += 4 + length;
    }
    return false;
}

namespace {

// Hands out the ZIP64 block's values in order; false once a value would run past the block.
class Zip64Block {
public:
    explicit Zip64Block(std::string_view extra) { present_ = FindExtraBlock(extra, kZip64ExtraId, data_); }
    bool Take(bool saturated, uint64_t& value, size_t width = 8) {
        if (!saturated) return true;
        if (!present_ || at_ + width > data_.size()) return false;
        value = 0;
        for (size_t i = 0; i < width; ++i) value |= static_cast<uint64_t>(static_cast<uint8_t>(data_[at_ + i])) << (8 * i);
        at_ += width;
        return true;
    }
    // Where in the extra field the next value of `width` bytes stands; -1 when the block ends first.
    int64_t NextValueAt(std::string_view extra, size_t width = 8) const {
        if (!present_ || at_ + width > data_.size()) return -1;
        return static_cast<int64_t>(data_.data() - extra.data() + at_);
    }

private:
    std::string_view data_;
    size_t at_ = 0;
    bool present_ = false;
};

}  // namespace

bool ResolveZip64(const CentralFileHeader& header, std::string_view extra, Zip64Values& values) {
    values.uncompressedSize = header.UncompressedSize();
    values.compressedSize = header.CompressedSize();
    values.localHeaderOffset = header.LocalHeaderOffset();
    uint64_t disk = header.DiskNumberStart();
    Zip64Block block(extra);
    const bool whole = block.Take(header.UncompressedSize() == kZip64Marker32, values.uncompressedSize) &&
                       block.Take(header.CompressedSize() == kZip64Marker32, values.compressedSize) &&
                       block.Take(header.LocalHeaderOffset() == kZip64Marker32, values.localHeaderOffset) &&
                       block.Take(header.DiskNumberStart() == kZip64Marker16, disk, 4);
    values.diskStart = static_cast<uint32_t>(disk);
    return whole;
}

bool ResolveZip64(const LocalHeader& header, std::string_view extra, Zip64Values& values) {
    values = Zip64Values();
    values.uncompressedSize = header.UncompressedSize();
    values.compressedSize = header.CompressedSize();
    Zip64Block block(extra);
    return block.Take(header.UncompressedSize() == kZip64Marker32, values.uncompressedSize) &&
           block.Take(header.CompressedSize() == kZip64Marker32, values.compressedSize);
}

namespace {

// The ZIP64 block's fields in their order, by number.
constexpr size_t kZip64OffsetField = 2;
constexpr size_t kZip64DiskField = 3;

void PutLittleEndian(std::string& extra, int64_t at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i)
        extra[static_cast<size_t>(at) + i] = static_cast<char>(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

namespace {

// Where in the extra field the ZIP64 value of the header's field number `field` stands (the values
// come in the header's order of its sizes, offset and disk, only those the header saturates); -1
// when that field is not saturated or the block ends before its value.
int64_t Zip64ValueAt(const CentralFileHeader& header, std::string_view extra, size_t field) {
    const bool saturated[] = {header.UncompressedSize() == kZip64Marker32, header.CompressedSize() == kZip64Marker32,
                              header.LocalHeaderOffset() == kZip64Marker32, header.DiskNumberStart() == kZip64Marker16};
    if (!saturated[field]) return -1;
    Zip64Block block(extra);
    uint64_t skipped = 0;
    for (size_t before = 0; before < field; ++before) {
        if (!block.Take(saturated[before], skipped)) return -1;
    }
    return block.NextValueAt(extra, field == kZip64DiskField ? 4 : 8);
}

}  // namespace

bool SetLocalHeaderOffset(CentralFileHeader& header, std::string& extra, uint64_t offset) {
    if (header.LocalHeaderOffset() != kZip64Marker32) {
        if (offset >= kZip64Marker32) return false;
        header.SetU32(CentralFileHeader::kLocalHeaderOffset, static_cast<uint32_t>(offset));
        return true;
    }
    const int64_t at = Zip64ValueAt(header, extra, kZip64OffsetField);
    if (at < 0) return false;
    PutLittleEndian(extra, at, offset, 8);
    return true;
}

bool SetDiskNumberStart(CentralFileHeader& header, std::string& extra, uint32_t disk) {
    if (header.DiskNumberStart() != kZip64Marker16) {
        if (disk >= kZip64Marker16) return false;
        header.SetU16(CentralFileHeader::kDiskNumberStart, static_cast<uint16_t>(disk));
        return true;
    }
    const int64_t at = Zip64ValueAt(header, extra, kZip64DiskField);
    if (at < 0) return false;
    PutLittleEndian(extra, at, disk, 4);
    return true;
}

std::string WithoutExtraBlocks(std::string_view extra, uint16_t id) {
    std::string kept;
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        const auto byte = [&](size_t i) { return static_cast<uint16_t>(static_cast<uint8_t>(extra[at + i])); };
        const size_t length = static_cast<size_t>(byte(2) | (byte(3) << 8));
        if (at + 4 + length > extra.size()) break;
        if (static_cast<uint16_t>(byte(0) | (byte(1) << 8)) != id) kept.append(extra.substr(at, 4 + length));
        at += 4 + length;
    }
    kept.append(extra.substr(at));
    return kept;
}

bool AesExtraBlock::Valid() const {
    return U16(kHeaderId) == kId && U16(kVendor) == kVendorId && (VendorVersion() == kAe1 || VendorVersion() == kAe2) &&
           Strength() >= 1 && Strength() <= 3;
}

AesExtraBlock AesExtraBlock::Make(uint16_t vendorVersion, uint8_t strength, uint16_t method) {
    AesExtraBlock block;
    block.SetU16(kHeaderId, kId);
    block.SetU16(kHeaderSize, kDataSize);
    block.SetU16(kVendorVersion, vendorVersion);
    block.SetU16(kVendor, kVendorId);
    block.SetU8(kStrength, strength);
    block.SetU16(kMethod, method);
    return block;
}

bool AesExtraBlock::Find(std::string_view extra, AesExtraBlock& block) {
    std::string_view data;
    if (!FindExtraBlock(extra, kId, data) || data.size() < kDataSize) return false;
    block.SetU16(kHeaderId, kId);
    block.SetU16(kHeaderSize, kDataSize);
    for (size_t i = 0; i < kDataSize; ++i) block.SetU8(kVendorVersion + i, static_cast<uint8_t>(data[i]));
    return true;
}

std::string Zip64ExtraBlock(const uint64_t* values, size_t count) {
    std::string block;
    const auto put = [&block](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) block += static_cast<char>(static_cast<uint8_t>(value >> (8 * i)));
    };
    put(kZip64ExtraId, 2);
    put(8 * count, 2);
    for (size_t i = 0; i < count; ++i) put(values[i], 8);
    return block;
}

Zip64Locator Zip64Locator::Make(uint64_t endRecordAt) {
    Zip64Locator locator;
    locator.SetU32(kSignature, kZip64LocatorSignature);
    locator.SetU64(kEndRecordOffset, endRecordAt);
    locator.SetU32(kTotalDisks, 1);
    return locator;
}

Zip64EndRecord Zip64EndRecord::Make(uint16_t madeBy, uint64_t entries, uint64_t directorySize, uint64_t directoryOffset) {
    Zip64EndRecord record;
    record.SetU32(kSignature, kZip64EndSignature);
    record.SetU64(kRecordSize, kSize - 12);
    record.SetU16(kVersionMadeBy, madeBy);
    record.SetU16(kVersionNeeded, kVersionZip64);
    record.SetU64(kEntriesOnDisk, entries);
    record.SetU64(kTotalEntries, entries);
    record.SetU64(kCentralDirSize, directorySize);
    record.SetU64(kCentralDirOffset, directoryOffset);
    return record;
}

bool HasExtraBlock(std::string_view extra, uint16_t id) {
    std::string_view data;
    return FindExtraBlock(extra, id, data);
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

}  // namespace zip
