// Editing the archive comment and entry comments in place, checked against freshly built archives.
#include <gtest/gtest.h>

#include "tzip/Zip.h"
#include "platform/Drives.h"
#include "platform/SimulatedDrives.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "tests/support/ZipError.h"

using larktest::ArchiveBuilder;
using larktest::EntrySpec;
using larktest::ReadFileBytes;
using larktest::ZipError;
using zip::FormatMsg;
using zip::Msg;

namespace {

// Three entries whose comments are given; the archive comment and a stub are optional.
ArchiveBuilder Archive(const std::vector<std::string>& comments, const std::string& archiveComment = "tail comment",
                       size_t stub = 0, uint8_t host = 0) {
    ArchiveBuilder builder;
    const char* names[] = {"a.txt", "dir/b.txt", "c.bin"};
    for (size_t i = 0; i < comments.size(); ++i) {
        EntrySpec e;
        e.name = names[i];
        e.data = std::string(100 * (i + 1), static_cast<char>('a' + i));
        e.comment = comments[i];
        e.hostSystem = host;
        builder.Add(e);
    }
    if (stub) builder.Stub(larktest::StubBytes(stub), false);
    return builder.Comment(archiveComment);
}

class Comments : public testing::Test {
protected:
    void SetUp() override {
        zip.OnContentsChanged = [this](TZip*) { ++changes; };
    }

    // Writes the archive, opens it and forgets the opening's change event.
    void Open(const ArchiveBuilder& builder, const std::string& name = "a.zip") {
        path = folder.Path(name);
        larktest::WriteFileBytes(path, builder.Bytes());
        zip.SetZipFileName(path);
        ASSERT_GT(zip.Count(), 0);
        changes = 0;
    }

    std::string FileComment(int32_t index) {
        TFileInfo info;
        zip.GetEntry(index, info);
        return info.FileComment;
    }

    larktest::TestFolder folder;
    larktest::ScriptedUser user;
    TZip zip;
    std::string path;
    int changes = 0;
};

}  // namespace

// Each edit must leave exactly the archive a writer would have written with the new comment.
struct FileCommentCase {
    const char* name;
    std::vector<std::string> before;
    int32_t index;
    std::string comment;
    std::vector<std::string> after;
};

void PrintTo(const FileCommentCase& c, std::ostream* os) { *os << c.name; }

class FileCommentEdit : public Comments, public testing::WithParamInterface<FileCommentCase> {};

TEST_P(FileCommentEdit, WritesTheArchiveAsBuiltWithTheNewComment) {
    const FileCommentCase& c = GetParam();
    Open(Archive(c.before));
    const int32_t positionBefore = zip.EndOfCentral().Position;
    const uint32_t directoryBefore = zip.EndOfCentral().EndRecord.CentralDirSize();
    zip.SetFileComment(c.index, c.comment);

    const auto expected = Archive(c.after).Build();
    EXPECT_EQ(ReadFileBytes(path), expected.bytes);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(FileComment(c.index), c.comment);
    // The in-memory end record follows the file, so a second edit starts from the right place.
    const int32_t delta = static_cast<int32_t>(c.comment.size()) - static_cast<int32_t>(c.before[c.index].size());
    EXPECT_EQ(zip.EndOfCentral().Position, positionBefore + delta);
    EXPECT_EQ(zip.EndOfCentral().EndRecord.CentralDirSize(), directoryBefore + delta);
    EXPECT_EQ(zip.EndOfCentral().Position, static_cast<int32_t>(expected.layout.endRecord));

    TZip reread;
    reread.SetZipFileName(path);
    TFileInfo info;
    for (int32_t i = 0; i < 3; ++i) {
        reread.GetEntry(i, info);
        EXPECT_EQ(info.FileComment, c.after[i]) << i;
    }
    EXPECT_EQ(reread.GetZipComment(), "tail comment");
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileCommentEdit,
    testing::Values(FileCommentCase{"SameLengthInPlace", {"12345", "", "x"}, 0, "abcde", {"abcde", "", "x"}},
                    FileCommentCase{"FiveToEight", {"12345", "", "x"}, 0, "12345678", {"12345678", "", "x"}},
                    FileCommentCase{"Cleared", {"12345", "", "x"}, 0, "", {"", "", "x"}},
                    FileCommentCase{"AddedToMiddle", {"12345", "", "x"}, 1, "new", {"12345", "new", "x"}},
                    FileCommentCase{"LastShortened", {"12345", "", "xyz"}, 2, "x", {"12345", "", "x"}},
                    FileCommentCase{"Longest", {"1", "", "x"}, 1, std::string(65535, 'L'),
                                    {"1", std::string(65535, 'L'), "x"}}),
    [](const testing::TestParamInfo<FileCommentCase>& info) { return info.param.name; });

