// Opening, creating and listing archives through TZip: the directory reader and its refusals.
#include <gtest/gtest.h>

#include "tzip/Zip.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "tests/support/ZipListing.h"
#include "tests/support/ZipError.h"

using larktest::ArchiveBuilder;
using larktest::EntrySpec;
using larktest::FromHex;
using larktest::PutU16;
using larktest::PutU32;
using zip::EndOfCentralHeader;
using larktest::ZipError;
using zip::FormatMsg;
using zip::Msg;

namespace {

EntrySpec Entry(const std::string& name, const std::string& data, const std::string& comment = "") {
    EntrySpec e;
    e.name = name;
    e.data = data;
    e.comment = comment;
    return e;
}

ArchiveBuilder ThreeEntries() {
    return ArchiveBuilder()
        .Add(Entry("a.txt", "alpha", "first"))
        .Add(Entry("dir/b.txt", std::string(1000, 'b')))
        .Add(Entry("c.bin", "gamma", "third"));
}

class ZipRead : public testing::Test {
protected:
    void Open(const std::string& path) { zip.SetZipFileName(path); }

    std::vector<std::string> Names() { return larktest::ListedNames(zip); }

    void SetUp() override {
        zip.OnContentsChanged = [this](TZip* sender) {
            EXPECT_EQ(sender, &zip);
            ++changes;
        };
    }

    larktest::TestFolder folder;
    larktest::ScriptedUser user;  // no message box may appear unless a test scripts one
    TZip zip;
    int changes = 0;
};

}  // namespace

TEST_F(ZipRead, NewNameCreatesTheMinimalArchive) {
    const std::string path = folder.Path("new.zip");
    ASSERT_FALSE(platform::FileExists(path));
    Open(path);
    EXPECT_EQ(larktest::ReadFileBytes(path), FromHex("50 4B 05 06") + std::string(18, '\0'));
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.GetZipComment(), "");
    EXPECT_EQ(zip.SfxOffset(), 0);
    EXPECT_EQ(zip.EndOfCentral().Position, 0);
    EXPECT_EQ(zip.ZipFileName(), path);
    EXPECT_EQ(changes, 1);
}

TEST_F(ZipRead, EmptyNameClosesAndStillSignalsTheChange) {
    Open(folder.Write("a.zip", ThreeEntries().Comment("note").Bytes()));
    zip.SetPassword("secret");
    ASSERT_EQ(zip.Count(), 3);
    Open("");
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.GetZipComment(), "");
    EXPECT_EQ(zip.Password(), "");
    EXPECT_EQ(zip.ZipFileName(), "");
    EXPECT_EQ(changes, 2);
}

TEST_F(ZipRead, TextFileIsNotAValidZip) {
    const std::string path = folder.Write("notes.zip", "Just some text, no archive in here.\r\n");
    EXPECT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::NotValidZip, path));
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.ZipFileName(), path);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(larktest::ReadFileBytes(path), "Just some text, no archive in here.\r\n");
}

TEST_F(ZipRead, FolderThatDoesNotExistCannotBeCreated) {
    const std::string path = folder.Path("missing-folder\\new.zip");
    EXPECT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::UnableToCreate, path));
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(changes, 0);
}

// A disk without room for the 22 bytes of a new archive: refused, and no stump of a file is left.
TEST_F(ZipRead, NewArchiveOnAFullDiskCannotBeCreated) {
    folder.MapDisk('Q', platform::kDriveFixed, "full", "FULL", 10);
    const std::string path = "Q:\\new.zip";
    EXPECT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::UnableToCreate, path));
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_EQ(changes, 0);
}

