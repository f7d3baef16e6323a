// A small deterministic in-memory ZIP writer for tests: stored entries, stubs, comments, raw bytes.
#include "tests/support/ArchiveBuilder.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "zipformat/ZipRecords.h"

namespace larktest {

namespace {

std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

void AppendU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint16_t Length16(const std::string& text) {
    if (text.size() > 0xFFFF) throw std::length_error("ArchiveBuilder: field longer than 65535 bytes");
    return static_cast<uint16_t>(text.size());
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

uint32_t Crc32(const std::string& bytes) {
    static const std::array<uint32_t, 256> table = MakeCrcTable();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string FromHex(const std::string& hex) {
    std::string out;
    int high = -1;
    for (char c : hex) {
        if (c == ' ' || c == '\n' || c == '\t') continue;
        int digit = HexDigit(c);
        if (digit < 0) throw std::invalid_argument("FromHex: not a hex digit");
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<char>((high << 4) | digit));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("FromHex: odd number of digits");
    return out;
}

std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out.push_back(' ');
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

uint16_t GetU16(const std::string& bytes, size_t offset) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes.at(offset)) |
                                 (static_cast<unsigned char>(bytes.at(offset + 1)) << 8));
}

uint32_t GetU32(const std::string& bytes, size_t offset) {
    return GetU16(bytes, offset) | (static_cast<uint32_t>(GetU16(bytes, offset + 2)) << 16);
}

void PutU16(std::string& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<char>(value & 0xFF);
    bytes.at(offset + 1) = static_cast<char>(value >> 8);
}

void PutU32(std::string& bytes, size_t offset, uint32_t value) {
    PutU16(bytes, offset, static_cast<uint16_t>(value & 0xFFFF));
    PutU16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

void PutU64(std::string& bytes, size_t offset, uint64_t value) {
    PutU32(bytes, offset, static_cast<uint32_t>(value));
    PutU32(bytes, offset + 4, static_cast<uint32_t>(value >> 32));
}

ArchiveBuilder& ArchiveBuilder::Add(EntrySpec entry) {
    entries_.push_back(std::move(entry));
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Add(const std::string& name, const std::string& data) {
    EntrySpec entry;
    entry.name = name;
    entry.data = data;
    return Add(std::move(entry));
}

ArchiveBuilder& ArchiveBuilder::Comment(const std::string& comment) {
    comment_ = comment;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Stub(const std::string& stub, bool offsetsCountStub) {
    stub_ = stub;
    offsetsCountStub_ = offsetsCountStub;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Disks(uint16_t thisDisk, uint16_t centralDirDisk) {
    thisDisk_ = thisDisk;
    centralDirDisk_ = centralDirDisk;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::EntryCount(uint16_t count) {
    countOverridden_ = true;
    entryCount_ = count;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Zip64Records() {
    zip64Records_ = true;
    return *this;
}

ArchiveBuilder& ArchiveBuilder::Zip64Saturated() {
    zip64Records_ = zip64Saturated_ = true;
    return *this;
}

namespace {

// A ZIP64 extra block of 8-byte values.
std::string Zip64Block(const std::vector<uint64_t>& values) {
    std::string block(4 + 8 * values.size(), '\0');
    PutU16(block, 0, 0x0001);
    PutU16(block, 2, static_cast<uint16_t>(8 * values.size()));
    for (size_t i = 0; i < values.size(); ++i) PutU64(block, 4 + 8 * i, values[i]);
    return block;
}

}  // namespace

BuiltArchive ArchiveBuilder::Build() const {
    using zip::CentralFileHeader;
    using zip::EndOfCentralHeader;
    using zip::LocalHeader;

    BuiltArchive result;
    std::string& out = result.bytes;
    out = stub_;
    // Offsets stored in the records: from the file start, or from the end of the stub.
    const auto stored = [&](size_t position) {
        return static_cast<uint32_t>(offsetsCountStub_ ? position : position - stub_.size());
    };

    for (const EntrySpec& e : entries_) {
        result.layout.localHeaders.push_back(out.size());
        const uint32_t crc = Crc32(e.data);
        const uint32_t size = static_cast<uint32_t>(e.data.size());
        const std::string extra = e.zip64 ? Zip64Block({size, size}) + e.extra : e.extra;
        const uint32_t shownSize = e.zip64 ? 0xFFFFFFFF : size;
        LocalHeader h;
        h.SetU32(LocalHeader::kSignature, zip::kLocalHeaderSignature);
        h.SetU16(LocalHeader::kVersionNeeded, e.versionNeeded);
        h.SetU16(LocalHeader::kFlags, static_cast<uint16_t>(e.flags | (e.dataDescriptor ? zip::kFlagDataDescriptor : 0)));
        h.SetU16(LocalHeader::kMethod, 0);
        h.SetU16(LocalHeader::kTime, e.time);
        h.SetU16(LocalHeader::kDate, e.date);
        h.SetU32(LocalHeader::kCrc32, e.dataDescriptor ? 0 : crc);
        h.SetU32(LocalHeader::kCompressedSize, e.dataDescriptor && !e.zip64 ? 0 : shownSize);
        h.SetU32(LocalHeader::kUncompressedSize, e.dataDescriptor && !e.zip64 ? 0 : shownSize);
        h.SetU16(LocalHeader::kFileNameLength, Length16(e.name));
        h.SetU16(LocalHeader::kExtraFieldLength, Length16(extra));
        out.append(reinterpret_cast<const char*>(h.data()), LocalHeader::kSize);
        out += e.name;
        out += extra;
        out += e.data;
        if (e.dataDescriptor) {
            AppendU32(out, zip::kMultiDiskMarker);  // the descriptor shares its signature with the marker
            AppendU32(out, crc);
            AppendU32(out, size);
            if (e.zip64) AppendU32(out, 0);
            AppendU32(out, size);
            if (e.zip64) AppendU32(out, 0);
        }
    }

    result.layout.centralDirectory = out.size();
    for (size_t i = 0; i < entries_.size(); ++i) {
        const EntrySpec& e = entries_[i];
        result.layout.centralHeaders.push_back(out.size());
        const uint32_t size = static_cast<uint32_t>(e.data.size());
        const std::string extra =
            e.zip64 ? Zip64Block({size, size, stored(result.layout.localHeaders[i])}) + e.extra : e.extra;
        const uint32_t shownSize = e.zip64 ? 0xFFFFFFFF : size;
        CentralFileHeader h;
        h.SetU32(CentralFileHeader::kSignature, zip::kCentralHeaderSignature);
        h.SetU8(CentralFileHeader::kSpecVersion, e.specVersion);
        h.SetU8(CentralFileHeader::kHostSystem, e.hostSystem);
        h.SetU16(CentralFileHeader::kVersionNeeded, e.versionNeeded);
        h.SetU16(CentralFileHeader::kFlags,
                 static_cast<uint16_t>(e.flags | (e.dataDescriptor ? zip::kFlagDataDescriptor : 0)));
        h.SetU16(CentralFileHeader::kMethod, 0);
        h.SetU16(CentralFileHeader::kTime, e.time);
        h.SetU16(CentralFileHeader::kDate, e.date);
        h.SetU32(CentralFileHeader::kCrc32, Crc32(e.data));
        h.SetU32(CentralFileHeader::kCompressedSize, shownSize);
        h.SetU32(CentralFileHeader::kUncompressedSize, shownSize);
        h.SetU16(CentralFileHeader::kFileNameLength, Length16(e.name));
        h.SetU16(CentralFileHeader::kExtraFieldLength, Length16(extra));
        h.SetU16(CentralFileHeader::kFileCommentLength, Length16(e.comment));
        h.SetU16(CentralFileHeader::kDiskNumberStart, e.diskNumberStart);
        h.SetU16(CentralFileHeader::kInternalAttributes, 0);
        h.SetU32(CentralFileHeader::kExternalAttributes, e.externalAttributes);
        h.SetU32(CentralFileHeader::kLocalHeaderOffset, e.zip64 ? 0xFFFFFFFF : stored(result.layout.localHeaders[i]));
        out.append(reinterpret_cast<const char*>(h.data()), CentralFileHeader::kSize);
        out += e.name;
        out += extra;
        out += e.comment;
    }
    result.layout.centralDirSize = out.size() - result.layout.centralDirectory;

    const uint16_t count = countOverridden_ ? entryCount_ : static_cast<uint16_t>(entries_.size());
    if (zip64Records_) {
        result.layout.zip64EndRecord = out.size();
        std::string end64(56, '\0');
        PutU32(end64, 0, zip::kZip64EndSignature);
        PutU64(end64, 4, 56 - 12);  // the size of what follows this field
        PutU16(end64, 12, 45);
        PutU16(end64, 14, 45);
        PutU64(end64, kZip64EntriesOnDisk, count);
        PutU64(end64, kZip64TotalEntries, count);
        PutU64(end64, kZip64CentralDirSize, result.layout.centralDirSize);
        PutU64(end64, kZip64CentralDirOffset, stored(result.layout.centralDirectory));
        out += end64;
        result.layout.zip64Locator = out.size();
        std::string locator(20, '\0');
        PutU32(locator, 0, zip::kZip64LocatorSignature);
        PutU64(locator, kZip64LocatorRecordOffset, stored(result.layout.zip64EndRecord));
        PutU32(locator, 16, 1);  // total number of disks
        out += locator;
    }

    result.layout.endRecord = out.size();
    EndOfCentralHeader end;
    end.SetU32(EndOfCentralHeader::kSignature, zip::kEndOfCentralSignature);
    end.SetU16(EndOfCentralHeader::kThisDisk, thisDisk_);
    end.SetU16(EndOfCentralHeader::kCentralDirDisk, centralDirDisk_);
    end.SetU16(EndOfCentralHeader::kEntriesOnDisk, zip64Saturated_ ? 0xFFFF : count);
    end.SetU16(EndOfCentralHeader::kTotalEntries, zip64Saturated_ ? 0xFFFF : count);
    end.SetU32(EndOfCentralHeader::kCentralDirSize,
               zip64Saturated_ ? 0xFFFFFFFF : static_cast<uint32_t>(result.layout.centralDirSize));
    end.SetU32(EndOfCentralHeader::kCentralDirOffset, zip64Saturated_ ? 0xFFFFFFFF : stored(result.layout.centralDirectory));
    end.SetU16(EndOfCentralHeader::kCommentLength, Length16(comment_));
    out.append(reinterpret_cast<const char*>(end.data()), EndOfCentralHeader::kSize);
    out += comment_;
    return result;
}

std::string StubBytes(size_t size) {
    std::string stub(size, '\0');
    // A repeating pattern without 'P' (0x50), so no signature can appear inside it.
    for (size_t i = 0; i < size; ++i) stub[i] = static_cast<char>("MZ stub-bytes 0123456789\x90\xCC"[i % 26]);
    return stub;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    platform::FileStream file(path, platform::Access::Create, platform::Share::Exclusive);
    size_t done = 0;
    while (done < bytes.size()) {
        const int32_t chunk = static_cast<int32_t>(std::min<size_t>(bytes.size() - done, 1 << 20));
        const int32_t written = file.Write(bytes.data() + done, chunk);
        if (written != chunk) throw std::runtime_error("WriteFileBytes: short write to " + path);
        done += static_cast<size_t>(written);
    }
}

std::string ReadFileBytes(const std::string& path) {
    platform::FileStream file(path, platform::Access::Read, platform::Share::DenyNone);
    std::string bytes(static_cast<size_t>(file.Size()), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const int32_t chunk = static_cast<int32_t>(std::min<size_t>(bytes.size() - done, 1 << 20));
        const int32_t got = file.Read(&bytes[done], chunk);
        if (got <= 0) throw std::runtime_error("ReadFileBytes: short read from " + path);
        done += static_cast<size_t>(got);
    }
    return bytes;
}

int32_t MemoryStream::Read(void* buffer, int32_t count) {
    if (count <= 0 || position_ >= Size()) return 0;
    const int64_t n = std::min<int64_t>(count, Size() - position_);
    std::copy_n(bytes_.data() + position_, n, static_cast<char*>(buffer));
    position_ += n;
    return static_cast<int32_t>(n);
}

int32_t MemoryStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    const size_t end = static_cast<size_t>(position_) + static_cast<size_t>(count);
    if (end > bytes_.size()) bytes_.resize(end, '\0');
    std::copy_n(static_cast<const char*>(buffer), count, &bytes_[static_cast<size_t>(position_)]);
    position_ = static_cast<int64_t>(end);
    return count;
}

int64_t MemoryStream::Seek(int64_t offset, platform::Origin origin) {
    int64_t base = 0;
    if (origin == platform::Origin::Current) base = position_;
    if (origin == platform::Origin::End) base = Size();
    const int64_t target = base + offset;
    if (target < 0) return -1;
    position_ = target;
    return position_;
}

bool MemoryStream::Truncate() {
    if (position_ < Size()) bytes_.resize(static_cast<size_t>(position_));
    return true;
}

}  // namespace larktest
