// The ZIP records the engines read and write, and the reader of an archive's central directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteRecord.h"
#include "platform/Platform.h"

namespace engines {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
// Name and comment are UTF-8, whatever the host system says.
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// What our entries say about themselves: made by ZIP format version 2.0 on MS-DOS, so every reader
// decodes the names from the OEM code page.
constexpr uint16_t kVersionMadeBy = 20;
constexpr uint16_t kVersionStored = 10;
constexpr uint16_t kVersionDeflated = 20;
constexpr uint8_t kHostMsDos = 0;
constexpr uint8_t kHostOs2 = 6;
constexpr uint8_t kHostNtfs = 11;
constexpr uint8_t kNtfsOemSpecVersion = 50;

constexpr uint32_t kMaxCommentLength = 0xFFFF;
constexpr uint32_t kNoZip64 = 0xFFFFFFFF;

class LocalHeader : public platform::ByteRecord<30> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kVersionNeeded = 4;
    static constexpr size_t kFlags = 6;
    static constexpr size_t kMethod = 8;
    static constexpr size_t kTime = 10;
    static constexpr size_t kDate = 12;
    static constexpr size_t kCrc = 14;
    static constexpr size_t kCompressedSize = 18;
    static constexpr size_t kUncompressedSize = 22;
    static constexpr size_t kNameLength = 26;
    static constexpr size_t kExtraLength = 28;
};

class CentralHeader : public platform::ByteRecord<46> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kVersionMadeBy = 4;   // low byte: ZIP format version, high byte: host
    static constexpr size_t kVersionNeeded = 6;
    static constexpr size_t kFlags = 8;
    static constexpr size_t kMethod = 10;
    static constexpr size_t kTime = 12;
    static constexpr size_t kDate = 14;
    static constexpr size_t kCrc = 16;
    static constexpr size_t kCompressedSize = 20;
    static constexpr size_t kUncompressedSize = 24;
    static constexpr size_t kNameLength = 28;
    static constexpr size_t kExtraLength = 30;
    static constexpr size_t kCommentLength = 32;
    static constexpr size_t kDiskStart = 34;
    static constexpr size_t kInternalAttributes = 36;
    static constexpr size_t kExternalAttributes = 38;
    static constexpr size_t kLocalOffset = 42;
};

class EndRecord : public platform::ByteRecord<22> {
public:
    static constexpr size_t kSignature = 0;
    static constexpr size_t kDiskNumber = 4;
    static constexpr size_t kDirectoryDisk = 6;
    static constexpr size_t kEntriesHere = 8;
    static constexpr size_t kEntries = 10;
    static constexpr size_t kDirectorySize = 12;
    static constexpr size_t kDirectoryOffset = 16;
    static constexpr size_t kCommentLength = 20;
};

static_assert(LocalHeader::kSize == 30 && CentralHeader::kSize == 46 && EndRecord::kSize == 22, "ZIP record sizes");

// One entry of the central directory with its variable parts, and where its local header lies.
struct Entry {
    CentralHeader header;
    std::string name;     // as stored: the archive's bytes, '/' separators
    std::string extra;
    std::string comment;
    int64_t localOffset = 0;  // in the file, after the shift of data in front of the archive

    uint16_t Flags() const { return header.U16(CentralHeader::kFlags); }
    uint16_t Method() const { return header.U16(CentralHeader::kMethod); }
    uint32_t Crc() const { return header.U32(CentralHeader::kCrc); }
    uint32_t CompressedSize() const { return header.U32(CentralHeader::kCompressedSize); }
    uint32_t Size() const { return header.U32(CentralHeader::kUncompressedSize); }
    uint16_t DosTime() const { return header.U16(CentralHeader::kTime); }
    uint16_t DosDate() const { return header.U16(CentralHeader::kDate); }
    bool IsEncrypted() const { return (Flags() & kFlagEncrypted) != 0; }
    bool IsFolder() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
    // The name in the ANSI code page, decoded from OEM when the entry's host says so.
    std::string DecodedName() const;
    // The decoded name with backslashes, as the component's list shows it and the callback reports it.
    std::string ShownName() const;
};

struct Directory {
    std::vector<Entry> entries;
    std::string comment;
    int64_t prefixLength = 0;  // bytes in front of the first entry (a stub), kept when rewriting
};

// Reads the directory of an archive. An empty or missing file is a new, empty archive. False with
// `error` set when the archive is damaged, spans disks or needs ZIP64 (sizes above 4 GiB).
bool ReadDirectory(platform::Stream& archive, Directory& directory, std::string& error);

// The first byte of an entry's data, past its local header; -1 when the local header is damaged.
int64_t DataStart(platform::Stream& archive, const Entry& entry);
// Bytes from an entry's local header to the end of its data and data descriptor; -1 when damaged.
int64_t RawLength(platform::Stream& archive, const Entry& entry);

// Whole-record I/O; a short read or write throws the platform's FileError naming `what`.
void ReadExactly(platform::Stream& stream, void* buffer, int32_t count, const std::string& what);
void WriteExactly(platform::Stream& stream, const void* buffer, int32_t count, const std::string& what);
void WriteText(platform::Stream& stream, const std::string& text, const std::string& what);

// Writes the central directory of `entries` (offsets as given) and the end record with `comment`.
void WriteDirectory(platform::Stream& out, const std::vector<Entry>& entries, const std::string& comment,
                    const std::string& what);

}  // namespace engines