TEST_F(ZipRead, ListsNamesSizesAndCommentsInDirectoryOrder) {
    EntrySpec encrypted = Entry("secret.bin", "xyz");
    encrypted.flags = zip::kFlagEncrypted;
    encrypted.extra = FromHex("55 54 05 00 01 02 03 04 05");
    const auto built = ThreeEntries().Add(encrypted).Comment("archive note").Build();
    Open(folder.Write("a.zip", built.bytes));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "dir\\b.txt", "c.bin", "secret.bin"}));
    EXPECT_EQ(zip.GetZipComment(), "archive note");
    TFileInfo info;
    zip.GetEntry(1, info);
    EXPECT_EQ(info.Header.UncompressedSize(), 1000u);
    EXPECT_EQ(info.Header.Crc32(), larktest::Crc32(std::string(1000, 'b')));
    EXPECT_EQ(info.FileComment, "");
    EXPECT_FALSE(info.Encrypted);
    zip.GetEntry(2, info);
    EXPECT_EQ(info.FileComment, "third");
    EXPECT_EQ(info.Header.DosDateTime(), (uint32_t{larktest::kFixedDosDate} << 16) | larktest::kFixedDosTime);
    zip.GetEntry(3, info);
    EXPECT_TRUE(info.Encrypted);
    EXPECT_EQ(info.ExtraField, encrypted.extra);
    // The header is the stored one, byte for byte.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.Header.data()), 46),
              built.bytes.substr(built.layout.centralHeaders[3], 46));
    EXPECT_EQ(zip.EndOfCentral().Position, static_cast<int32_t>(built.layout.endRecord));
}

TEST_F(ZipRead, IndexOutsideTheListIsARangeError) {
    Open(folder.Write("a.zip", ThreeEntries().Bytes()));
    TFileInfo info;
    for (int32_t index : {-1, 3, 1000, INT32_MIN})
        EXPECT_EQ(ZipError([&] { zip.GetEntry(index, info); }), FormatMsg(Msg::IndexRangeError)) << index;
    EXPECT_EQ(ZipError([&] { zip.GetEntry(2, info); }), "");
}

TEST_F(ZipRead, PasswordOfEightyCharactersAtMost) {
    const std::string eighty(80, 'p');
    zip.SetPassword(eighty);
    EXPECT_EQ(zip.Password(), eighty);
    EXPECT_EQ(ZipError([&] { zip.SetPassword(std::string(81, 'q')); }), FormatMsg(Msg::PasswordTooLong));
    EXPECT_EQ(zip.Password(), eighty);
}

TEST_F(ZipRead, OpeningAnotherArchiveClearsThePassword) {
    Open(folder.Write("a.zip", ThreeEntries().Bytes()));
    zip.SetPassword("secret");
    Open(folder.Write("b.zip", ArchiveBuilder().Add("x", "y").Bytes()));
    EXPECT_EQ(zip.Password(), "");
}

// Which archives carry OEM text is decided by the first entry's "version made by".
struct OemCase {
    uint8_t host, spec;
    bool oem;
};

void PrintTo(const OemCase& c, std::ostream* os) { *os << "host " << +c.host << " spec " << +c.spec; }

class ZipReadOem : public ZipRead, public testing::WithParamInterface<OemCase> {};

TEST_P(ZipReadOem, NamesAndCommentsDecodedOnlyForOemHosts) {
    const std::string oemName = "caf\x82.txt";  // an accented letter in the OEM code page
    const std::string oemComment = "r\x82sum\x82";
    EntrySpec first = Entry(oemName, "data", oemComment);
    first.hostSystem = GetParam().host;
    first.specVersion = GetParam().spec;
    // A later entry of another host does not change the decision.
    EntrySpec second = Entry("sub/" + oemName, "data");
    second.hostSystem = GetParam().oem ? 3 : 0;
    Open(folder.Write("oem.zip", ArchiveBuilder().Add(first).Add(second).Comment(oemComment).Bytes()));

    // 0x82 is e-acute in the OEM code page and a low quotation mark in the ANSI one.
    const std::string name = GetParam().oem ? "caf\xC3\xA9.txt" : "caf\xE2\x80\x9A.txt";
    const std::string comment = GetParam().oem ? "r\xC3\xA9sum\xC3\xA9" : "r\xE2\x80\x9Asum\xE2\x80\x9A";
    EXPECT_EQ(zip.OemNames(), GetParam().oem);
    EXPECT_EQ(Names(), (std::vector<std::string>{name, "sub\\" + name}));
    TFileInfo info;
    zip.GetEntry(0, info);
    EXPECT_EQ(info.FileComment, comment);
    EXPECT_EQ(zip.GetZipComment(), comment);
    // Reading again gives the same texts, not a second conversion or none.
    zip.ReadDirectory();
    EXPECT_EQ(zip.GetZipComment(), comment);
    EXPECT_EQ(Names()[0], name);
}

