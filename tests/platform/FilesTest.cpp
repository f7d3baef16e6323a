// Files through the platform layer: open errors, seeking, truncation, full disks, temporary names.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/SimulatedDrives.h"
#include "platform/TempFiles.h"
#include "tests/support/TestFolder.h"

using platform::Access;
using platform::FileError;
using platform::FileStream;
using platform::Origin;

namespace {

class Files : public testing::Test {
protected:
    std::string WriteAll(const std::string& path, const std::string& bytes) {
        FileStream file(path, Access::Create);
        EXPECT_EQ(file.Write(bytes.data(), static_cast<int32_t>(bytes.size())), static_cast<int32_t>(bytes.size()));
        return path;
    }

    static std::string ReadAll(const std::string& path) {
        FileStream file(path, Access::Read);
        std::string bytes(static_cast<size_t>(file.Size()), '\0');
        bytes.resize(static_cast<size_t>(file.Read(bytes.data(), static_cast<int32_t>(bytes.size()))));
        return bytes;
    }

    larktest::TestFolder folder;
};

struct OpenFailure {
    const char* name;
    const char* path;  // inside the test folder; "A:" paths are on an empty simulated drive
    Access access;
    const char* verb;
};

class OpenFails : public Files, public testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFails, WithThePathAndAReason) {
    const OpenFailure& c = GetParam();
    folder.Write("existing/file.bin", "x");
    platform::MapDrive('A', platform::kDriveRemovable, nullptr);
    const std::string path = c.path[0] == 'A' ? std::string(c.path) : folder.Path(c.path);
    try {
        FileStream file(path, c.access);
        FAIL() << "opened " << path;
    } catch (const FileError& e) {
        const std::string expected = std::string("Cannot ") + c.verb + " file \"" + path + "\". ";
        const std::string text = e.what();
        EXPECT_EQ(text.substr(0, expected.size()), expected);
        EXPECT_GT(text.size(), expected.size()) << "no reason given: " << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, OpenFails,
                         testing::Values(OpenFailure{"MissingForReading", "missing.bin", Access::Read, "open"},
                                         OpenFailure{"MissingForWriting", "missing.bin", Access::ReadWrite, "open"},
                                         OpenFailure{"FolderMissing", "nowhere/new.bin", Access::Create, "create"},
                                         OpenFailure{"FolderAsFile", "existing", Access::Read, "open"},
                                         OpenFailure{"EmptyDrive", "A:\\set.zip", Access::Read, "open"},
                                         OpenFailure{"EmptyDriveCreate", "A:\\set.zip", Access::Create, "create"}),
                         [](const testing::TestParamInfo<OpenFailure>& info) { return info.param.name; });

TEST_F(Files, CreateTruncatesAndReadWriteKeeps) {
    const std::string path = WriteAll(folder.Path("a.bin"), "0123456789");
    {
        FileStream file(path, Access::ReadWrite);
        EXPECT_EQ(file.Size(), 10);
        EXPECT_EQ(file.Write("ab", 2), 2);
    }
    EXPECT_EQ(folder.Read("a.bin"), "ab23456789");
    FileStream file(path, Access::Create);
    EXPECT_EQ(file.Size(), 0);
}

TEST_F(Files, SeekReportsFailureAndKeepsThePosition) {
    FileStream file(WriteAll(folder.Path("a.bin"), "0123456789"), Access::ReadWrite);
    EXPECT_EQ(file.Seek(4, Origin::Begin), 4);
    EXPECT_EQ(file.Seek(-2, Origin::Current), 2);
    EXPECT_EQ(file.Seek(-20, Origin::Current), -1);
    EXPECT_EQ(file.Position(), 2);
    EXPECT_EQ(file.Seek(-1, Origin::End), 9);
    char c = 0;
    EXPECT_EQ(file.Read(&c, 1), 1);
    EXPECT_EQ(c, '9');
    EXPECT_EQ(file.Read(&c, 1), 0) << "read past the end";
    // Positions beyond 4 GiB survive the 32-bit build.
    EXPECT_EQ(file.Seek(5000000000LL, Origin::Begin), 5000000000LL);
    EXPECT_EQ(file.Size(), 10);
}

TEST_F(Files, TruncateCutsAtThePosition) {
    {
        FileStream file(WriteAll(folder.Path("a.bin"), "0123456789"), Access::ReadWrite);
        ASSERT_EQ(file.Seek(6, Origin::Begin), 6);
        EXPECT_TRUE(file.Truncate());
        EXPECT_EQ(file.Size(), 6);
        EXPECT_EQ(file.Position(), 6);
        EXPECT_EQ(file.Write("X", 1), 1);
    }
    EXPECT_EQ(ReadAll(folder.Path("a.bin")), "012345X");
}

TEST_F(Files, WritesOnAFullDiskComeOutShort) {
    const platform::DiskPtr disk = folder.MapDisk('Q', platform::kDriveFixed, "disk", "SMALL", 1000);
    FileStream file("Q:\\big.bin", Access::Create);
    const std::string block(600, 'b');
    EXPECT_EQ(file.Write(block.data(), 600), 600);
    EXPECT_EQ(file.Write(block.data(), 600), 400);
    EXPECT_EQ(file.Write(block.data(), 1), 0);
    EXPECT_EQ(platform::GetDiskFreeSpace("Q:\\"), 0);
    // Overwriting takes no new room.
    ASSERT_EQ(file.Seek(100, Origin::Begin), 100);
    EXPECT_EQ(file.Write(block.data(), 600), 600);
    ASSERT_EQ(file.Seek(900, Origin::Begin), 900);
    EXPECT_EQ(file.Write(block.data(), 600), 100);
    // Room given back by truncation can be written again.
    ASSERT_EQ(file.Seek(700, Origin::Begin), 700);
    ASSERT_TRUE(file.Truncate());
    EXPECT_EQ(platform::GetDiskFreeSpace("Q:\\"), 300);
    EXPECT_EQ(file.Write(block.data(), 600), 300);
    EXPECT_EQ(folder.Read("disk/big.bin").size(), 1000u);
}

// Bytes moved through a buffer land at the right place whatever their shift within a page (the
// buffer is entered at an offset that depends on both positions), and both positions end behind them.
TEST_F(Files, CopiesArriveWholeAtEveryShift) {
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 5);
    const std::string source = WriteAll(folder.Path("source.bin"), bytes);
    for (const size_t bufferSize : {65536u, 1048576u}) {
        for (const int32_t from : {0, 4, 2100, 4092}) {
            for (const int32_t to : {0, 4, 7, 4092}) {
                SCOPED_TRACE(testing::Message() << "buffer " << bufferSize << ", from " << from << ", to " << to);
                const int32_t count = static_cast<int32_t>(bytes.size()) - from;
                std::vector<uint8_t> buffer(bufferSize);
                {
                    FileStream in(source, Access::Read);
                    FileStream out(folder.Path("copy.bin"), Access::Create);
                    ASSERT_EQ(out.Write(std::string(to, 'x').data(), to), to);
                    ASSERT_EQ(in.Seek(from, Origin::Begin), from);
                    const FileStream::Copied copied = out.CopyFrom(in, count, buffer);
                    EXPECT_EQ(copied.read, count);
                    EXPECT_EQ(copied.written, count);
                    EXPECT_EQ(in.Position(), static_cast<int64_t>(bytes.size()));
                    EXPECT_EQ(out.Position(), to + count);
                }
                EXPECT_TRUE(folder.Read("copy.bin") == std::string(to, 'x') + bytes.substr(from));
            }
        }
    }
}