// The ZIP64 records some writers add must go on describing the directory after it moved.
TEST_F(Comments, Zip64RecordsFollowTheEdits) {
    Open(Archive({"12345", "", "x"}).Zip64Records());
    zip.SetFileComment(0, "a longer comment");
    zip.SetFileComment(2, "");
    zip.SetZipComment("new tail");
    EXPECT_EQ(ReadFileBytes(path), Archive({"a longer comment", "", ""}, "new tail").Zip64Records().Bytes());
    TZip reread;
    reread.SetZipFileName(path);
    EXPECT_EQ(reread.Count(), 3);
}

TEST_F(Comments, AnUnchangedCommentChangesNothing) {
    Open(Archive({"12345", "", std::string(300, 'x') + "\r\nsecond line"}));
    const std::string before = ReadFileBytes(path);
    for (int32_t index : {0, 1, 2}) zip.SetFileComment(index, FileComment(index));
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(changes, 0);
}

TEST_F(Comments, IndexOutsideTheListChangesNothing) {
    Open(Archive({"12345", "", "x"}));
    const std::string before = ReadFileBytes(path);
    for (int32_t index : {-1, 3, 100}) zip.SetFileComment(index, "new");
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(changes, 0);
}

TEST_F(Comments, NoArchiveChangesNothing) {
    zip.SetFileComment(0, "x");
    zip.SetZipComment("x");
    EXPECT_EQ(changes, 0);
}

TEST_F(Comments, SuccessiveEditsStayConsistent) {
    Open(Archive({"12345", "", "x"}));
    zip.SetFileComment(0, "a much longer comment than before");
    zip.SetFileComment(2, "");
    zip.SetZipComment("new tail");
    zip.SetFileComment(1, "middle");
    EXPECT_EQ(ReadFileBytes(path),
              Archive({"a much longer comment than before", "middle", ""}, "new tail").Bytes());
    EXPECT_EQ(changes, 4);
}

struct ZipCommentCase {
    const char* name;
    std::string before, after;
};

void PrintTo(const ZipCommentCase& c, std::ostream* os) { *os << c.name; }

class ZipCommentEdit : public Comments, public testing::WithParamInterface<ZipCommentCase> {};

TEST_P(ZipCommentEdit, WritesTheArchiveAsBuiltWithTheNewComment) {
    const ZipCommentCase& c = GetParam();
    Open(Archive({"1", "", "3"}, c.before));
    zip.SetZipComment(c.after);
    EXPECT_EQ(ReadFileBytes(path), Archive({"1", "", "3"}, c.after).Bytes());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(zip.GetZipComment(), c.after);
    EXPECT_EQ(zip.EndOfCentral().EndRecord.CommentLength(), c.after.size());
    TZip reread;
    reread.SetZipFileName(path);
    EXPECT_EQ(reread.GetZipComment(), c.after);
    EXPECT_EQ(reread.Count(), 3);
}

INSTANTIATE_TEST_SUITE_P(Table, ZipCommentEdit,
                         testing::Values(ZipCommentCase{"Added", "", "a new comment"},
                                         ZipCommentCase{"Longer", "short", "a longer comment"},
                                         ZipCommentCase{"Shorter", "a longer comment", "short"},
                                         ZipCommentCase{"Cleared", "a comment", ""},
                                         ZipCommentCase{"Longest", "x", std::string(65535, 'Z')}),
                         [](const testing::TestParamInfo<ZipCommentCase>& info) { return info.param.name; });

TEST_F(Comments, SameArchiveCommentDoesNotTouchTheFile) {
    Open(Archive({"1", "", "3"}, "same"));
    const std::string before = ReadFileBytes(path);
    zip.SetZipComment("same");
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(changes, 0);
}

TEST_F(Comments, SelfExtractingProgramKeepsItsStub) {
    Open(Archive({"12345", "", "x"}, "tail comment", 40000), "prog.exe");
    zip.SetFileComment(0, "longer than five");
    zip.SetZipComment("new tail");
    EXPECT_EQ(ReadFileBytes(path), Archive({"longer than five", "", "x"}, "new tail", 40000).Bytes());
    TZip reread;
    reread.SetZipFileName(path);
    EXPECT_EQ(reread.SfxOffset(), 40000);
}