INSTANTIATE_TEST_SUITE_P(Hosts, ZipReadOem,
                         testing::Values(OemCase{0, 20, true}, OemCase{6, 20, true}, OemCase{0, 50, true},
                                         OemCase{11, 50, true}, OemCase{11, 20, false}, OemCase{3, 20, false},
                                         OemCase{3, 50, false}, OemCase{10, 50, false}));

TEST_F(ZipRead, NonOemArchiveAfterAnOemOneIsReadInTheAnsiPage) {
    const std::string comment = "r\x82sum\x82";
    EntrySpec dos = Entry("a", "1");
    EntrySpec unixEntry = dos;
    unixEntry.hostSystem = 3;
    Open(folder.Write("dos.zip", ArchiveBuilder().Add(dos).Comment(comment).Bytes()));
    ASSERT_TRUE(zip.OemNames());
    Open(folder.Write("unix.zip", ArchiveBuilder().Add(unixEntry).Comment(comment).Bytes()));
    EXPECT_FALSE(zip.OemNames());
    EXPECT_EQ(zip.GetZipComment(), "r\xE2\x80\x9Asum\xE2\x80\x9A");
}

// Bytes in front of the archive, with offsets that count them or not.
TEST_F(ZipRead, StubInFrontGivesSfxOffsetInBothOffsetForms) {
    const std::vector<std::string> expected = {"a.txt", "dir\\b.txt", "c.bin"};
    for (bool counted : {false, true}) {
        Open(folder.Write(counted ? "counted.exe" : "plain.exe",
                   ThreeEntries().Stub(larktest::StubBytes(40000), counted).Comment("c").Bytes()));
        EXPECT_EQ(zip.SfxOffset(), 40000) << counted;
        EXPECT_EQ(Names(), expected);
        EXPECT_EQ(zip.GetZipComment(), "c");
    }
    Open(folder.Write("plain.zip", ThreeEntries().Bytes()));
    EXPECT_EQ(zip.SfxOffset(), 0);
    Open(folder.Write("empty.zip", ArchiveBuilder().Stub(larktest::StubBytes(500), false).Bytes()));
    EXPECT_EQ(zip.SfxOffset(), 0);
}

struct DiskCase {
    uint16_t thisDisk, directoryDisk;
    bool valid;
};

void PrintTo(const DiskCase& c, std::ostream* os) { *os << "disks " << c.thisDisk << '/' << c.directoryDisk; }

class ZipReadDisks : public ZipRead, public testing::WithParamInterface<DiskCase> {};

TEST_P(ZipReadDisks, DiskNumbersAboveOneThousandAreRefused) {
    const DiskCase c = GetParam();
    const std::string path = folder.Write("disks.zip", ThreeEntries().Disks(c.thisDisk, c.directoryDisk).Bytes());
    if (c.valid) {
        // Directory on the disk in the drive: read at its stored offset, without a prompt.
        Open(path);
        EXPECT_EQ(zip.Count(), 3);
        EXPECT_EQ(zip.SfxOffset(), 0);
    } else {
        EXPECT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::NotValidZip, path));
        EXPECT_EQ(zip.Count(), 0);
        EXPECT_EQ(zip.EndOfCentral().EndRecord.ThisDisk(), c.thisDisk);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ZipReadDisks,
                         testing::Values(DiskCase{1000, 1000, true}, DiskCase{1001, 1001, false},
                                         DiskCase{1000, 1001, false}, DiskCase{1001, 0, false},
                                         DiskCase{0, 1001, false}));

// A directory cut short at any byte, with the end record still behind it, is a reading error.
TEST_F(ZipRead, DirectoryCutAnywhereIsAReadingError) {
    const auto built = ThreeEntries().Comment("tail").Build();
    const size_t start = built.layout.centralDirectory;
    const std::string front = built.bytes.substr(0, start);
    const std::string end = built.bytes.substr(built.layout.endRecord);
    for (size_t kept = 0; kept < built.layout.centralDirSize; ++kept) {
        std::string endRecord = end;
        PutU32(endRecord, EndOfCentralHeader::kCentralDirSize, static_cast<uint32_t>(kept));
        const std::string path = folder.Write("cut.zip", front + built.bytes.substr(start, kept) + endRecord);
        ASSERT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::ErrorReadingCentral)) << "kept " << kept;
        ASSERT_EQ(zip.Count(), 0);
    }
}

