// Joining a stub and an archive into a program, and stripping the stub again, checked byte for byte.
#include <gtest/gtest.h>

#include "tzip/Zip.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/SimulatedDrives.h"
#include "sfx/SfxUtils.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "tests/support/ZipError.h"

using larktest::ArchiveBuilder;
using larktest::ReadFileBytes;
using larktest::StubBytes;
using larktest::ZipError;
using zip::FormatMsg;
using zip::Msg;

namespace {

// With `zip64`, every other entry, the first among them, keeps its offset in a ZIP64 extra field.
ArchiveBuilder TenEntries(bool zip64 = false) {
    ArchiveBuilder builder;
    for (int i = 0; i < 10; ++i) {
        larktest::EntrySpec e;
        e.name = "dir/file" + std::to_string(i) + ".txt";
        e.data = std::string(50 + 37 * i, static_cast<char>('a' + i));
        e.comment = i % 3 ? "" : "comment " + std::to_string(i);
        e.zip64 = zip64 && i % 2 == 0;
        builder.Add(e);
    }
    return builder.Comment("the archive comment");
}

struct Listing {
    std::vector<std::string> names;
    std::vector<uint32_t> crcs, sizes;
    std::string comment;
    int32_t sfxOffset;
    bool operator==(const Listing& o) const {
        return names == o.names && crcs == o.crcs && sizes == o.sizes && comment == o.comment;
    }
};

Listing List(const std::string& path) {
    TZip zip;
    zip.SetZipFileName(path);
    Listing listing;
    TFileInfo info;
    for (int32_t i = 0; i < zip.Count(); ++i) {
        zip.GetEntry(i, info);
        listing.names.push_back(info.FileName);
        listing.crcs.push_back(info.Header.Crc32());
        listing.sizes.push_back(info.Header.UncompressedSize());
    }
    listing.comment = zip.GetZipComment();
    listing.sfxOffset = zip.SfxOffset();
    return listing;
}

class Sfx : public testing::Test {
protected:
    larktest::TestFolder folder;
    larktest::ScriptedUser user;
};

}  // namespace

TEST_F(Sfx, BuildJoinsStubAndArchiveUnchanged) {
    const std::string stub = StubBytes(40000);
    const std::string archive = TenEntries().Bytes();
    const std::string stubPath = folder.Write("sfx.bin", stub);
    const std::string zipPath = folder.Write("a.zip", archive);
    const std::string exePath = folder.Path("a.exe");
    ASSERT_TRUE(BuildSfx({stubPath, zipPath}, exePath));
    EXPECT_EQ(ReadFileBytes(exePath), stub + archive);
    EXPECT_EQ(ReadFileBytes(zipPath), archive);  // the source is never changed
    const Listing program = List(exePath);
    EXPECT_EQ(program.sfxOffset, 40000);
    EXPECT_EQ(program, List(zipPath));
    EXPECT_EQ(program.names.size(), 10u);
}

TEST_F(Sfx, BuildJoinsEveryFileInOrder) {
    const std::string a = folder.Write("a", "first|"), b = folder.Write("b", ""), c = folder.Write("c", "third");
    ASSERT_TRUE(BuildSfx({a, b, c, a}, folder.Path("out")));
    EXPECT_EQ(ReadFileBytes(folder.Path("out")), "first|thirdfirst|");
}

TEST_F(Sfx, BuildTruncatesAnExistingTarget) {
    const std::string exe = folder.Write("a.exe", std::string(100000, 'o'));
    ASSERT_TRUE(BuildSfx({folder.Write("sfx.bin", "stub"), folder.Write("a.zip", "zip")}, exe));
    EXPECT_EQ(ReadFileBytes(exe), "stubzip");
}

TEST_F(Sfx, BuildRefusesTooFewNamesOrNoTarget) {
    const std::string stub = folder.Write("sfx.bin", StubBytes(100));
    const std::string exe = folder.Path("a.exe");
    EXPECT_FALSE(BuildSfx({}, exe));
    EXPECT_FALSE(BuildSfx({stub}, exe));
    EXPECT_FALSE(platform::FileExists(exe));
    EXPECT_FALSE(BuildSfx({stub, stub}, ""));
}