TEST_F(Comments, OemArchiveStoresTypedTextInTheOemCodePage) {
    const std::string typed = "caf\xC3\xA9 \xC3\xBC";  // UTF-8, as the program holds text
    const std::string stored = "caf\x82 \x81";
    Open(Archive({"1", "", "3"}, "", 0, zip::kHostMsDos));
    zip.SetZipComment(typed);
    zip.SetFileComment(1, typed);
    EXPECT_EQ(ReadFileBytes(path), Archive({"1", stored, "3"}, stored, 0, zip::kHostMsDos).Bytes());
    EXPECT_EQ(zip.GetZipComment(), typed);
    TZip reread;
    reread.SetZipFileName(path);
    EXPECT_EQ(reread.GetZipComment(), typed);
    TFileInfo info;
    reread.GetEntry(1, info);
    EXPECT_EQ(info.FileComment, typed);
}

TEST_F(Comments, MultiDiskArchiveIsNeverEdited) {
    Open(Archive({"1", "", "3"}).Disks(1, 1));
    const std::string before = ReadFileBytes(path);
    zip.SetFileComment(0, "new");
    zip.SetZipComment("new");
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(changes, 0);
}

// The length fields are 16-bit: a longer text is refused before a byte is written.
TEST_F(Comments, CommentsLongerThan65535AreRefused) {
    Open(Archive({"1", "", "3"}));
    const std::string before = ReadFileBytes(path);
    const std::string tooLong(65536, 'x');
    EXPECT_EQ(ZipError([&] { zip.SetZipComment(tooLong); }), FormatMsg(Msg::CommentTooLong));
    EXPECT_EQ(ZipError([&] { zip.SetFileComment(0, tooLong); }), FormatMsg(Msg::CommentTooLong));
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(zip.GetZipComment(), "tail comment");
    EXPECT_EQ(FileComment(0), "1");
    EXPECT_EQ(changes, 0);
}

// A full disk: every write is checked, and what was changed is put back.
class CommentsOnFullDisk : public Comments {
protected:
    static constexpr char kDrive = 'Q';

    // Puts the archive alone on a simulated fixed disk with `spare` bytes of room left.
    void OpenOnDisk(const ArchiveBuilder& builder, int64_t spare) {
        const std::string bytes = builder.Bytes();
        disk = folder.MapDisk(kDrive, platform::kDriveFixed, "disk", "DATA");
        path = std::string(1, kDrive) + ":\\a.zip";
        larktest::WriteFileBytes(path, bytes);
        disk->capacity = static_cast<int64_t>(bytes.size()) + spare;
        zip.SetZipFileName(path);
        changes = 0;
        original = bytes;
    }

    platform::DiskPtr disk;
    std::string original;
};

TEST_F(CommentsOnFullDisk, LongerFileCommentFailsAndLeavesTheArchiveAsItWas) {
    for (int64_t spare : {0, 1, 6}) {  // the edit needs 7 more bytes
        OpenOnDisk(Archive({"12345", "", "x"}), spare);
        EXPECT_EQ(ZipError([&] { zip.SetFileComment(0, "twelve bytes"); }), FormatMsg(Msg::ErrorWritingComment))
            << spare;
        EXPECT_EQ(ReadFileBytes(path), original) << spare;
        EXPECT_EQ(changes, 0);
        // Once there is room, the same edit gives the archive a writer would have made.
        disk->capacity += 1000;
        zip.SetFileComment(0, "twelve bytes");
        EXPECT_EQ(ReadFileBytes(path), Archive({"twelve bytes", "", "x"}).Bytes()) << spare;
        platform::UnmapDrive(kDrive);
    }
}

TEST_F(CommentsOnFullDisk, LongerArchiveCommentFailsAndLeavesTheArchiveAsItWas) {
    OpenOnDisk(Archive({"1", "", "3"}, "old"), 2);
    EXPECT_EQ(ZipError([&] { zip.SetZipComment("a much longer comment"); }), FormatMsg(Msg::ErrorWritingComment));
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(changes, 0);
    // The component still describes the file, so retrying after making room writes the comment.
    EXPECT_EQ(zip.GetZipComment(), "old");
    disk->capacity += 1000;
    zip.SetZipComment("a much longer comment");
    EXPECT_EQ(ReadFileBytes(path), Archive({"1", "", "3"}, "a much longer comment").Bytes());
}

TEST_F(CommentsOnFullDisk, ShorterCommentsNeedNoRoom) {
    OpenOnDisk(Archive({"12345", "", "x"}, "old comment"), 0);
    zip.SetFileComment(0, "1");
    zip.SetZipComment("new");
    EXPECT_EQ(ReadFileBytes(path), Archive({"1", "", "x"}, "new").Bytes());
    EXPECT_EQ(changes, 2);
}