TEST_F(ZipRead, FileCutInsideTheDirectoryIsNotAZip) {
    const auto built = ThreeEntries().Build();
    const std::string path = folder.Write("cut.zip", built.bytes.substr(0, built.layout.centralHeaders[1] + 10));
    EXPECT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::NotValidZip, path));
}

TEST_F(ZipRead, LengthsThatRunPastTheEndAreReadingErrors) {
    const auto built = ThreeEntries().Build();
    const size_t last = built.layout.centralHeaders[2];
    for (size_t field : {zip::CentralFileHeader::kFileNameLength, zip::CentralFileHeader::kExtraFieldLength,
                         zip::CentralFileHeader::kFileCommentLength}) {
        std::string bytes = built.bytes;
        PutU16(bytes, last + field, 60000);
        const std::string path = folder.Write("long.zip", bytes);
        EXPECT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::ErrorReadingCentral)) << field;
        EXPECT_EQ(zip.Count(), 0);
    }
}

TEST_F(ZipRead, ArchiveCommentShorterThanItsLengthIsDropped) {
    auto bytes = ThreeEntries().Comment("0123456789").Bytes();
    bytes.resize(bytes.size() - 3);
    Open(folder.Write("short-comment.zip", bytes));
    EXPECT_EQ(zip.Count(), 3);
    EXPECT_EQ(zip.GetZipComment(), "");
}

TEST_F(ZipRead, ValidArchiveWhoseCommentHoldsASignatureOpens) {
    const std::string comment = std::string("see PK\x05\x06", 8) + std::string(30, '-');
    Open(folder.Write("sig-in-comment.zip", ThreeEntries().Comment(comment).Bytes()));
    EXPECT_EQ(zip.Count(), 3);
    EXPECT_EQ(zip.GetZipComment(), comment);
}

TEST_F(ZipRead, LongestCommentIsFound) {
    const std::string comment(65535, 'k');
    Open(folder.Write("long-comment.zip", ThreeEntries().Comment(comment).Bytes()));
    EXPECT_EQ(zip.Count(), 3);
    EXPECT_EQ(zip.GetZipComment(), comment);
}

// The entry count is 16-bit; its largest value is an ordinary archive, not a ZIP64 marker.
TEST_F(ZipRead, LargestEntryCountStillLists) {
    ArchiveBuilder builder;
    for (int i = 0; i < 65535; ++i) builder.Add("f" + std::to_string(i), "");
    Open(folder.Write("many.zip", builder.Bytes()));
    ASSERT_EQ(zip.Count(), 65535);
    TFileInfo info;
    zip.GetEntry(65534, info);
    EXPECT_EQ(info.FileName, "f65534");
}

ArchiveBuilder ThreeZip64Entries() {
    ArchiveBuilder builder;
    for (EntrySpec e : {Entry("a.txt", "alpha", "first"), Entry("dir/b.txt", std::string(1000, 'b')),
                        Entry("c.bin", "gamma", "third")}) {
        e.zip64 = true;
        builder.Add(e);
    }
    return builder.Zip64Saturated();
}

// The last entry's comment ends in a locator's image that points at no ZIP64 record: nothing in
// the end record is saturated, so it is the comment it seems to be.
std::string GarbageLocator() {
    std::string locator = FromHex("50 4B 06 07 00 00 00 00 39 30 00 00 00 00 00 00 01 00 00 00");
    return ArchiveBuilder().Add(Entry("a.txt", "alpha")).Add(Entry("b.txt", "beta", locator)).Bytes();
}

