// The compact entry list: header fields packed, names front-coded, everything in large chunks.
#include "archive/EntryStore.h"

#include <algorithm>
#include <cstring>

namespace zip {
namespace {

// Entries are appended into chunks of this size (or one entry's size, when larger), reserved
// once, so that growing the list never copies what it already holds.
constexpr size_t kChunkSize = 1 << 20;
constexpr size_t kBlockEntries = 16;
// The header's bytes that repeat from entry to entry: signature, versions, flags and method; the
// disk, the internal and the external attributes.
constexpr size_t kFrontFields = CentralFileHeader::kTime;
constexpr size_t kBackFields = CentralFileHeader::kLocalHeaderOffset - CentralFileHeader::kDiskNumberStart;
// The low bits of an entry's first number: which lengths follow.
constexpr uint64_t kHasExtra = 1;
constexpr uint64_t kHasComment = 2;
constexpr uint64_t kHasNameLength = 4;
// Ten bytes hold any 64-bit value at seven bits a byte.
constexpr size_t kMaxNumberBytes = 10;

uint8_t* PutNumber(uint8_t* out, uint64_t value) {
    while (value >= 0x80) {
        *out++ = static_cast<uint8_t>(value | 0x80);
        value >>= 7;
    }
    *out++ = static_cast<uint8_t>(value);
    return out;
}

uint64_t TakeNumber(const uint8_t*& in) {
    uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const uint8_t byte = *in++;
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) return value;
    }
}

size_t SharedPrefix(const std::string& a, const std::string& b) {
    const size_t limit = std::min(a.size(), b.size());
    size_t shared = 0;
    while (shared < limit && a[shared] == b[shared]) ++shared;
    return shared;
}

}  // namespace

void EntryStore::Clear() {
    *this = EntryStore();
}

uint32_t EntryStore::ProfileOf(const CentralFileHeader& header) {
    const auto* bytes = reinterpret_cast<const char*>(header.data());
    // Neighbours mostly share their set: it is compared before any lookup.
    if (!profiles_.empty()) {
        const std::string& last = profiles_[lastProfile_];
        if (last.compare(0, kFrontFields, bytes, kFrontFields) == 0 &&
            last.compare(kFrontFields, kBackFields, bytes + CentralFileHeader::kDiskNumberStart, kBackFields) == 0)
            return lastProfile_;
    }
    std::string key(bytes, kFrontFields);
    key.append(bytes + CentralFileHeader::kDiskNumberStart, kBackFields);
    const auto found = profileIndex_.find(key);
    if (found != profileIndex_.end()) return lastProfile_ = found->second;
    lastProfile_ = static_cast<uint32_t>(profiles_.size());
    profiles_.push_back(key);
    profileIndex_.emplace(std::move(key), lastProfile_);
    return lastProfile_;
}

uint8_t* EntryStore::Reserve(size_t bytes) {
    if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < bytes) {
        chunks_.emplace_back();
        chunks_.back().reserve(std::max(bytes, kChunkSize));
    }
    std::vector<uint8_t>& chunk = chunks_.back();
    const size_t start = chunk.size();
    chunk.resize(start + bytes);
    return chunk.data() + start;
}

void EntryStore::Add(const TFileInfo& entry) {
    const CentralFileHeader& header = entry.Header;
    const bool blockStart = count_ % kBlockEntries == 0;
    const size_t shared = blockStart ? 0 : SharedPrefix(lastName_, entry.FileName);
    const size_t suffix = entry.FileName.size() - shared;
    const uint32_t profile = ProfileOf(header);

    // The bytes are counted generously and the chunk trimmed to what was written.
    const size_t most = 9 * kMaxNumberBytes + 8 + suffix + entry.ExtraField.size() + entry.FileComment.size();
    uint8_t* const start = Reserve(most);
    uint8_t* out = start;
    // Lengths that hold nothing new (no extra field, no comment, a name stored as many bytes as it
    // has in UTF-8) are marked in the low bits of the first number instead of stored.
    const bool extra = !entry.ExtraField.empty();
    const bool comment = header.FileCommentLength() != 0 || !entry.FileComment.empty();
    const bool nameLength = header.FileNameLength() != entry.FileName.size();
    out = PutNumber(out, (static_cast<uint64_t>(profile) << 3) | (extra ? kHasExtra : 0) | (comment ? kHasComment : 0) |
                             (nameLength ? kHasNameLength : 0));
    std::memcpy(out, header.data() + CentralFileHeader::kTime, 8);  // time, date and CRC as stored
    out += 8;
    out = PutNumber(out, header.CompressedSize());
    out = PutNumber(out, header.UncompressedSize());
    out = PutNumber(out, header.LocalHeaderOffset());
    if (nameLength) out = PutNumber(out, header.FileNameLength());
    if (extra) out = PutNumber(out, entry.ExtraField.size());
    if (comment) {
        out = PutNumber(out, header.FileCommentLength());
        out = PutNumber(out, entry.FileComment.size());
    }
    out = PutNumber(out, shared);
    out = PutNumber(out, suffix);
    std::memcpy(out, entry.FileName.data() + shared, suffix);
    out += suffix;
    std::memcpy(out, entry.ExtraField.data(), entry.ExtraField.size());
    out += entry.ExtraField.size();
    std::memcpy(out, entry.FileComment.data(), entry.FileComment.size());
    out += entry.FileComment.size();
    std::vector<uint8_t>& chunk = chunks_.back();
    chunk.resize(chunk.size() - (most - static_cast<size_t>(out - start)));

    if (blockStart) {
        blockStarts_.push_back({static_cast<uint32_t>(chunks_.size() - 1),
                                static_cast<uint32_t>(start - chunk.data())});
    }
    lastName_ = entry.FileName;
    if (!spanPositions_.empty()) spanPositions_.emplace_back(entry.SpanDisk, entry.SpanOffset);
    ++count_;
}