#ifndef _WIN32
// Room set aside and not written would be lost to the disk: a floppy's last part, a merged archive
// whose size was estimated from its directory.
TEST_F(Files, ReservedRoomKeepsTheSizeAndIsGivenBackAtClose) {
    {
        FileStream file(folder.Path("r.bin"), Access::Create);
        file.ReserveRoomTo(8 << 20);
        EXPECT_EQ(file.Size(), 0);
        EXPECT_EQ(file.Write("abc", 3), 3);
        EXPECT_EQ(file.Size(), 3);
    }
    struct stat info;
    ASSERT_EQ(::stat(folder.NativePath("r.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 3);
    EXPECT_LT(static_cast<int64_t>(info.st_blocks) * 512, 1 << 20);
}
#endif

TEST_F(Files, FilesAndFoldersAreToldApart) {
    folder.Write("sub/file.bin", "x");
    folder.MapDisk('R', platform::kDriveRemovable, "disk", "R");
    folder.Write("disk/onDisk.bin", "x");
    struct Case {
        std::string path;
        bool file;
        bool directory;
    };
    const Case cases[] = {
        {folder.Path("sub/file.bin"), true, false},
        {folder.Path("sub"), false, true},
        {folder.Path("missing"), false, false},
        {"R:\\onDisk.bin", true, false},
        {"R:\\", false, true},
        {"R:\\missing.bin", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::FileExists(c.path), c.file) << c.path;
        EXPECT_EQ(platform::DirectoryExists(c.path), c.directory) << c.path;
    }
    platform::InsertDisk('R', nullptr);
    EXPECT_FALSE(platform::FileExists("R:\\onDisk.bin")) << "the disk was taken out";
    EXPECT_FALSE(platform::DirectoryExists("R:\\"));
}

TEST_F(Files, CopyDeleteAndFolders) {
    const std::string from = WriteAll(folder.Path("from.bin"), "contents");
    const std::string to = folder.Path("to.bin");
    EXPECT_TRUE(platform::CopyFile(from, to, true));
    EXPECT_EQ(folder.Read("to.bin"), "contents");
    WriteAll(from, "other");
    EXPECT_FALSE(platform::CopyFile(from, to, true)) << "the target exists";
    EXPECT_EQ(folder.Read("to.bin"), "contents");
    EXPECT_TRUE(platform::CopyFile(from, to, false));
    EXPECT_EQ(folder.Read("to.bin"), "other");
    EXPECT_FALSE(platform::CopyFile(folder.Path("missing"), to, false));

    const std::string sub = folder.Path("sub");
    EXPECT_TRUE(platform::CreateDirectory(sub));
    EXPECT_FALSE(platform::CreateDirectory(sub));
    EXPECT_FALSE(platform::DeleteFile(sub)) << "a folder is not a file";
    WriteAll(folder.Path("sub/in.bin"), "x");
    EXPECT_FALSE(platform::RemoveDirectory(sub)) << "not empty";
    EXPECT_TRUE(platform::DeleteFile(folder.Path("sub/in.bin")));
    EXPECT_FALSE(platform::DeleteFile(folder.Path("sub/in.bin")));
    EXPECT_TRUE(platform::RemoveDirectory(sub));
    EXPECT_FALSE(folder.Exists("sub"));
}

// "<prefix><hex>.tmp": Windows writes four hexadecimal digits in capitals, Wine one to four in
// small letters.
bool IsTempName(const std::string& name, const std::string& prefix) {
    const size_t digits = name.size() - prefix.size() - 4;
    if (name.size() < prefix.size() + 5 || digits > 4 || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (size_t i = prefix.size(); i < prefix.size() + digits; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return name.compare(prefix.size() + digits, 4, ".tmp") == 0;
}

TEST_F(Files, TempFilesAreNewEmptyAndUnique) {
    folder.MapDisk('R', platform::kDriveRemovable, "disk", "R");
    struct Case {
        std::string directory;
        std::string prefix;
        std::string expectedStart;  // directory with its backslash and the prefix as Windows cuts it
    };
    const Case cases[] = {
        {folder.Path(), "zzz", folder.Path() + "\\zzz"},
        {folder.Path() + "\\", "zzz", folder.Path() + "\\zzz"},
        {folder.Path(), "abcdef", folder.Path() + "\\abc"},
        {"R:\\", "zzz", "R:\\zzz"},
    };
    for (const Case& c : cases) {
        std::set<std::string> names;
        for (int i = 0; i < 3; ++i) {
            const std::string name = platform::GetTempFileName(c.directory, c.prefix);
            const std::string leaf = name.substr(name.find_last_of('\\') + 1);
            EXPECT_EQ(name.substr(0, c.expectedStart.size()), c.expectedStart) << name;
            EXPECT_TRUE(IsTempName(leaf, c.prefix.substr(0, 3))) << name;
            ASSERT_TRUE(platform::FileExists(name)) << name;
            EXPECT_EQ(FileStream(name, Access::Read).Size(), 0) << name;
            names.insert(name);
        }
        EXPECT_EQ(names.size(), 3u);
    }
    EXPECT_EQ(platform::GetTempFileName(folder.Path("missing"), "zzz"), "");
    platform::InsertDisk('R', nullptr);
    EXPECT_EQ(platform::GetTempFileName("R:\\", "zzz"), "");
}

TEST_F(Files, OrphanedTempFoldersGoWholeWithoutFollowingLinks) {
    folder.Write("keep/kept.txt", "kept");
    // Named as a run of a process that no longer exists names its folders.
    const std::string orphan = "zzz~2147483000-0001.tmp";
    folder.Write(orphan + "/opened.txt", "entry");
    folder.Write(orphan + "/inner/deeper.txt", "entry");
#ifndef _WIN32
    ASSERT_EQ(::symlink(folder.NativePath("keep").c_str(), folder.NativePath(orphan + "/link").c_str()), 0);
#endif
    const std::string own = platform::MakeProcessTempFolder(folder.Path(), "zzz");
    ASSERT_TRUE(platform::DirectoryExists(own));
    platform::RemoveOrphanedTempFiles(folder.Path(), "zzz");
    EXPECT_FALSE(folder.Exists(orphan));
    EXPECT_EQ(folder.Read("keep/kept.txt"), "kept") << "a link is removed, not what it points to";
    EXPECT_TRUE(platform::DirectoryExists(own)) << "this process's folder stays";
    EXPECT_TRUE(platform::RemoveTree(own));
    EXPECT_FALSE(platform::DirectoryExists(own));
}

TEST_F(Files, EveryStreamReleasesItsHandle) {
    const int before = platform::FileHandle::LiveCount();
    const std::string path = WriteAll(folder.Path("a.bin"), "x");
    EXPECT_EQ(platform::FileHandle::LiveCount(), before);
    {
        FileStream first(path, Access::Read);
        EXPECT_EQ(platform::FileHandle::LiveCount(), before + 1);
        FileStream moved(std::move(first));
        EXPECT_EQ(platform::FileHandle::LiveCount(), before + 1);
        moved = FileStream(path, Access::Read, platform::Share::DenyNone);
        EXPECT_EQ(platform::FileHandle::LiveCount(), before + 1) << "assignment closes the old handle";
    }
    EXPECT_EQ(platform::FileHandle::LiveCount(), before);
    EXPECT_THROW(FileStream(folder.Path("missing"), Access::Read), FileError);
    EXPECT_EQ(platform::FileHandle::LiveCount(), before);
}

}  // namespace