// ZIP64 records are read where the end record's fields are saturated, and only then must they
// check out; a record that contradicts the end record is refused with a message of its own.
TEST_F(ZipRead, Zip64RecordsAreReadWhereTheEndRecordIsSaturated) {
    const auto zip64 = ThreeZip64Entries().Build();
    const auto plain = ThreeEntries().Build();
    const size_t end = plain.layout.endRecord;
    std::string sizeMarker = plain.bytes, offsetMarker = plain.bytes, noRecord = zip64.bytes;
    PutU32(sizeMarker, end + EndOfCentralHeader::kCentralDirSize, 0xFFFFFFFF);
    PutU32(offsetMarker, end + EndOfCentralHeader::kCentralDirOffset, 0xFFFFFFFF);
    PutU32(noRecord, zip64.layout.zip64EndRecord, 0x12345678);
    auto counted = ThreeEntries().Zip64Saturated().Build();
    larktest::PutU64(counted.bytes, counted.layout.zip64EndRecord + larktest::kZip64TotalEntries, 70000);
    auto hostile = ThreeEntries().Zip64Saturated().Build();
    larktest::PutU64(hostile.bytes, hostile.layout.zip64EndRecord + larktest::kZip64TotalEntries, ~0ull);
    auto contradicting = ThreeEntries().Zip64Records().Build();
    larktest::PutU64(contradicting.bytes, contradicting.layout.zip64EndRecord + larktest::kZip64CentralDirOffset,
                     0x100000000ull + contradicting.layout.centralDirectory);
    std::string noExtra = plain.bytes;
    PutU32(noExtra, plain.layout.centralHeaders[1] + zip::CentralFileHeader::kUncompressedSize, 0xFFFFFFFF);

    struct Case {
        const char* name;
        std::string bytes;
        int count;     // entries listed, -1: refused
        Msg message;   // when refused
    };
    const Case cases[] = {
        {"saturated, ZIP64 extras", zip64.bytes, 3, Msg::NotValidZip},
        {"garbage locator", GarbageLocator(), 2, Msg::NotValidZip},
        {"redundant records", ThreeEntries().Zip64Records().Bytes(), 3, Msg::NotValidZip},
        {"size marker, no records", sizeMarker, -1, Msg::Zip64Damaged},
        {"offset marker, no records", offsetMarker, -1, Msg::Zip64Damaged},
        {"saturated, locator leads nowhere", noRecord, -1, Msg::Zip64Damaged},
        {"70000 entries in 3 headers' room", counted.bytes, -1, Msg::ErrorReadingCentral},
        {"2^64 - 1 entries claimed, nothing reserved", hostile.bytes, -1, Msg::ErrorReadingCentral},
        {"record contradicts the offset", contradicting.bytes, -1, Msg::Zip64Contradicts},
        {"saturated size, no extra field", noExtra, -1, Msg::ErrorReadingCentral},
    };
    for (const Case& c : cases) {
        const std::string path = folder.Write("zip64.zip", c.bytes);
        if (c.count < 0) {
            const std::string expected =
                c.message == Msg::ErrorReadingCentral ? FormatMsg(c.message) : FormatMsg(c.message, path);
            EXPECT_EQ(ZipError([&] { Open(path); }), expected) << c.name;
            EXPECT_EQ(zip.Count(), 0) << c.name;
            continue;
        }
        Open(path);
        EXPECT_EQ(zip.Count(), c.count) << c.name;
    }
    Open(folder.Write("zip64.zip", zip64.bytes));
    TFileInfo info;
    zip.GetEntry(1, info);
    EXPECT_EQ(info.FileName, "dir\\b.txt");
    EXPECT_EQ(info.Size, 1000u);
    EXPECT_EQ(info.PackedSize, 1000u);
    EXPECT_EQ(info.LocalOffset, zip64.layout.localHeaders[1]);
    EXPECT_TRUE(zip.NeedsZip64());
}

// Writers that always add ZIP64 records write the same values into both: such an archive lists.
TEST_F(ZipRead, Zip64RecordsThatRepeatTheEndRecordAreHarmless) {
    Open(folder.Write("redundant.zip", ThreeEntries().Zip64Records().Comment("c").Bytes()));
    EXPECT_EQ(zip.Count(), 3);
    EXPECT_EQ(zip.SfxOffset(), 0);
    EXPECT_EQ(zip.GetZipComment(), "c");
    Open(folder.Write("redundant.exe", ThreeEntries().Zip64Records().Stub(larktest::StubBytes(40000), false).Bytes()));
    EXPECT_EQ(zip.Count(), 3);
    EXPECT_EQ(zip.SfxOffset(), 40000);
}

