// The record layouts byte for byte, extra blocks, the stream read/write of records and the MS-DOS
// time stamp.
#include <gtest/gtest.h>

#include "zipformat/ZipRecords.h"
#include "tests/support/ArchiveBuilder.h"

using namespace zip;
using larktest::FromHex;
using larktest::MemoryStream;

namespace {

// Every field holds a different value, so a wrong offset or width reads a wrong number.
const char* const kLocalHex =
    "50 4B 03 04  0A 00  09 00  08 00  5C 64  EE 26  78 56 34 12  44 33 22 11  88 77 66 55  03 00  04 00";
const char* const kCentralHex =
    "50 4B 01 02  14  0B  0A 00  09 00  08 00  5C 64  EE 26  78 56 34 12  44 33 22 11  88 77 66 55"
    "  03 00  04 00  05 00  06 00  07 00  0D 0C 0B 0A  11 22 33 44";
const char* const kEndHex = "50 4B 05 06  01 00  02 00  03 00  04 00  44 33 22 11  88 77 66 55  05 00";

template <class R>
R FromBytes(const std::string& bytes) {
    MemoryStream stream(bytes);
    R record;
    EXPECT_TRUE(ReadRecord(stream, record));
    EXPECT_EQ(stream.Position(), R::size());
    return record;
}

template <class R>
std::string ToBytes(const R& record) {
    return std::string(reinterpret_cast<const char*>(record.data()), R::kSize);
}

}  // namespace

TEST(ZipRecords, LocalHeaderFieldsReadAtTheirOffsets) {
    const auto h = FromBytes<LocalHeader>(FromHex(kLocalHex));
    EXPECT_EQ(h.Signature(), kLocalHeaderSignature);
    EXPECT_EQ(h.U16(LocalHeader::kVersionNeeded), 10);
    EXPECT_EQ(h.Flags(), 9);
    EXPECT_EQ(h.U16(LocalHeader::kMethod), 8);
    EXPECT_EQ(h.U16(LocalHeader::kTime), 0x645C);
    EXPECT_EQ(h.U16(LocalHeader::kDate), 0x26EE);
    EXPECT_EQ(h.Crc32(), 0x12345678u);
    EXPECT_EQ(h.CompressedSize(), 0x11223344u);
    EXPECT_EQ(h.UncompressedSize(), 0x55667788u);
    EXPECT_EQ(h.FileNameLength(), 3);
    EXPECT_EQ(h.ExtraFieldLength(), 4);
}

TEST(ZipRecords, CentralFileHeaderFieldsReadAtTheirOffsets) {
    const auto h = FromBytes<CentralFileHeader>(FromHex(kCentralHex));
    EXPECT_EQ(h.Signature(), kCentralHeaderSignature);
    EXPECT_EQ(h.SpecVersion(), 20);
    EXPECT_EQ(h.HostSystem(), 11);
    EXPECT_EQ(h.U16(CentralFileHeader::kVersionNeeded), 10);
    EXPECT_EQ(h.Flags(), 9);
    EXPECT_EQ(h.Method(), 8);
    EXPECT_EQ(h.DosDateTime(), 0x26EE645Cu);
    EXPECT_EQ(h.Crc32(), 0x12345678u);
    EXPECT_EQ(h.CompressedSize(), 0x11223344u);
    EXPECT_EQ(h.UncompressedSize(), 0x55667788u);
    EXPECT_EQ(h.FileNameLength(), 3);
    EXPECT_EQ(h.ExtraFieldLength(), 4);
    EXPECT_EQ(h.FileCommentLength(), 5);
    EXPECT_EQ(h.DiskNumberStart(), 6);
    EXPECT_EQ(h.U16(CentralFileHeader::kInternalAttributes), 7);
    EXPECT_EQ(h.U32(CentralFileHeader::kExternalAttributes), 0x0A0B0C0Du);
    EXPECT_EQ(h.LocalHeaderOffset(), 0x44332211u);
    EXPECT_EQ(h.VariableLength(), 12);
}

TEST(ZipRecords, EndOfCentralHeaderFieldsReadAtTheirOffsets) {
    const auto h = FromBytes<EndOfCentralHeader>(FromHex(kEndHex));
    EXPECT_EQ(h.Signature(), kEndOfCentralSignature);
    EXPECT_EQ(h.ThisDisk(), 1);
    EXPECT_EQ(h.CentralDirDisk(), 2);
    EXPECT_EQ(h.EntriesOnDisk(), 3);
    EXPECT_EQ(h.TotalEntries(), 4);
    EXPECT_EQ(h.CentralDirSize(), 0x11223344u);
    EXPECT_EQ(h.CentralDirOffset(), 0x55667788u);
    EXPECT_EQ(h.CommentLength(), 5);
}

