// The ZIP records, once for the archive object, the conversions, the engines and the stub.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ByteRecord.h"
#include "platform/Files.h"

namespace zip {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndOfCentralSignature = 0x06054B50;
constexpr uint32_t kMultiDiskMarker = 0x08074B50;
// A data descriptor may open with the same four bytes as the multi-disk marker.
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
// The entry's name and comment are UTF-8, whatever the host system says.
constexpr uint16_t kFlagUtf8 = 0x0800;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
// AES encryption: the real method is in the AES extra block.
constexpr uint16_t kMethodAes = 99;

// A size or offset field holding this says the real value is in a ZIP64 extra field.
constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;
// The ID of that extra field; in a local header it also says the data descriptor's sizes are 8 bytes.
constexpr uint16_t kZip64ExtraId = 0x0001;
// The version needed to read an entry or archive that has ZIP64 values.
constexpr uint16_t kVersionZip64 = 45;

// Host-system bytes of "version made by" that decide whether names are OEM text.
constexpr uint8_t kHostMsDos = 0;
constexpr uint8_t kHostOs2 = 6;
constexpr uint8_t kHostNtfs = 11;
constexpr uint8_t kNtfsOemSpecVersion = 50;

// Largest comment, name or extra field: their length fields are 16-bit.
constexpr int32_t kMaxFieldLength = 65535;
// The most entries the end record counts; an end record holding it says the ZIP64 record counts.
constexpr int32_t kMaxEntries = 65535;
constexpr uint16_t kZip64Marker16 = 0xFFFF;
// Disk numbers above this make an end record invalid.
constexpr uint16_t kMaxDiskNumber = 1000;

// Little-endian field access on a fixed-size record image.
template <size_t N>
using Record = platform::ByteRecord<N>;

class LocalHeader : public Record<30> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kVersionNeeded = 4;
    static constexpr size_t kFlags = 6;
    static constexpr size_t kMethod = 8;
    static constexpr size_t kTime = 10;
    static constexpr size_t kDate = 12;
    static constexpr size_t kCrc32 = 14;
    static constexpr size_t kCompressedSize = 18;
    static constexpr size_t kUncompressedSize = 22;
    static constexpr size_t kFileNameLength = 26;
    static constexpr size_t kExtraFieldLength = 28;

    uint32_t Signature() const { return U32(kSignature); }
    uint16_t Flags() const { return U16(kFlags); }
    uint32_t Crc32() const { return U32(kCrc32); }
    uint32_t CompressedSize() const { return U32(kCompressedSize); }
    uint32_t UncompressedSize() const { return U32(kUncompressedSize); }
    uint16_t FileNameLength() const { return U16(kFileNameLength); }
    uint16_t ExtraFieldLength() const { return U16(kExtraFieldLength); }
};

class CentralFileHeader : public Record<46> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kSpecVersion = 4;
    static constexpr size_t kHostSystem = 5;
    static constexpr size_t kVersionNeeded = 6;
    static constexpr size_t kFlags = 8;
    static constexpr size_t kMethod = 10;
    static constexpr size_t kTime = 12;
    static constexpr size_t kDate = 14;
    static constexpr size_t kCrc32 = 16;
    static constexpr size_t kCompressedSize = 20;
    static constexpr size_t kUncompressedSize = 24;
    static constexpr size_t kFileNameLength = 28;
    static constexpr size_t kExtraFieldLength = 30;
    static constexpr size_t kFileCommentLength = 32;
    static constexpr size_t kDiskNumberStart = 34;
    static constexpr size_t kInternalAttributes = 36;
    static constexpr size_t kExternalAttributes = 38;
    static constexpr size_t kLocalHeaderOffset = 42;

    uint32_t Signature() const { return U32(kSignature); }
    uint8_t SpecVersion() const { return U8(kSpecVersion); }
    uint8_t HostSystem() const { return U8(kHostSystem); }
    uint16_t Flags() const { return U16(kFlags); }
    uint16_t Method() const { return U16(kMethod); }
    // Time in the low 16 bits, date in the high 16 bits, as stored.
    uint32_t DosDateTime() const { return U32(kTime); }
    uint32_t Crc32() const { return U32(kCrc32); }
    uint32_t CompressedSize() const { return U32(kCompressedSize); }
    uint32_t UncompressedSize() const { return U32(kUncompressedSize); }
    uint16_t FileNameLength() const { return U16(kFileNameLength); }
    uint16_t ExtraFieldLength() const { return U16(kExtraFieldLength); }
    uint16_t FileCommentLength() const { return U16(kFileCommentLength); }
    uint16_t DiskNumberStart() const { return U16(kDiskNumberStart); }
    uint32_t LocalHeaderOffset() const { return U32(kLocalHeaderOffset); }
    // Name, extra field and comment together.
    int32_t VariableLength() const { return FileNameLength() + ExtraFieldLength() + FileCommentLength(); }
};

