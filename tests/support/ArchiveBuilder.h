// A small deterministic in-memory ZIP writer for tests: stored entries, stubs, comments, raw bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace larktest {

// CRC-32 (the ZIP polynomial), from a table built once; no compression library involved.
uint32_t Crc32(const std::string& bytes);

// "50 4B 05 06" -> the bytes; spaces and line breaks between pairs are ignored.
std::string FromHex(const std::string& hex);
std::string ToHex(const std::string& bytes);

// Little-endian field access on a byte string, for patching built archives.
uint16_t GetU16(const std::string& bytes, size_t offset);
uint32_t GetU32(const std::string& bytes, size_t offset);
void PutU16(std::string& bytes, size_t offset, uint16_t value);
void PutU32(std::string& bytes, size_t offset, uint32_t value);

// A fixed time stamp (1999-07-14 12:34:56) so every build of the same archive has the same bytes.
constexpr uint16_t kFixedDosTime = (12 << 11) | (34 << 5) | (56 / 2);
constexpr uint16_t kFixedDosDate = ((1999 - 1980) << 9) | (7 << 5) | 14;

// One stored (uncompressed) entry.
struct EntrySpec {
    std::string name;
    std::string data;
    uint16_t time = kFixedDosTime;
    uint16_t date = kFixedDosDate;
    uint8_t hostSystem = 0;    // MS-DOS
    uint8_t specVersion = 20;
    uint16_t versionNeeded = 10;
    uint16_t flags = 0;
    std::string extra;
    std::string comment;
    bool dataDescriptor = false;  // sets flag bit 3, zeroes the local CRC/sizes, appends a descriptor
    uint16_t diskNumberStart = 0;
    uint32_t externalAttributes = 0x20;
    // As a ZIP64 writer stores it: both headers' sizes and the central offset saturated, their
    // values in a ZIP64 extra field in front of `extra`, and a descriptor with 8-byte sizes.
    bool zip64 = false;
};

// Where each record of a built archive lies, as positions in Bytes.
struct ArchiveLayout {
    std::vector<size_t> localHeaders;
    std::vector<size_t> centralHeaders;
    size_t centralDirectory = 0;  // file position of the first central header
    size_t centralDirSize = 0;
    size_t zip64EndRecord = 0;  // only with Zip64Records()
    size_t zip64Locator = 0;
    size_t endRecord = 0;
};

struct BuiltArchive {
    std::string bytes;
    ArchiveLayout layout;
};

class ArchiveBuilder {
public:
    ArchiveBuilder& Add(EntrySpec entry);
    ArchiveBuilder& Add(const std::string& name, const std::string& data);
    // Comment bytes exactly as stored after the end record.
    ArchiveBuilder& Comment(const std::string& comment);
    // Bytes in front of the archive; `offsetsCountStub` stores offsets from the start of the file.
    ArchiveBuilder& Stub(const std::string& stub, bool offsetsCountStub);
    // End-record disk fields of a multi-disk set's last disk.
    ArchiveBuilder& Disks(uint16_t thisDisk, uint16_t centralDirDisk);
    // Overrides both entry counts of the end record (default: the number of entries).
    ArchiveBuilder& EntryCount(uint16_t count);
    // A ZIP64 end record and its locator between the directory and the end record, repeating its values,
    // as writers add when a count reaches its limit (or always).
    ArchiveBuilder& Zip64Records();
    // The same records holding the values, and the end record's four fields saturated.
    ArchiveBuilder& Zip64Saturated();

    BuiltArchive Build() const;
    std::string Bytes() const { return Build().bytes; }

private:
    std::vector<EntrySpec> entries_;
    std::string comment_;
    std::string stub_;
    bool offsetsCountStub_ = false;
    uint16_t thisDisk_ = 0;
    uint16_t centralDirDisk_ = 0;
    bool countOverridden_ = false;
    uint16_t entryCount_ = 0;
    bool zip64Records_ = false;
    bool zip64Saturated_ = false;
};

// Field offsets of the ZIP64 end record and its locator (the core reads only a few of them).
constexpr size_t kZip64EntriesOnDisk = 24;
constexpr size_t kZip64TotalEntries = 32;
constexpr size_t kZip64CentralDirSize = 40;
constexpr size_t kZip64CentralDirOffset = 48;
constexpr size_t kZip64LocatorRecordOffset = 8;
void PutU64(std::string& bytes, size_t offset, uint64_t value);

// A stub of `size` bytes that looks like nothing in particular (no "PK" anywhere).
std::string StubBytes(size_t size);

// Whole-file access through the platform layer, so system-form paths work in both builds.
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);

// A seekable byte stream in memory, for the readers that take a stream.
class MemoryStream final : public platform::Stream {
public:
    explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, platform::Origin origin) override;
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
    bool Truncate() override;
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    int64_t position_ = 0;
};

}  // namespace larktest