TEST(ZipRecords, Zip64RecordFieldsReadAtTheirOffsets) {
    const auto end64 = FromBytes<Zip64EndRecord>(FromHex(
        "50 4B 06 06  2C 00 00 00 00 00 00 00  2D 00  2D 00  01 00 00 00  02 00 00 00"
        "  03 00 00 00 01 00 00 00  04 00 00 00 02 00 00 00  05 00 00 00 03 00 00 00  06 00 00 00 04 00 00 00"));
    EXPECT_EQ(end64.Signature(), kZip64EndSignature);
    EXPECT_EQ(end64.RecordSize(), 44u);
    EXPECT_EQ(end64.ThisDisk(), 1u);
    EXPECT_EQ(end64.CentralDirDisk(), 2u);
    EXPECT_EQ(end64.EntriesOnDisk(), 0x100000003u);
    EXPECT_EQ(end64.TotalEntries(), 0x200000004u);
    EXPECT_EQ(end64.CentralDirSize(), 0x300000005u);
    EXPECT_EQ(end64.CentralDirOffset(), 0x400000006u);
    const auto locator = FromBytes<Zip64Locator>(FromHex("50 4B 06 07  07 00 00 00  08 00 00 00 05 00 00 00  01 00 00 00"));
    EXPECT_EQ(locator.Signature(), kZip64LocatorSignature);
    EXPECT_EQ(locator.EndRecordDisk(), 7u);
    EXPECT_EQ(locator.EndRecordOffset(), 0x500000008u);
    EXPECT_EQ(locator.TotalDisks(), 1u);
}