class EndOfCentralHeader : public Record<22> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kThisDisk = 4;
    static constexpr size_t kCentralDirDisk = 6;
    static constexpr size_t kEntriesOnDisk = 8;
    static constexpr size_t kTotalEntries = 10;
    static constexpr size_t kCentralDirSize = 12;
    static constexpr size_t kCentralDirOffset = 16;
    static constexpr size_t kCommentLength = 20;

    uint32_t Signature() const { return U32(kSignature); }
    uint16_t ThisDisk() const { return U16(kThisDisk); }
    uint16_t CentralDirDisk() const { return U16(kCentralDirDisk); }
    uint16_t EntriesOnDisk() const { return U16(kEntriesOnDisk); }
    uint16_t TotalEntries() const { return U16(kTotalEntries); }
    uint32_t CentralDirSize() const { return U32(kCentralDirSize); }
    uint32_t CentralDirOffset() const { return U32(kCentralDirOffset); }
    uint16_t CommentLength() const { return U16(kCommentLength); }

    // The record of an empty archive: signature and zeros.
    static EndOfCentralHeader Empty();
};

// The four bytes in front of the first local header on the first disk of a multi-disk set.
class MultiDiskMarker : public Record<4> {
public:
    static constexpr size_t kSignature = 0;
    uint32_t Signature() const { return U32(kSignature); }
    static MultiDiskMarker Make() {
        MultiDiskMarker marker;
        marker.SetU32(kSignature, kMultiDiskMarker);
        return marker;
    }
};

// What follows an entry's data when its local header has kFlagDataDescriptor: CRC-32 and both
// sizes, after a signature that writers may leave out.
class DataDescriptor : public Record<16> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kCrc32 = 4;
    static constexpr size_t kCompressedSize = 8;
    static constexpr size_t kUncompressedSize = 12;
    // The descriptor without its signature, with 4-byte sizes, and with the 8-byte sizes of an
    // entry whose local header has the ZIP64 extra field.
    static constexpr int32_t kUnsignedSize = 12;
    static constexpr int32_t kUnsignedZip64Size = 20;
    uint32_t Signature() const { return U32(kSignature); }
};

// The local header that goes with a directory entry: the same version needed, flags, method, time,
// CRC, sizes and name length, and no extra field.
LocalHeader LocalHeaderFor(const CentralFileHeader& central);

// The ZIP64 extra block holding `values` (the saturated ones of uncompressed size, compressed size
// and local header offset, in that order), header included.
std::string Zip64ExtraBlock(const uint64_t* values, size_t count);

// Whether an extra field (a run of ID, length, data blocks) holds a block with this ID.
bool HasExtraBlock(std::string_view extra, uint16_t id);
// The data of the first block with this ID; false when there is none.
bool FindExtraBlock(std::string_view extra, uint16_t id, std::string_view& data);
// The extra field without its blocks of this ID; what cannot be walked as blocks stays as it is.
std::string WithoutExtraBlocks(std::string_view extra, uint16_t id);

// The extra block of an AES-encrypted entry (method kMethodAes), header included.
class AesExtraBlock : public Record<11> {
public:
    static constexpr uint16_t kId = 0x9901;
    static constexpr uint16_t kDataSize = 7;
    static constexpr uint16_t kVendorId = 0x4541;  // "AE"
    // AE-1 keeps the CRC; AE-2 stores 0 for it, as the authentication code does its work.
    static constexpr uint16_t kAe1 = 1;
    static constexpr uint16_t kAe2 = 2;

    static constexpr size_t kHeaderId = 0;
    static constexpr size_t kHeaderSize = 2;
    static constexpr size_t kVendorVersion = 4;
    static constexpr size_t kVendor = 6;
    static constexpr size_t kStrength = 8;  // 1, 2, 3: AES-128, -192, -256
    static constexpr size_t kMethod = 9;

    uint16_t VendorVersion() const { return U16(kVendorVersion); }
    uint8_t Strength() const { return U8(kStrength); }
    uint16_t Method() const { return U16(kMethod); }
    // Whether the block says what this system knows: AE-1 or AE-2, one of the three key sizes.
    bool Valid() const;

    static AesExtraBlock Make(uint16_t vendorVersion, uint8_t strength, uint16_t method);
    // The block from an extra field; false when there is none or it is shorter than its layout.
    static bool Find(std::string_view extra, AesExtraBlock& block);
};
static_assert(AesExtraBlock::kMethod + 2 == AesExtraBlock::kSize, "AesExtraBlock fields fill it");

// Key bytes and salt bytes of each AES strength, and the sizes around the encrypted data.
constexpr size_t AesKeyLength(uint8_t strength) { return 8 + 8 * static_cast<size_t>(strength); }
constexpr size_t AesSaltLength(uint8_t strength) { return 4 + 4 * static_cast<size_t>(strength); }
constexpr size_t kAesVerifierLength = 2;
constexpr size_t kAesMacLength = 10;

