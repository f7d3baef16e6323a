// The compact entry list gives back every field of every entry it was given, in any order of reading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/EntryStore.h"

namespace {

// The block holds the saturated fields only: here the size and the offset.
void PutZip64Block(std::string& extra, uint64_t size, uint64_t offset) {
    const auto put = [&](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) extra += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put(0x0001, 2);
    put(16, 2);
    put(size, 8);
    put(offset, 8);
}

// Entries whose names share folders with their neighbours or not at all, with every field varied,
// including an empty name, a 65,535-byte one, extra fields, comments and values past 32 bits.
std::vector<TFileInfo> VariedEntries() {
    std::vector<TFileInfo> entries;
    for (uint32_t i = 0; i < 300; ++i) {
        TFileInfo entry;
        zip::CentralFileHeader& header = entry.Header;
        for (size_t b = 0; b < zip::CentralFileHeader::kSize; ++b) header.data()[b] = static_cast<uint8_t>(i * 7 + b * 13);
        header.SetU32(zip::CentralFileHeader::kSignature, 0x02014B50);
        header.SetU16(zip::CentralFileHeader::kFlags, i % 5 == 0 ? 1 : 0x0800);
        header.SetU16(zip::CentralFileHeader::kVersionNeeded, i % 3 == 0 ? 20 : 45);
        header.SetU32(zip::CentralFileHeader::kCompressedSize, i * 1000003u);
        header.SetU32(zip::CentralFileHeader::kUncompressedSize, i % 2 ? 0xFFFFFFFFu : i);
        header.SetU32(zip::CentralFileHeader::kLocalHeaderOffset, i % 2 ? 0xFFFFFFFFu : i * 40000u);
        header.SetU32(zip::CentralFileHeader::kCrc32, 0x9E3779B9u * i);
        entry.FileName = i == 7 ? "" : i == 8 ? std::string(65535, 'n') : "tree\\folder" + std::to_string(i / 20) +
                                                                               "\\file" + std::to_string(i) + ".txt";
        if (i % 4 == 1) entry.FileName = "other\\" + entry.FileName + "\\";
        if (i % 2) PutZip64Block(entry.ExtraField, 0x123456789ull + i, 0x500000000ull + i);
        if (i % 3 == 0) entry.ExtraField += std::string("UT\x05\0\x01\x02\x03\x04\x05", 9);
        if (i % 6 == 0) entry.FileComment = "comment " + std::to_string(i) + std::string(i % 50, 'c');
        header.SetU16(zip::CentralFileHeader::kFileNameLength, static_cast<uint16_t>(entry.FileName.size() + i % 3));
        header.SetU16(zip::CentralFileHeader::kExtraFieldLength, static_cast<uint16_t>(entry.ExtraField.size()));
        header.SetU16(zip::CentralFileHeader::kFileCommentLength, static_cast<uint16_t>(entry.FileComment.size()));
        entry.Encrypted = (header.Flags() & 1) != 0;
        entry.Size = i % 2 ? 0x123456789ull + i : header.UncompressedSize();
        entry.PackedSize = header.CompressedSize();
        entry.LocalOffset = i % 2 ? 0x500000000ull + i : header.LocalHeaderOffset();
        entries.push_back(entry);
    }
    return entries;
}

void ExpectSame(const TFileInfo& read, const TFileInfo& given, size_t index) {
    EXPECT_EQ(std::string(read.Header.data(), read.Header.data() + zip::CentralFileHeader::kSize),
              std::string(given.Header.data(), given.Header.data() + zip::CentralFileHeader::kSize))
        << index;
    EXPECT_EQ(read.FileName, given.FileName) << index;
    EXPECT_EQ(read.ExtraField, given.ExtraField) << index;
    EXPECT_EQ(read.FileComment, given.FileComment) << index;
    EXPECT_EQ(read.Encrypted, given.Encrypted) << index;
    EXPECT_EQ(read.Size, given.Size) << index;
    EXPECT_EQ(read.PackedSize, given.PackedSize) << index;
    EXPECT_EQ(read.LocalOffset, given.LocalOffset) << index;
    EXPECT_EQ(read.SpanDisk, given.SpanDisk) << index;
    EXPECT_EQ(read.SpanOffset, given.SpanOffset) << index;
}

TEST(EntryStore, GivesBackEveryEntryInAnyOrder) {
    std::vector<TFileInfo> entries = VariedEntries();
    zip::EntryStore store;
    for (const TFileInfo& entry : entries) store.Add(entry);
    ASSERT_EQ(store.Size(), entries.size());
    TFileInfo read;
    for (size_t i = 0; i < entries.size(); ++i) {
        store.Read(i, read);
        ExpectSame(read, entries[i], i);
    }
    for (size_t i = entries.size(); i-- > 0;) {
        store.Read(i, read);
        ExpectSame(read, entries[i], i);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t index = (i * 97) % entries.size();
        store.Read(index, read);
        ExpectSame(read, entries[index], index);
    }

    // A comment set and the positions spanning gave change their entries alone.
    entries[33].FileComment = "new comment";
    entries[33].Header.SetU16(zip::CentralFileHeader::kFileCommentLength, 11);
    store.SetComment(33, "new comment", 11);
    entries[40].SpanDisk = 3;
    entries[40].SpanOffset = 1234;
    store.SetSpanPosition(40, 3, 1234);
    for (size_t i = 0; i < entries.size(); ++i) {
        store.Read(i, read);
        ExpectSame(read, entries[i], i);
    }
    store.Clear();
    EXPECT_EQ(store.Size(), 0u);
}

// What makes a million entries fit: a tree's entry costs its name's new characters and a few
// dozen bytes, not a copy of its record.
TEST(EntryStore, HoldsATreeInAFewBytesPerEntry) {
    zip::EntryStore store;
    TFileInfo entry;
    entry.Header.SetU32(zip::CentralFileHeader::kSignature, 0x02014B50);
    constexpr size_t kEntries = 100000;
    for (size_t i = 0; i < kEntries; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "project\\module%03zu\\source\\file%05zu.txt", i / 500, i);
        entry.FileName = name;
        entry.Header.SetU32(zip::CentralFileHeader::kLocalHeaderOffset, static_cast<uint32_t>(i * 80));
        entry.Header.SetU32(zip::CentralFileHeader::kCrc32, static_cast<uint32_t>(i * 2654435761u));
        entry.Header.SetU16(zip::CentralFileHeader::kFileNameLength, static_cast<uint16_t>(entry.FileName.size()));
        store.Add(entry);
    }
    store.Trim();
    EXPECT_LT(store.BytesHeld() / kEntries, 28u);
    store.Read(kEntries - 1, entry);
    EXPECT_EQ(entry.FileName, "project\\module199\\source\\file99999.txt");
}

}  // namespace