// The ZIP64 extra field holds only the saturated fields, in their order.
TEST(ZipRecords, Zip64ExtraGivesTheSaturatedFieldsInOrder) {
    struct Case {
        const char* name;
        uint32_t size, packed, offset;
        uint16_t disk;
        const char* extra;
        bool whole;
        uint64_t wantSize, wantPacked, wantOffset;
        uint32_t wantDisk;
    };
    const char* const all = "01 00 1C 00  01 00 00 00 01 00 00 00  02 00 00 00 01 00 00 00  03 00 00 00 01 00 00 00  09 00 00 00";
    const Case cases[] = {
        {"none saturated", 5, 6, 7, 0, "", true, 5, 6, 7, 0},
        {"all four", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF, all, true, 0x100000001, 0x100000002, 0x100000003, 9},
        {"offset only", 5, 6, 0xFFFFFFFF, 0, "01 00 08 00  03 00 00 00 01 00 00 00", true, 5, 6, 0x100000003, 0},
        {"packed only, after another block", 5, 0xFFFFFFFF, 7, 0,
         "99 99 02 00 AA BB  01 00 08 00  02 00 00 00 01 00 00 00", true, 5, 0x100000002, 7, 0},
        {"saturated size, no block", 0xFFFFFFFF, 6, 7, 0, "", false, 0, 0, 0, 0},
        {"two saturated, one value", 0xFFFFFFFF, 0xFFFFFFFF, 7, 0, "01 00 08 00  01 00 00 00 01 00 00 00", false,
         0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        CentralFileHeader h;
        h.SetU32(CentralFileHeader::kUncompressedSize, c.size);
        h.SetU32(CentralFileHeader::kCompressedSize, c.packed);
        h.SetU32(CentralFileHeader::kLocalHeaderOffset, c.offset);
        h.SetU16(CentralFileHeader::kDiskNumberStart, c.disk);
        Zip64Values values;
        const std::string extra = FromHex(c.extra);
        ASSERT_EQ(ResolveZip64(h, extra, values), c.whole) << c.name;
        if (!c.whole) continue;
        EXPECT_EQ(values.uncompressedSize, c.wantSize) << c.name;
        EXPECT_EQ(values.compressedSize, c.wantPacked) << c.name;
        EXPECT_EQ(values.localHeaderOffset, c.wantOffset) << c.name;
        EXPECT_EQ(values.diskStart, c.wantDisk) << c.name;
    }
}

TEST(ZipRecords, EmptyEndRecordIsTheMinimalArchive) {
    EXPECT_EQ(ToBytes(EndOfCentralHeader::Empty()), FromHex("50 4B 05 06") + std::string(18, '\0'));
}

TEST(ZipRecords, WriteRecordWritesTheImageAtThePosition) {
    MemoryStream stream(std::string(10, 'x'));
    stream.Seek(4, platform::Origin::Begin);
    const auto end = FromBytes<EndOfCentralHeader>(FromHex(kEndHex));
    ASSERT_TRUE(WriteRecord(stream, end));
    EXPECT_EQ(stream.Bytes(), std::string(4, 'x') + FromHex(kEndHex));
}

TEST(ZipRecords, ShortReadOfARecordFails) {
    MemoryStream stream(FromHex(kCentralHex).substr(0, 45));
    CentralFileHeader h;
    EXPECT_FALSE(ReadRecord(stream, h));
}

TEST(ZipRecords, LocalHeaderForADirectoryEntryRepeatsItsFields) {
    const LocalHeader local = LocalHeaderFor(FromBytes<CentralFileHeader>(FromHex(kCentralHex)));
    EXPECT_EQ(ToBytes(local),
              FromHex("50 4B 03 04  0A 00  09 00  08 00  5C 64  EE 26  78 56 34 12  44 33 22 11  88 77 66 55  03 00  00 00"));
}

// The ZIP64 block (ID 1) found behind another block; blocks that claim more than is left end the walk.
TEST(ZipRecords, ExtraBlocksAreFoundByTheirId) {
    const struct {
        const char* hex;
        bool zip64;
    } cases[] = {
        {"", false},
        {"01 00 00 00", true},
        {"55 54 05 00 01 02 03 04 05  01 00 10 00" " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", true},
        {"55 54 05 00 01 00 01 00 00", false},
        {"55 54 09 00 01 00 00 00", false},
        {"01", false},
    };
    for (const auto& c : cases) EXPECT_EQ(HasExtraBlock(FromHex(c.hex), 0x0001), c.zip64) << c.hex;
}

struct DosCase {
    int year, month, day, hour, minute, second;
    bool valid;
};

void PrintTo(const DosCase& c, std::ostream* os) {
    *os << c.year << '-' << c.month << '-' << c.day << ' ' << c.hour << ':' << c.minute << ':' << c.second;
}

static uint32_t Pack(const DosCase& c) {
    const uint32_t time = (c.hour << 11) | (c.minute << 5) | (c.second / 2);
    const uint32_t date = ((c.year - 1980) << 9) | (c.month << 5) | c.day;
    return (date << 16) | time;
}

class DosDateTimeSplit : public testing::TestWithParam<DosCase> {};

TEST_P(DosDateTimeSplit, FieldsAndValidity) {
    const DosCase c = GetParam();
    const DosDateTimeParts p = SplitDosDateTime(Pack(c));
    EXPECT_EQ(p.valid, c.valid);
    if (!c.valid) return;
    EXPECT_EQ(p.year, c.year);
    EXPECT_EQ(p.month, c.month);
    EXPECT_EQ(p.day, c.day);
    EXPECT_EQ(p.hour, c.hour);
    EXPECT_EQ(p.minute, c.minute);
    EXPECT_EQ(p.second, c.second);
}

INSTANTIATE_TEST_SUITE_P(Table, DosDateTimeSplit,
                         testing::Values(DosCase{1980, 1, 1, 0, 0, 0, true},
                                         DosCase{1999, 7, 14, 12, 34, 56, true},
                                         DosCase{2107, 12, 31, 23, 59, 58, true},
                                         DosCase{2000, 2, 29, 1, 2, 4, true},
                                         DosCase{1999, 0, 14, 12, 0, 0, false},    // month 0
                                         DosCase{1999, 13, 14, 12, 0, 0, false},   // month 13
                                         DosCase{1999, 7, 0, 12, 0, 0, false},     // day 0
                                         DosCase{1999, 7, 14, 24, 0, 0, false},    // hour 24
                                         DosCase{1999, 7, 14, 12, 60, 0, false},   // minute 60
                                         DosCase{1999, 7, 14, 12, 0, 60, false},   // seconds field 30
                                         DosCase{1999, 2, 30, 12, 0, 0, false},    // no 30 February
                                         DosCase{2001, 2, 29, 12, 0, 0, false},    // not a leap year
                                         DosCase{2100, 2, 29, 12, 0, 0, false},    // century, not leap
                                         DosCase{1999, 4, 31, 12, 0, 0, false}));  // April has 30 days

TEST(ZipRecords, AllZeroTimeStampIsInvalid) { EXPECT_FALSE(SplitDosDateTime(0).valid); }

TEST(ArchiveBuilder, Crc32OfTheCheckString) {
    EXPECT_EQ(larktest::Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(larktest::Crc32(""), 0u);
}