// Decodes the entry at `at` onto `name`, which holds the previous entry's name, and moves `at` on.
void EntryStore::DecodeAt(Position& at, TFileInfo& entry, std::string& name) const {
    const std::vector<uint8_t>& chunk = chunks_[at.chunk];
    const uint8_t* in = chunk.data() + at.offset;
    const uint64_t first = TakeNumber(in);
    const std::string& profile = profiles_[static_cast<size_t>(first >> 3)];
    CentralFileHeader& header = entry.Header;
    uint8_t* bytes = header.data();
    std::memcpy(bytes, profile.data(), kFrontFields);
    std::memcpy(bytes + CentralFileHeader::kDiskNumberStart, profile.data() + kFrontFields, kBackFields);
    std::memcpy(bytes + CentralFileHeader::kTime, in, 8);
    in += 8;
    header.SetU32(CentralFileHeader::kCompressedSize, static_cast<uint32_t>(TakeNumber(in)));
    header.SetU32(CentralFileHeader::kUncompressedSize, static_cast<uint32_t>(TakeNumber(in)));
    header.SetU32(CentralFileHeader::kLocalHeaderOffset, static_cast<uint32_t>(TakeNumber(in)));
    const bool storedNameLength = (first & kHasNameLength) != 0;
    const uint64_t nameLength = storedNameLength ? TakeNumber(in) : 0;
    const auto extraLength = (first & kHasExtra) ? static_cast<size_t>(TakeNumber(in)) : 0;
    header.SetU16(CentralFileHeader::kExtraFieldLength, static_cast<uint16_t>(extraLength));
    uint64_t storedCommentLength = 0;
    size_t commentLength = 0;
    if (first & kHasComment) {
        storedCommentLength = TakeNumber(in);
        commentLength = static_cast<size_t>(TakeNumber(in));
    }
    header.SetU16(CentralFileHeader::kFileCommentLength, static_cast<uint16_t>(storedCommentLength));
    const auto shared = static_cast<size_t>(TakeNumber(in));
    const auto suffix = static_cast<size_t>(TakeNumber(in));
    name.resize(shared);
    name.append(reinterpret_cast<const char*>(in), suffix);
    in += suffix;
    header.SetU16(CentralFileHeader::kFileNameLength, static_cast<uint16_t>(storedNameLength ? nameLength : name.size()));
    entry.ExtraField.assign(reinterpret_cast<const char*>(in), extraLength);
    in += extraLength;
    entry.FileComment.assign(reinterpret_cast<const char*>(in), commentLength);
    in += commentLength;

    at.offset = static_cast<uint32_t>(in - chunk.data());
    if (at.offset == chunk.size()) at = {at.chunk + 1, 0};
}

void EntryStore::Read(size_t index, TFileInfo& entry) const {
    if (cursor_.index == SIZE_MAX || index != cursor_.index + 1) {
        const size_t block = index / kBlockEntries;
        cursor_.index = block * kBlockEntries - 1;  // wraps below the block's first entry, as intended
        cursor_.next = blockStarts_[block];
    }
    while (cursor_.index != index) {
        DecodeAt(cursor_.next, entry, cursor_.name);
        ++cursor_.index;
    }
    entry.FileName = cursor_.name;
    entry.Encrypted = (entry.Header.Flags() & kFlagEncrypted) != 0;
    Zip64Values values;
    ResolveZip64(entry.Header, entry.ExtraField, values);
    entry.Size = values.uncompressedSize;
    entry.PackedSize = values.compressedSize;
    entry.LocalOffset = values.localHeaderOffset;
    if (spanPositions_.empty()) {
        entry.SpanDisk = entry.SpanOffset = 0;
    } else {
        entry.SpanDisk = spanPositions_[index].first;
        entry.SpanOffset = spanPositions_[index].second;
    }
}

void EntryStore::SetComment(size_t index, const std::string& comment, uint16_t storedLength) {
    EntryStore rebuilt;
    TFileInfo entry;
    for (size_t i = 0; i < count_; ++i) {
        Read(i, entry);
        if (i == index) {
            entry.FileComment = comment;
            entry.Header.SetU16(CentralFileHeader::kFileCommentLength, storedLength);
        }
        rebuilt.Add(entry);
    }
    rebuilt.Trim();
    rebuilt.spanPositions_ = std::move(spanPositions_);
    *this = std::move(rebuilt);
}

void EntryStore::Trim() {
    if (!chunks_.empty()) chunks_.back().shrink_to_fit();
    blockStarts_.shrink_to_fit();
}

void EntryStore::SetSpanPosition(size_t index, int32_t disk, int32_t offset) {
    if (spanPositions_.empty()) spanPositions_.resize(count_);
    spanPositions_[index] = {disk, offset};
}

size_t EntryStore::BytesHeld() const {
    size_t bytes = blockStarts_.capacity() * sizeof(Position) + spanPositions_.capacity() * sizeof(spanPositions_[0]);
    for (const std::vector<uint8_t>& chunk : chunks_) bytes += chunk.capacity();
    for (const std::string& profile : profiles_) bytes += profile.capacity() + sizeof(profile);
    return bytes;
}

}  // namespace zip
