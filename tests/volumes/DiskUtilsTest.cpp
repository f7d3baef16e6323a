// Drive types, free space, volume labels, disk numbers from labels, disk prompts and temporary files.
#include <gtest/gtest.h>

#include "archive/Messages.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/SimulatedDrives.h"
#include "platform/TempFiles.h"
#include "platform/User.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "archive/DiskUtils.h"

using platform::DiskPtr;

namespace {

class DiskUtils : public testing::Test {
protected:
    // A fresh simulated disk whose files live in a folder of the test folder.
    DiskPtr Disk(const std::string& label, int64_t capacity = 0) {
        return platform::MakeDisk(folder.NativePath("disk" + std::to_string(++disks)), label, capacity);
    }

    // Puts a file named "set.zip" on `disk`.
    static void PutFile(const DiskPtr& disk, const std::string& name = "set.zip") {
        platform::InsertDisk('A', disk);
        larktest::WriteFileBytes("A:\\" + name, "contents");
    }

    larktest::TestFolder folder;
    larktest::ScriptedUser user;
    int disks = 0;
};

}  // namespace

TEST_F(DiskUtils, DiskLabelsCountFromOneWithThreeDigits) {
    EXPECT_EQ(DiskLabel(1), "PKBACK# 001");
    EXPECT_EQ(DiskLabel(12), "PKBACK# 012");
    EXPECT_EQ(DiskLabel(999), "PKBACK# 999");
    EXPECT_EQ(DiskLabel(1000), "PKBACK# 1000");
}

TEST_F(DiskUtils, DriveRootOfEachPathForm) {
    EXPECT_EQ(DriveRoot("A:\\dir\\set.zip"), "A:\\");
    EXPECT_EQ(DriveRoot("c:"), "c:\\");
    EXPECT_EQ(DriveRoot("\\\\server\\share\\dir\\a.zip"), "\\\\server\\share\\");
    EXPECT_EQ(DriveRoot("dir\\a.zip"), "");
}

TEST_F(DiskUtils, DriveTypesOfMappedDrives) {
    platform::MapDrive('A', platform::kDriveRemovable, Disk("FLOPPY"));
    platform::MapDrive('N', platform::kDriveRemote, Disk("NET"));
    platform::MapDrive('R', platform::kDriveCdRom, Disk("CD"));
    EXPECT_EQ(GetPathDriveType(""), platform::kDriveNoRootDir);
    EXPECT_EQ(GetPathDriveType("A:\\set.zip"), platform::kDriveRemovable);
    EXPECT_EQ(GetPathDriveType("a:\\dir\\set.zip"), platform::kDriveRemovable);
    EXPECT_EQ(GetPathDriveType("N:\\x"), platform::kDriveRemote);
    EXPECT_EQ(GetPathDriveType("R:\\x"), platform::kDriveCdRom);
    EXPECT_EQ(GetPathDriveType(folder.Path("a.zip")), platform::kDriveFixed);
}

TEST_F(DiskUtils, FreeSpaceOnlyForDriveLetterPaths) {
    const DiskPtr disk = Disk("FLOPPY", 1457664);
    platform::MapDrive('A', platform::kDriveRemovable, disk);
    larktest::WriteFileBytes("A:\\f", std::string(1000, 'f'));
    EXPECT_EQ(GetDriveFreeSpace("A:\\"), 1456664);
    EXPECT_EQ(GetDriveFreeSpace("A:\\dir\\file.zip"), 1456664);
    for (const char* path : {"", "A:", "A", "A:x", "\\\\server\\share\\x", "ab:\\x", "dir\\x"})
        EXPECT_EQ(GetDriveFreeSpace(path), 0) << path;
}

TEST_F(DiskUtils, FreeSpaceBeyondTheSigned32BitRangeIsNotNegative) {
    platform::MapDrive('Q', platform::kDriveFixed, Disk("BIG", int64_t{5} << 30));
    EXPECT_EQ(GetDriveFreeSpace("Q:\\"), INT32_MAX);
}

TEST_F(DiskUtils, FreeSpaceOfAnEmptyDriveIsZero) {
    platform::MapDrive('A', platform::kDriveRemovable, nullptr);
    EXPECT_EQ(GetDriveFreeSpace("A:\\"), 0);
}

TEST_F(DiskUtils, VolumeLabelOfADiskAndOfAnEmptyDrive) {
    platform::MapDrive('A', platform::kDriveRemovable, Disk("PKBACK# 003"));
    std::string label = "stale";
    EXPECT_TRUE(GetVolumeLabel("A:", label));
    EXPECT_EQ(label, "PKBACK# 003");
    label.clear();
    EXPECT_TRUE(GetVolumeLabel("A:\\", label));
    EXPECT_EQ(label, "PKBACK# 003");

    platform::InsertDisk('A', nullptr);
    label = "stale";
    EXPECT_FALSE(GetVolumeLabel("A:", label));
    EXPECT_EQ(label, "");
    EXPECT_TRUE(user.Shown().empty()) << "an empty drive must not bring up a dialog";
}

