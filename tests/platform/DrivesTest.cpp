// Simulated drives (type, free space, labels, ejecting and inserting), the error mode and host paths.
#include <gtest/gtest.h>

#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/SimulatedDrives.h"
#include "platform/TempFiles.h"
#include "platform/Text.h"
#include "tests/support/TestFolder.h"

namespace {

class Drives : public testing::Test {
protected:
    larktest::TestFolder folder;
};

TEST_F(Drives, MappedTypesAnswerForEitherCaseAndGoAwayWhenUnmapped) {
    const int before = platform::GetDriveType("K:\\");
    folder.MapDisk('A', platform::kDriveRemovable, "floppy", "F");
    folder.MapDisk('k', platform::kDriveCdRom, "cd", "CD");
    const struct {
        const char* root;
        int type;
    } cases[] = {{"A:\\", platform::kDriveRemovable}, {"a:\\", platform::kDriveRemovable}, {"A:", platform::kDriveRemovable},
                 {"K:\\", platform::kDriveCdRom},     {"k:\\", platform::kDriveCdRom}};
    for (const auto& c : cases) EXPECT_EQ(platform::GetDriveType(c.root), c.type) << c.root;
    platform::InsertDisk('A', nullptr);
    EXPECT_EQ(platform::GetDriveType("A:\\"), platform::kDriveRemovable) << "an empty drive keeps its type";
    platform::UnmapDrive('K');
    EXPECT_EQ(platform::GetDriveType("K:\\"), before);
}

TEST_F(Drives, FreeSpaceIsCapacityLessTheFilesOnTheDisk) {
    folder.MapDisk('A', platform::kDriveRemovable, "floppy", "F", 5000);
    folder.Write("floppy/a.bin", std::string(1000, 'a'));
    folder.Write("floppy/sub/b.bin", std::string(200, 'b'));
    EXPECT_EQ(platform::GetDiskFreeSpace("A:\\"), 3800);
    folder.Write("floppy/c.bin", std::string(4000, 'c'));
    EXPECT_EQ(platform::GetDiskFreeSpace("A:\\"), 0) << "never below zero";

    folder.MapDisk('Q', platform::kDriveFixed, "fixed", "Q");
    EXPECT_GT(platform::GetDiskFreeSpace("Q:\\"), 0) << "no capacity: the real file system's free space";
    platform::InsertDisk('A', nullptr);
    EXPECT_EQ(platform::GetDiskFreeSpace("A:\\"), -1);
}

TEST_F(Drives, LabelsAreReadAndWrittenOnTheDiskInTheDrive) {
    const platform::DiskPtr first = folder.MapDisk('A', platform::kDriveRemovable, "one", "PKBACK# 001");
    const platform::DiskPtr second = platform::MakeDisk(folder.NativePath("two"), "PKBACK# 002");
    std::string label = "stale";
    ASSERT_TRUE(platform::GetVolumeLabel("A:\\", label));
    EXPECT_EQ(label, "PKBACK# 001");

    EXPECT_TRUE(platform::SetVolumeLabel("A:\\", "RENAMED"));
    EXPECT_EQ(first->label, "RENAMED");
    platform::InsertDisk('A', second);
    ASSERT_TRUE(platform::GetVolumeLabel("A:\\", label));
    EXPECT_EQ(label, "PKBACK# 002");
    EXPECT_EQ(platform::DiskInDrive('A'), second);

    second->labelWritable = false;
    EXPECT_FALSE(platform::SetVolumeLabel("A:\\", "REFUSED"));
    EXPECT_EQ(second->label, "PKBACK# 002");

    platform::InsertDisk('A', nullptr);
    label = "stale";
    EXPECT_FALSE(platform::GetVolumeLabel("A:\\", label));
    EXPECT_EQ(label, "");
    EXPECT_FALSE(platform::SetVolumeLabel("A:\\", "NODISK"));
}

TEST_F(Drives, FilesFollowTheDiskInTheDrive) {
    const platform::DiskPtr first = folder.MapDisk('A', platform::kDriveRemovable, "one", "1");
    const platform::DiskPtr second = platform::MakeDisk(folder.NativePath("two"), "2");
    folder.Write("one/set.zip", "first");
    EXPECT_TRUE(platform::FileExists("A:\\set.zip"));
    platform::InsertDisk('A', second);
    EXPECT_FALSE(platform::FileExists("A:\\set.zip"));
    { platform::FileStream created("A:\\set.zip", platform::Access::Create); }
    EXPECT_TRUE(folder.Exists("two/set.zip"));
    platform::InsertDisk('A', first);
    EXPECT_EQ(platform::FileStream("A:set.zip", platform::Access::Read).Size(), 5) << "no backslash after the colon";
}

TEST_F(Drives, ResetForgetsTheDrivesOfATest) {
    const int before = platform::GetDriveType("A:\\");
    folder.MapDisk('A', platform::kDriveRemovable, "floppy", "F");
    platform::ResetDrives();
    EXPECT_EQ(platform::DiskInDrive('A'), nullptr);
    EXPECT_EQ(platform::GetDriveType("A:\\"), before);
    EXPECT_EQ(platform::GetDriveType("C:\\"), platform::kDriveFixed);
}

TEST(ErrorMode, GuardRestoresThePreviousMode) {
    const unsigned original = platform::SetErrorMode(0);
    {
        platform::ErrorModeGuard guard(platform::kFailCriticalErrors);
        EXPECT_EQ(platform::SetErrorMode(platform::kFailCriticalErrors), platform::kFailCriticalErrors);
    }
    EXPECT_EQ(platform::SetErrorMode(original), 0u);
}

TEST_F(Drives, CurrentDirectoryReadsBackInSystemForm) {
    const std::string original = platform::GetCurrentDirectory();
    ASSERT_TRUE(platform::SetCurrentDirectory(folder.Path()));
    EXPECT_EQ(platform::GetCurrentDirectory(), folder.Path());
    EXPECT_FALSE(platform::SetCurrentDirectory(folder.Path("missing")));
    ASSERT_TRUE(platform::SetCurrentDirectory(original));
}

TEST(SystemPaths, ProgramAndTemporaryFolderExist) {
    const std::string module = platform::ModuleFileName();
    EXPECT_TRUE(platform::FileExists(module)) << module;
    const std::string temp = platform::GetTempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_TRUE(platform::DirectoryExists(temp)) << temp;
    EXPECT_EQ(temp.substr(1, 2), ":\\") << temp;
}

#ifndef _WIN32
// The host answers the questions Windows would for paths without a drive of the table.
TEST_F(Drives, HostRootIsDriveC) {
    EXPECT_EQ(platform::GetDriveType(""), platform::kDriveFixed) << "a relative path lies on the current drive";
    EXPECT_EQ(platform::GetDriveType("\\\\server\\share\\"), platform::kDriveNoRootDir);
    std::string label;
    EXPECT_TRUE(platform::GetVolumeLabel("C:\\", label));
    EXPECT_FALSE(label.empty());
    EXPECT_GT(platform::GetDiskFreeSpace("C:\\"), 0);
    EXPECT_EQ(platform::ModuleFileName().substr(0, 3), "C:\\");
}

TEST_F(Drives, ArgumentsBecomeSystemPaths) {
    const std::string original = platform::GetCurrentDirectory();
    ASSERT_TRUE(platform::SetCurrentDirectory(folder.Path()));
    const struct {
        std::string argument;
        std::string expected;
    } cases[] = {
        {"a.zip", folder.Path("a.zip")},
        {"sub/a.zip", folder.Path("sub") + "\\a.zip"},
        {"/tmp/x y.zip", "C:\\tmp\\x y.zip"},
        {"/caf\xC3\xA9.zip", "C:\\caf\xC3\xA9.zip"},
        {"A:\\set.zip", "A:\\set.zip"},
        {"a:/dir/set.zip", "a:\\dir\\set.zip"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::SystemPathFromArgument(c.argument), c.expected) << c.argument;
    ASSERT_TRUE(platform::SetCurrentDirectory(original));
}

TEST_F(Drives, NamesAreTheProgramsUtf8OnTheHost) {
    const std::string name = folder.Path("caf\xC3\xA9.bin");
    { platform::FileStream created(name, platform::Access::Create); }
    EXPECT_TRUE(folder.Exists("caf\xC3\xA9.bin"));
    EXPECT_TRUE(platform::FileExists(name));
}
#endif

}  // namespace