// A failed conversion takes its partial target away, so a retry is not refused as "already exists".
TEST_F(Sfx, BuildWithAMissingInputRemovesItsTarget) {
    const std::string stub = folder.Write("sfx.bin", StubBytes(100));
    const std::string exe = folder.Path("a.exe");
    EXPECT_THROW(BuildSfx({stub, folder.Path("missing.zip")}, exe), platform::FileError);
    EXPECT_FALSE(platform::FileExists(exe));
}

TEST_F(Sfx, StripRestoresTheArchiveByteForByte) {
    const std::string archive = TenEntries().Bytes();
    const std::string exe = folder.Write("a.exe", StubBytes(40000) + archive);
    const std::string zipPath = folder.Path("a.zip");
    ASSERT_TRUE(StripSfxStub(exe, zipPath));
    EXPECT_EQ(ReadFileBytes(zipPath), archive);
    EXPECT_EQ(ReadFileBytes(exe), StubBytes(40000) + archive);
}

// Offsets counted from the start of the program are lowered to count from the archive's start.
TEST_F(Sfx, StripLowersOffsetsThatCountTheStub) {
    for (size_t stubSize : {1, 4096, 40000}) {
        const std::string exe = folder.Write("counted.exe", TenEntries().Stub(StubBytes(stubSize), true).Bytes());
        const std::string zipPath = folder.Path("counted.zip");
        platform::DeleteFile(zipPath);
        ASSERT_TRUE(StripSfxStub(exe, zipPath)) << stubSize;
        EXPECT_EQ(ReadFileBytes(zipPath), TenEntries().Bytes()) << stubSize;
        EXPECT_EQ(List(zipPath).sfxOffset, 0);
    }
}

// ZIP64 records are part of the archive and are carried over, lowered too: those that repeat the
// end record, and those that hold its saturated values and the entries' offsets.
TEST_F(Sfx, StripCarriesZip64RecordsOver) {
    const ArchiveBuilder archives[] = {TenEntries().Zip64Records(), TenEntries(true).Zip64Saturated()};
    for (size_t i = 0; i < 2; ++i) {
        for (bool counted : {false, true}) {
            const std::string exe =
                folder.Write("z64.exe", ArchiveBuilder(archives[i]).Stub(StubBytes(3000), counted).Bytes());
            const std::string zipPath = folder.Path(std::to_string(i) + (counted ? "counted.zip" : "plain.zip"));
            bool stripped = false;
            ASSERT_EQ(ZipError([&] { stripped = StripSfxStub(exe, zipPath); }), "") << i << counted;
            ASSERT_TRUE(stripped) << i << counted;
            EXPECT_EQ(ReadFileBytes(zipPath), archives[i].Bytes()) << i << counted;
        }
    }
}

TEST_F(Sfx, StripTruncatesAnExistingTarget) {
    const std::string exe = folder.Write("a.exe", StubBytes(300) + TenEntries().Bytes());
    const std::string zipPath = folder.Write("a.zip", std::string(200000, 'o'));
    ASSERT_TRUE(StripSfxStub(exe, zipPath));
    EXPECT_EQ(ReadFileBytes(zipPath), TenEntries().Bytes());
}

TEST_F(Sfx, StripRefusals) {
    const std::string zipPath = folder.Path("out.zip");
    EXPECT_FALSE(StripSfxStub(folder.Path("missing.exe"), zipPath));
    EXPECT_FALSE(platform::FileExists(zipPath));
    EXPECT_FALSE(StripSfxStub(folder.Write("a.exe", StubBytes(300) + TenEntries().Bytes()), ""));
}

// Every way of failing after the target was created leaves no target behind.
struct StripFailure {
    const char* name;
    std::string bytes;
    Msg message;      // the ZipException expected, or...
    bool exception;   // ...false as the plain result
};

void PrintTo(const StripFailure& c, std::ostream* os) { *os << c.name; }

class StripFails : public Sfx, public testing::WithParamInterface<StripFailure> {};

TEST_P(StripFails, AndRemovesTheTarget) {
    const StripFailure& c = GetParam();
    const std::string exe = folder.Write("bad.exe", c.bytes);
    const std::string zipPath = folder.Path("bad.zip");
    if (c.exception) {
        const Msg id = c.message;
        const std::string expected = id == Msg::NotValidSfx ? FormatMsg(id, exe) : FormatMsg(id);
        EXPECT_EQ(ZipError([&] { StripSfxStub(exe, zipPath); }), expected);
    } else {
        EXPECT_FALSE(StripSfxStub(exe, zipPath));
    }
    EXPECT_FALSE(platform::FileExists(zipPath));
    EXPECT_EQ(ReadFileBytes(exe), c.bytes);
}

