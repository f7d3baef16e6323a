// The entry list of an open archive, held compactly: an entry's TFileInfo is built when asked for.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "zipformat/ZipRecords.h"

// One central directory entry in memory.
struct TFileInfo {
    zip::CentralFileHeader Header;  // the 46 bytes as read, signature included
    bool Encrypted = false;
    std::string FileName;           // UTF-8, decoded by the archive's name rule, with backslashes
    std::string ExtraField;         // stored bytes, unchanged
    std::string FileComment;        // UTF-8, decoded as the name is
    // The sizes and the local header's offset as stored, from the ZIP64 extra field where the
    // header's field is saturated.
    uint64_t Size = 0;
    uint64_t PackedSize = 0;
    uint64_t LocalOffset = 0;
    int32_t SpanDisk = 0;           // given by spanning only
    int32_t SpanOffset = 0;         // given by spanning only
};

namespace zip {

// A million entries must fit a 32-bit program several times over (the window, the archive object
// and an engine each hold the directory), so an entry costs here about its name's new characters
// and 20 bytes: the header fields that repeat from entry to entry (versions, flags, method,
// attributes) are kept once per distinct set, the others packed to the bytes their values need,
// and each name stored as the characters it does not share with the one before. Every 16th name
// is stored whole, so reaching any entry decodes at most 16; reading in order decodes each once.
class EntryStore {
public:
    EntryStore() = default;
    EntryStore(const EntryStore&) = delete;
    EntryStore& operator=(const EntryStore&) = delete;
    EntryStore(EntryStore&&) = default;
    EntryStore& operator=(EntryStore&&) = default;

    size_t Size() const { return count_; }
    bool Empty() const { return count_ == 0; }
    void Clear();
    // The entry's sizes and offset are resolved again from its header and extra field on reading,
    // which the caller has checked when adding it.
    void Add(const TFileInfo& entry);
    void Read(size_t index, TFileInfo& entry) const;
    // Gives back what the last chunk reserved beyond its entries, once the list is complete.
    void Trim();
    // An entry's comment changed: the store is rebuilt around it (comment edits are rare).
    void SetComment(size_t index, const std::string& comment, uint16_t storedLength);
    void SetSpanPosition(size_t index, int32_t disk, int32_t offset);
    // Bytes held: what the memory test measures.
    size_t BytesHeld() const;

private:
    struct Position {
        uint32_t chunk = 0;
        uint32_t offset = 0;
    };
    struct Cursor {
        size_t index = SIZE_MAX;  // the entry `name` belongs to
        Position next;            // where the entry after it starts
        std::string name;
    };

    uint32_t ProfileOf(const CentralFileHeader& header);
    uint8_t* Reserve(size_t bytes);
    void DecodeAt(Position& at, TFileInfo& entry, std::string& name) const;

    std::vector<std::vector<uint8_t>> chunks_;
    std::vector<Position> blockStarts_;  // of every 16th entry
    // The header fields that repeat, per distinct set, and the index of each set.
    std::vector<std::string> profiles_;
    std::unordered_map<std::string, uint32_t> profileIndex_;
    uint32_t lastProfile_ = 0;
    std::vector<std::pair<int32_t, int32_t>> spanPositions_;  // empty until spanning gives them
    std::string lastName_;
    size_t count_ = 0;
    mutable Cursor cursor_;
};

}  // namespace zip
