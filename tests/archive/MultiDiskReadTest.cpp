// Listing a multi-disk set from a floppy drive: prompts for the last disk and for the directory's disks.
#include <gtest/gtest.h>

#include "tzip/Zip.h"
#include "platform/Drives.h"
#include "platform/SimulatedDrives.h"
#include "platform/User.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "archive/DiskUtils.h"

using larktest::ArchiveBuilder;
using larktest::PutU16;
using larktest::PutU32;
using platform::DiskPtr;
using zip::EndOfCentralHeader;
using zip::FormatMsg;
using zip::Msg;

namespace {

const char* const kSetPath = "A:\\set.zip";

class MultiDiskRead : public testing::Test {
protected:
    void SetUp() override {
        zip.OnContentsChanged = [this](TZip*) { ++changes; };
        platform::MapDrive('A', platform::kDriveRemovable, nullptr);
        // A set of four entries whose directory starts on disk 1 after its local data and goes on
        // on disk 2, two headers on each.
        ArchiveBuilder builder;
        for (int i = 0; i < 4; ++i) builder.Add("part" + std::to_string(i) + ".txt", std::string(300, 'p'));
        const auto built = builder.Stub(larktest::FromHex("50 4B 07 08"), true).Build();
        splitAt = built.layout.centralHeaders[2];
        std::string last = built.bytes.substr(splitAt);
        const size_t end = built.layout.endRecord - splitAt;
        PutU16(last, end + EndOfCentralHeader::kThisDisk, 1);
        PutU16(last, end + EndOfCentralHeader::kCentralDirDisk, 0);
        PutU16(last, end + EndOfCentralHeader::kEntriesOnDisk, 2);
        disk1 = Disk(DiskLabel(1), built.bytes.substr(0, splitAt));
        disk2 = Disk(DiskLabel(2), last);
        // The same set with its whole directory on the last disk, where the end record is.
        std::string whole = built.bytes.substr(built.layout.centralDirectory);
        const size_t wholeEnd = built.layout.endRecord - built.layout.centralDirectory;
        PutU16(whole, wholeEnd + EndOfCentralHeader::kThisDisk, 1);
        PutU16(whole, wholeEnd + EndOfCentralHeader::kCentralDirDisk, 1);
        PutU32(whole, wholeEnd + EndOfCentralHeader::kCentralDirOffset, 0);
        dataDisk = Disk(DiskLabel(1), built.bytes.substr(0, built.layout.centralDirectory));
        directoryDisk = Disk(DiskLabel(2), whole);
        platform::InsertDisk('A', nullptr);
    }

    DiskPtr Disk(const std::string& label, const std::string& contents) {
        DiskPtr disk = platform::MakeDisk(folder.NativePath("disk" + std::to_string(++disks)), label);
        platform::InsertDisk('A', disk);
        larktest::WriteFileBytes(kSetPath, contents);
        return disk;
    }

    std::vector<std::string> ShownTexts() {
        std::vector<std::string> texts;
        for (const auto& box : user.Shown()) {
            EXPECT_EQ(box.caption, zip::kApplicationTitle);
            EXPECT_EQ(box.flags, 0x41u);
            texts.push_back(box.text);
        }
        return texts;
    }

    larktest::TestFolder folder;
    larktest::ScriptedUser user;
    TZip zip;
    DiskPtr disk1, disk2, dataDisk, directoryDisk;
    size_t splitAt = 0;
    int disks = 0;
    int changes = 0;
};

}  // namespace

TEST_F(MultiDiskRead, FirstDiskInTheDriveAsksForTheLastOne) {
    platform::InsertDisk('A', dataDisk);
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', directoryDisk); });
    zip.SetZipFileName(kSetPath);
    EXPECT_EQ(ShownTexts(), (std::vector<std::string>{FormatMsg(Msg::InsertLastDisk, 1)}));
    ASSERT_EQ(zip.Count(), 4);
    TFileInfo info;
    zip.GetEntry(3, info);
    EXPECT_EQ(info.FileName, "part3.txt");
    EXPECT_EQ(zip.SfxOffset(), 0);
    EXPECT_EQ(zip.EndOfCentral().EndRecord.ThisDisk(), 1);
    EXPECT_EQ(changes, 1);
}