// Locator of a ZIP64 end record, which stands directly in front of the end record when present.
class Zip64Locator : public Record<20> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kEndRecordDisk = 4;
    static constexpr size_t kEndRecordOffset = 8;
    static constexpr size_t kTotalDisks = 16;
    uint32_t Signature() const { return U32(kSignature); }
    uint32_t EndRecordDisk() const { return U32(kEndRecordDisk); }
    uint64_t EndRecordOffset() const { return U64(kEndRecordOffset); }
    uint32_t TotalDisks() const { return U32(kTotalDisks); }
    // The locator of a single-disk archive's ZIP64 end record at `endRecordAt`.
    static Zip64Locator Make(uint64_t endRecordAt);
};

// The ZIP64 end record a locator points to, without its extensible data: the 64-bit values of the
// end record's fields.
class Zip64EndRecord : public Record<56> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kRecordSize = 4;  // bytes after this field: 44 and any extensible data
    static constexpr size_t kVersionMadeBy = 12;
    static constexpr size_t kVersionNeeded = 14;
    static constexpr size_t kThisDisk = 16;
    static constexpr size_t kCentralDirDisk = 20;
    static constexpr size_t kEntriesOnDisk = 24;
    static constexpr size_t kTotalEntries = 32;
    static constexpr size_t kCentralDirSize = 40;
    static constexpr size_t kCentralDirOffset = 48;
    uint32_t Signature() const { return U32(kSignature); }
    uint64_t RecordSize() const { return U64(kRecordSize); }
    uint32_t ThisDisk() const { return U32(kThisDisk); }
    uint32_t CentralDirDisk() const { return U32(kCentralDirDisk); }
    uint64_t EntriesOnDisk() const { return U64(kEntriesOnDisk); }
    uint64_t TotalEntries() const { return U64(kTotalEntries); }
    uint64_t CentralDirSize() const { return U64(kCentralDirSize); }
    uint64_t CentralDirOffset() const { return U64(kCentralDirOffset); }
    // The record of a single-disk archive, made by `madeBy`.
    static Zip64EndRecord Make(uint16_t madeBy, uint64_t entries, uint64_t directorySize, uint64_t directoryOffset);
};

// The ZIP64 extra field (kZip64ExtraId) of one entry: 8-byte values, present only for the fields
// whose 32-bit field is saturated, in this order; the disk number is 4 bytes.
struct Zip64Values {
    uint64_t uncompressedSize = 0;
    uint64_t compressedSize = 0;
    uint64_t localHeaderOffset = 0;
    uint32_t diskStart = 0;
};
// The entry's 64-bit sizes and offset: the header's own fields, or for each saturated one the next
// value of the ZIP64 block. False when a saturated field finds no block or no value left in it.
bool ResolveZip64(const CentralFileHeader& header, std::string_view extra, Zip64Values& values);
// The same for a local header, which holds sizes only.
bool ResolveZip64(const LocalHeader& header, std::string_view extra, Zip64Values& values);
// Puts a new local header offset where ResolveZip64 finds it: in the header's field, or, when that
// is saturated, in place of the value in the ZIP64 block, which keeps its size and its place in
// `extra`. False when the block holds no offset, or the offset does not fit the unsaturated field.
bool SetLocalHeaderOffset(CentralFileHeader& header, std::string& extra, uint64_t offset);
// The same for the disk number the entry starts on, whose ZIP64 value is 4 bytes.
bool SetDiskNumberStart(CentralFileHeader& header, std::string& extra, uint32_t disk);

static_assert(Zip64EndRecord::kSize == 56, "ZIP64 end record is 56 bytes without extensible data");
static_assert(LocalHeader::kSize == 30, "LocalHeader is 30 bytes");
static_assert(CentralFileHeader::kSize == 46, "CentralFileHeader is 46 bytes");
static_assert(EndOfCentralHeader::kSize == 22, "EndOfCentralHeader is 22 bytes");
static_assert(MultiDiskMarker::kSize == 4, "the multi-disk marker is 4 bytes");
static_assert(DataDescriptor::kSize == 16, "a signed data descriptor is 16 bytes");
static_assert(Zip64Locator::kSize == 20, "Zip64 locator is 20 bytes");
static_assert(LocalHeader::kExtraFieldLength + 2 == LocalHeader::kSize, "LocalHeader fields fill it");
static_assert(CentralFileHeader::kLocalHeaderOffset + 4 == CentralFileHeader::kSize, "CentralFileHeader fields fill it");
static_assert(EndOfCentralHeader::kCommentLength + 2 == EndOfCentralHeader::kSize, "EndOfCentralHeader fields fill it");

// Reads a whole record from the stream's current position; false on a short read.
template <class R>
bool ReadRecord(platform::Stream& stream, R& record) {
    return stream.Read(record.data(), R::size()) == R::size();
}
template <class R>
bool WriteRecord(platform::Stream& stream, const R& record) {
    return stream.Write(record.data(), R::size()) == R::size();
}

// An MS-DOS time stamp taken apart; `valid` is false when a field is outside the calendar.
struct DosDateTimeParts {
    int year, month, day, hour, minute, second;
    bool valid;
};
DosDateTimeParts SplitDosDateTime(uint32_t dosDateTime);


}  // namespace zip