// Positions are 64-bit: an archive of 2 GiB and more (sparse here) opens.
TEST_F(ZipRead, FilesOfTwoGibibytesOrMoreOpen) {
    const std::string path = folder.Path("huge.zip");
    const int64_t at = (int64_t{1} << 31) + 100;
    {
        platform::FileStream file(path, platform::Access::Create);
        ASSERT_EQ(file.Seek(at, platform::Origin::Begin), at);
        const auto end = EndOfCentralHeader::Empty();
        ASSERT_EQ(file.Write(end.data(), end.size()), end.size());
    }
    Open(path);
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.EndOfCentral().Position, at);
    platform::DeleteFile(path);
}

// Sizes and offsets that do not fit the file are refused or ignored, never followed.
TEST_F(ZipRead, DirectoryOutsideTheFileIsAReadingError) {
    const auto built = ThreeEntries().Build();
    const size_t end = built.layout.endRecord;
    for (uint32_t size : {uint32_t(end + 1), 0x7FFFFFF0u, 0x80000000u, 0xFFFFFFF0u}) {
        std::string bytes = built.bytes;
        PutU32(bytes, end + EndOfCentralHeader::kCentralDirSize, size);
        const std::string path = folder.Write("outside.zip", bytes);
        EXPECT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::ErrorReadingCentral)) << size;
        EXPECT_EQ(zip.Count(), 0);
    }
    // A multi-disk directory is read at its stored offset: past the end there is nothing to read.
    for (uint32_t offset : {uint32_t(built.bytes.size() + 100), 0x7FFFFFF0u, 0xFFFFFFF0u}) {
        std::string bytes = ThreeEntries().Disks(1, 1).Bytes();
        PutU32(bytes, end + EndOfCentralHeader::kCentralDirOffset, offset);
        const std::string path = folder.Write("outside.zip", bytes);
        EXPECT_EQ(ZipError([&] { Open(path); }), FormatMsg(Msg::ErrorReadingCentral)) << offset;
        EXPECT_EQ(zip.Count(), 0);
    }
}

TEST_F(ZipRead, ImplausibleStubSizesAreTakenAsNone) {
    const auto built = ThreeEntries().Build();
    const size_t end = built.layout.endRecord;
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::vector<Case> cases;
    {
        // Stored directory offset after the real one: the shift comes out negative.
        std::string bytes = built.bytes;
        PutU32(bytes, end + EndOfCentralHeader::kCentralDirOffset, static_cast<uint32_t>(built.layout.centralDirectory + 100));
        cases.push_back({"negative shift", bytes});
        PutU32(bytes, end + EndOfCentralHeader::kCentralDirOffset, 0xFFFFFF00u);
        cases.push_back({"directory offset near 4 GiB", bytes});
    }
    {
        // A plausible stub, but the lowest entry offset plus the stub lies past the end.
        auto stubbed = ThreeEntries().Stub(larktest::StubBytes(40000), false).Build();
        for (size_t header : stubbed.layout.centralHeaders)
            PutU32(stubbed.bytes, header + zip::CentralFileHeader::kLocalHeaderOffset,
                   static_cast<uint32_t>(stubbed.bytes.size() - 10));
        cases.push_back({"past the end", stubbed.bytes});
    }
    for (const Case& c : cases) {
        Open(folder.Write("shift.zip", c.bytes));
        EXPECT_EQ(zip.Count(), 3) << c.name;
        EXPECT_EQ(zip.SfxOffset(), 0) << c.name;
    }
}

// Listing never reads local headers, so an offset that points nowhere does not stop it.
TEST_F(ZipRead, EntryWithLocalOffsetOutsideTheFileStillLists) {
    for (uint32_t offset : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFF00u}) {
        auto built = ThreeEntries().Build();
        for (size_t header : built.layout.centralHeaders)
            PutU32(built.bytes, header + zip::CentralFileHeader::kLocalHeaderOffset, offset);
        Open(folder.Write("offsets.zip", built.bytes));
        EXPECT_EQ(zip.Count(), 3) << offset;
        EXPECT_EQ(zip.SfxOffset(), 0) << offset;
    }
}
