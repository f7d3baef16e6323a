// The archive object and the real engines read an archive by the same rules: what the list shows
// is what the engines extract and delete.
#include <gtest/gtest.h>

#include "tzip/Zip.h"
#include "platform/Text.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "tests/support/ZipListing.h"

namespace {

using larktest::ArchiveBuilder;
using larktest::EntrySpec;

using larktest::ListedNames;

class ArchiveRules : public testing::Test {
protected:
    // Extracts one listed name into a folder of its own and returns what arrived under that name.
    std::string ExtractByName(const std::string& name, const std::string& into) {
        platform::CreateDirectory(folder.Path(into));
        zip.ExtractDir = folder.Path(into);
        zip.FileSpecs() = {name};
        EXPECT_EQ(zip.ExtractFiles(), 1) << name;
        const std::string path = folder.Path(into) + "\\" + name;
        return platform::FileExists(path) ? larktest::ReadFileBytes(path) : std::string("(missing)");
    }

    larktest::TestFolder folder;
    larktest::ScriptedUser user;
    TZip zip;
};

// Entry 1 from MS-DOS decides that the archive's names are OEM text; entry 2, from Unix, follows
// that decision in the list, and so it must in the engines.
TEST_F(ArchiveRules, MixedHostNamesListExtractAndDeleteByTheirListedNames) {
    EntrySpec dos;
    dos.name = "caf\x82.txt";
    dos.data = "from DOS";
    dos.hostSystem = 0;
    EntrySpec unix;
    unix.name = "na\x81ve.txt";
    unix.data = "from Unix";
    unix.hostSystem = 3;
    const std::string path = folder.Write("mixed.zip", ArchiveBuilder().Add(dos).Add(unix).Bytes());
    zip.SetZipFileName(path);
    const std::vector<std::string> names = ListedNames(zip);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1], "na\xC3\xBCve.txt");

    EXPECT_EQ(ExtractByName(names[0], "one"), "from DOS");
    EXPECT_EQ(ExtractByName(names[1], "two"), "from Unix");

    zip.FileSpecs() = {names[1]};
    EXPECT_EQ(zip.DeleteFiles(), 1);
    EXPECT_EQ(ListedNames(zip), std::vector<std::string>{names[0]});
}

// "PK\5\6" with plausible fields inside the archive comment is a second candidate end record; the
// real one, whose comment ends at the end of the file, gives the directory both sides use.
TEST_F(ArchiveRules, ASecondCandidateEndRecordInTheCommentChangesNothing) {
    const std::string decoy = larktest::FromHex("50 4B 05 06 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    const std::string path = folder.Write(
        "decoy.zip", ArchiveBuilder().Add("a.txt", "alpha").Add("b.txt", "beta").Comment("note " + decoy + " end").Bytes());
    zip.SetZipFileName(path);
    ASSERT_EQ(ListedNames(zip), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(ExtractByName("b.txt", "out"), "beta");
}

}  // namespace