TEST_F(MultiDiskRead, CancelAtTheLastDiskPromptListsNothingQuietly) {
    platform::InsertDisk('A', dataDisk);
    user.Answer(platform::kIdCancel);
    EXPECT_NO_THROW(zip.SetZipFileName(kSetPath));
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.ZipFileName(), kSetPath);
    EXPECT_EQ(ShownTexts().size(), 1u);
}

TEST_F(MultiDiskRead, WrongDiskAfterThePromptAsksAgain) {
    const DiskPtr stranger = Disk("PKBACK# 009", "no end record here, but a label of a set");
    platform::InsertDisk('A', dataDisk);
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', stranger); });
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', directoryDisk); });
    zip.SetZipFileName(kSetPath);
    EXPECT_EQ(ShownTexts(), (std::vector<std::string>{FormatMsg(Msg::InsertLastDisk, 1),
                                                      FormatMsg(Msg::InsertLastDisk, 9)}));
    EXPECT_EQ(zip.Count(), 4);
}

TEST_F(MultiDiskRead, DirectoryAcrossTwoDisksIsReadWithTwoPrompts) {
    platform::InsertDisk('A', disk2);
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', disk1); });
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', disk2); });
    zip.SetZipFileName(kSetPath);
    EXPECT_EQ(ShownTexts(),
              (std::vector<std::string>{FormatMsg(Msg::InsertDisk, 1), FormatMsg(Msg::InsertDisk, 2)}));
    ASSERT_EQ(zip.Count(), 4);
    TFileInfo info;
    for (int32_t i = 0; i < 4; ++i) {
        zip.GetEntry(i, info);
        EXPECT_EQ(info.FileName, "part" + std::to_string(i) + ".txt");
    }
}

TEST_F(MultiDiskRead, CancelForTheDirectoryDiskListsNothingQuietly) {
    platform::InsertDisk('A', disk2);
    user.Answer(platform::kIdCancel);
    EXPECT_NO_THROW(zip.SetZipFileName(kSetPath));
    EXPECT_EQ(zip.Count(), 0);
}

TEST_F(MultiDiskRead, CancelInsideTheDirectoryIsAReadingError) {
    platform::InsertDisk('A', disk2);
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', disk1); });
    user.Answer(platform::kIdCancel);
    try {
        zip.SetZipFileName(kSetPath);
        ADD_FAILURE() << "no exception";
    } catch (const ZipException& e) {
        EXPECT_EQ(e.what(), FormatMsg(Msg::ErrorReadingCentral));
    }
    EXPECT_EQ(zip.Count(), 0);
}

TEST_F(MultiDiskRead, EmptyDriveCannotBeAccessed) {
    platform::InsertDisk('A', nullptr);
    try {
        zip.SetZipFileName(kSetPath);
        ADD_FAILURE() << "no exception";
    } catch (const ZipException& e) {
        EXPECT_EQ(e.what(), FormatMsg(Msg::UnableToAccessDrive));
    }
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(changes, 0);
}

// A disk of a set without an end record and without its set's label is simply not an archive.
TEST_F(MultiDiskRead, UnlabelledFirstDiskIsNotAValidZip) {
    platform::InsertDisk('A', Disk("MYDISK", "PK\x07\x08 and local data only"));
    try {
        zip.SetZipFileName(kSetPath);
        ADD_FAILURE() << "no exception";
    } catch (const ZipException& e) {
        EXPECT_EQ(e.what(), FormatMsg(Msg::NotValidZip, kSetPath));
    }
    EXPECT_TRUE(user.Shown().empty());
}