namespace {

std::vector<StripFailure> StripFailures() {
    std::vector<StripFailure> cases;
    cases.push_back({"TextFile", "This is no program and no archive.", Msg::NotValidSfx, true});
    cases.push_back({"PlainArchive", TenEntries().Bytes(), Msg::NotValidSfx, false});
    // No first header to read behind the end record.
    cases.push_back({"EmptyArchive", ArchiveBuilder().Bytes(), Msg::ErrorReadingSfx, true});
    {
        auto built = TenEntries().Stub(StubBytes(500), false).Build();
        built.bytes[built.layout.centralDirectory + 2] = 'X';
        cases.push_back({"FirstHeaderSignature", built.bytes, Msg::ErrorReadingSfx, true});
    }
    {
        auto built = TenEntries().Stub(StubBytes(500), true).Build();
        built.bytes[built.layout.centralHeaders[5] + 3] = 'X';
        cases.push_back({"LaterHeaderSignatureWhileRewriting", built.bytes, Msg::NotValidSfx, false});
    }
    cases.push_back({"MultiDisk", TenEntries().Stub(StubBytes(500), false).Disks(1, 1).Bytes(), Msg::NotValidSfx,
                     false});
    {
        // Stored directory offset after the real one: the start of the ZIP data comes out negative.
        auto built = TenEntries().Stub(StubBytes(500), false).Build();
        larktest::PutU32(built.bytes, built.layout.endRecord + zip::EndOfCentralHeader::kCentralDirOffset,
                         0xFFFFFF00u);
        cases.push_back({"NegativeStart", built.bytes, Msg::NotValidSfx, false});
    }
    {
        // First entry's offset far past the end of the file.
        auto built = TenEntries().Stub(StubBytes(500), false).Build();
        larktest::PutU32(built.bytes, built.layout.centralHeaders[0] + zip::CentralFileHeader::kLocalHeaderOffset,
                         0x7FFFFF00u);
        cases.push_back({"StartPastTheEnd", built.bytes, Msg::NotValidSfx, false});
    }
    {
        // The first entry's offset saturated with no ZIP64 field to hold it.
        auto built = TenEntries().Stub(StubBytes(500), false).Build();
        larktest::PutU32(built.bytes, built.layout.centralHeaders[0] + zip::CentralFileHeader::kLocalHeaderOffset,
                         0xFFFFFFFFu);
        cases.push_back({"OffsetWithoutZip64Field", built.bytes, Msg::ErrorReadingSfx, true});
    }
    {
        // Directory size larger than everything in front of the end record.
        auto built = TenEntries().Stub(StubBytes(500), false).Build();
        larktest::PutU32(built.bytes, built.layout.endRecord + zip::EndOfCentralHeader::kCentralDirSize,
                         0x7FFFFFF0u);
        cases.push_back({"DirectoryBeforeTheFile", built.bytes, Msg::ErrorReadingSfx, true});
    }
    return cases;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Table, StripFails, testing::ValuesIn(StripFailures()),
                         [](const testing::TestParamInfo<StripFailure>& info) { return info.param.name; });

// A target on a full disk: the copy comes out short, and the partial file goes.
class SfxOnFullDisk : public Sfx {
protected:
    platform::DiskPtr disk = folder.MapDisk('Q', platform::kDriveFixed, "full", "FULL", 5000);
};

TEST_F(SfxOnFullDisk, ShortCopiesFailAndRemoveTheTarget) {
    const std::string stub = folder.Write("sfx.bin", StubBytes(4000));
    const std::string exe = folder.Write("a.exe", StubBytes(4000) + TenEntries().Bytes());
    const std::string archive = folder.Write("a.zip", TenEntries().Bytes());
    EXPECT_FALSE(BuildSfx({stub, archive}, "Q:\\a.exe"));
    EXPECT_FALSE(platform::FileExists("Q:\\a.exe"));
    disk->capacity = 1000;
    EXPECT_FALSE(StripSfxStub(exe, "Q:\\a.zip"));
    EXPECT_FALSE(platform::FileExists("Q:\\a.zip"));
}
