// Folder listings, modification times and renames through the platform layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "platform/Files.h"
#include "platform/Time.h"
#include "tests/support/TestFolder.h"

namespace {

using platform::FileDetails;
using platform::LocalTime;

const FileDetails* Find(const std::vector<FileDetails>& items, const std::string& name) {
    const auto found =
        std::find_if(items.begin(), items.end(), [&](const FileDetails& item) { return item.name == name; });
    return found == items.end() ? nullptr : &*found;
}

TEST(FileDetails, ListsFilesAndFoldersWithSizes) {
    larktest::TestFolder folder;
    folder.Write("a.txt", "hello");
    folder.Write("sub/b.bin", std::string(1000, 'x'));
    const std::vector<FileDetails> items = platform::ListDirectory(folder.Path());
    ASSERT_EQ(items.size(), 2u);
    const FileDetails* file = Find(items, "a.txt");
    const FileDetails* sub = Find(items, "sub");
    ASSERT_TRUE(file && sub);
    EXPECT_FALSE(file->IsDirectory());
    EXPECT_EQ(file->size, 5);
    EXPECT_TRUE(sub->IsDirectory());
    const std::vector<FileDetails> inner = platform::ListDirectory(folder.Path("sub") + "\\");
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(inner[0].size, 1000);
    EXPECT_TRUE(platform::ListDirectory(folder.Path("missing")).empty());
}

TEST(FileDetails, ModificationTimeRoundTripsInLocalTime) {
    larktest::TestFolder folder;
    const std::string path = folder.Write("t.txt", "x");
    const LocalTime times[] = {{1999, 12, 31, 23, 59, 58}, {2024, 7, 1, 12, 0, 0}, {1980, 1, 1, 0, 0, 0}};
    for (const LocalTime& time : times) {
        ASSERT_TRUE(platform::SetFileModified(path, time));
        FileDetails details;
        ASSERT_TRUE(platform::GetFileDetails(path, details));
        EXPECT_EQ(details.name, "t.txt");
        EXPECT_EQ(details.size, 1);
        const LocalTime& got = details.modified;
        EXPECT_EQ(std::make_tuple(got.year, got.month, got.day, got.hour, got.minute, got.second),
                  std::make_tuple(time.year, time.month, time.day, time.hour, time.minute, time.second));
    }
    FileDetails none;
    EXPECT_FALSE(platform::GetFileDetails(folder.Path("missing"), none));
    EXPECT_FALSE(platform::SetFileModified(folder.Path("missing"), times[0]));
}

TEST(FileDetails, MoveReplacesTheTarget) {
    larktest::TestFolder folder;
    const std::string from = folder.Write("new.tmp", "new bytes");
    const std::string to = folder.Write("old.zip", "old");
    ASSERT_TRUE(platform::MoveFile(from, to));
    EXPECT_FALSE(folder.Exists("new.tmp"));
    EXPECT_EQ(folder.Read("old.zip"), "new bytes");
    EXPECT_TRUE(platform::MoveFile(to, folder.Path("fresh.zip"))) << "a missing target is made";
    EXPECT_FALSE(platform::MoveFile(folder.Path("missing"), to));
}

}  // namespace