// The disk number is read from the label of a removable disk that holds the file.
struct LabelCase {
    const char* label;
    int32_t number;
};

void PrintTo(const LabelCase& c, std::ostream* os) { *os << '"' << c.label << '"'; }

class DiskNumberFromLabel : public DiskUtils, public testing::WithParamInterface<LabelCase> {};

TEST_P(DiskNumberFromLabel, OfAFileOnAFloppy) {
    const DiskPtr disk = Disk(GetParam().label);
    platform::MapDrive('A', platform::kDriveRemovable, disk);
    PutFile(disk);
    EXPECT_EQ(GetDiskNumberFromLabel("A:\\set.zip"), GetParam().number);
    EXPECT_EQ(GetDiskNumberFromLabel("A:\\other.zip"), 0) << "the file must be on the disk";
}

INSTANTIATE_TEST_SUITE_P(Labels, DiskNumberFromLabel,
                         testing::Values(LabelCase{"PKBACK# 001", 1}, LabelCase{"PKBACK# 003", 3},
                                         LabelCase{"PKBACK# 7", 7}, LabelCase{"PKBACK# 999", 999},
                                         LabelCase{"PKBACK# 0123", 12}, LabelCase{"PKBACK# 1000", 100},
                                         LabelCase{"PKBACK# ABC", 0}, LabelCase{"PKBACK# 00A", 0},
                                         LabelCase{"PKBACK# ", 0}, LabelCase{"pkback# 003", 0},
                                         LabelCase{"PKBACK#003", 0}, LabelCase{" PKBACK# 003", 0},
                                         LabelCase{"XPKBACK# 003", 0}, LabelCase{"", 0}));

TEST_F(DiskUtils, DiskNumberNeedsARemovableDrive) {
    const DiskPtr fixed = Disk("PKBACK# 003");
    platform::MapDrive('Q', platform::kDriveFixed, fixed);
    larktest::WriteFileBytes("Q:\\set.zip", "contents");
    EXPECT_EQ(GetDiskNumberFromLabel("Q:\\set.zip"), 0);
    platform::MapDrive('A', platform::kDriveRemovable, nullptr);
    EXPECT_EQ(GetDiskNumberFromLabel("A:\\set.zip"), 0);
}

TEST_F(DiskUtils, PromptForDiskWithTheRightDiskShowsNothing) {
    const DiskPtr disk2 = Disk("PKBACK# 002");
    platform::MapDrive('A', platform::kDriveRemovable, disk2);
    PutFile(disk2);
    EXPECT_TRUE(PromptForDisk("A:\\set.zip", 2));
    EXPECT_TRUE(user.Shown().empty());
}

TEST_F(DiskUtils, PromptForDiskAsksUntilTheRightDiskIsIn) {
    const DiskPtr disk1 = Disk("PKBACK# 001"), disk2 = Disk("PKBACK# 002"), disk3 = Disk("PKBACK# 003");
    const DiskPtr unlabelled = Disk("");
    const DiskPtr withoutFile = Disk("PKBACK# 002");
    platform::MapDrive('A', platform::kDriveRemovable, nullptr);
    for (const DiskPtr& d : {disk1, disk2, disk3, unlabelled}) PutFile(d);
    platform::InsertDisk('A', disk1);

    // Each wrong answer brings the same prompt again; the right disk ends it.
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', disk3); });
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', unlabelled); });
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', withoutFile); });
    user.Answer(platform::kIdOk, [&] { platform::InsertDisk('A', disk2); });
    EXPECT_TRUE(PromptForDisk("A:\\set.zip", 2));

    ASSERT_EQ(user.Shown().size(), 4u);
    for (const auto& box : user.Shown()) {
        EXPECT_EQ(box.text, zip::FormatMsg(zip::Msg::InsertDisk, 2));
        EXPECT_EQ(box.caption, zip::kApplicationTitle);
        EXPECT_EQ(box.flags, 0x41u);
    }
}

TEST_F(DiskUtils, PromptForDiskEndsOnCancel) {
    const DiskPtr disk1 = Disk("PKBACK# 001");
    platform::MapDrive('A', platform::kDriveRemovable, disk1);
    PutFile(disk1);
    user.Answer(platform::kIdCancel);
    EXPECT_FALSE(PromptForDisk("A:\\set.zip", 2));
    EXPECT_EQ(user.Shown().size(), 1u);
}

TEST_F(DiskUtils, TempDirectoryEndsInABackslash) {
    const std::string dir = GetTempDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '\\');
    if (!platform::GetTempPath().empty()) {
        EXPECT_EQ(dir, platform::GetTempPath());
    }
}

TEST_F(DiskUtils, TempFileNameNamesANewEmptyFile) {
    const std::string first = MakeTempFileName();
    const std::string second = MakeTempFileName();
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        EXPECT_TRUE(platform::FileExists(name)) << name;
        EXPECT_EQ(larktest::ReadFileBytes(name), "") << name;
        EXPECT_EQ(name.rfind(GetTempDirectory() + "zzz", 0), 0u) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
        platform::DeleteFile(name);
    }
}
