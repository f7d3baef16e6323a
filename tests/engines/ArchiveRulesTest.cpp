// The archive object and the real engines read an archive by the same rules: what the list shows
// is what the engines extract and delete.
#include <gtest/gtest.h>

#include "tzip/Zip.h"
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
    EXPECT_EQ(names[1], u8"naüve.txt");

    EXPECT_EQ(ExtractByName(names[0], "one"), "from DOS");
    EXPECT_EQ(ExtractByName(names[1], "two"), "from Unix");

    zip.FileSpecs() = {names[1]};
    EXPECT_EQ(zip.DeleteFiles(), 1);
    EXPECT_EQ(ListedNames(zip), std::vector<std::string>{names[0]});
}

// Info-ZIP's Unicode path block: version 1, the CRC-32 of the stored name, the UTF-8 name.
std::string UnicodePathBlock(const std::string& stored, uint32_t crcFlip, const std::string& utf8) {
    std::string block(9, '\0');
    larktest::PutU16(block, 0, 0x7075);
    larktest::PutU16(block, 2, static_cast<uint16_t>(5 + utf8.size()));
    block[4] = 1;
    larktest::PutU32(block, 5, larktest::Crc32(stored) ^ crcFlip);
    return block + utf8;
}

// Every way a name reaches the list, each in an archive of its own (the first entry decides the
// code page): what the list shows is the name to extract and delete it by.
TEST_F(ArchiveRules, NamesInEveryScriptListExtractAndDeleteByTheirShownNames) {
    struct Case {
        const char* what;
        std::string stored;
        uint8_t host;
        uint16_t flags;
        std::string extra;
        std::string shown;
    };
    const std::string ansiOelfaesser = "\xD6lf\xE4sser.txt";
    const Case cases[] = {
        {"UTF-8 Latin", u8"Café.txt", 3, 0x0800, "", u8"Café.txt"},
        {"UTF-8 Greek", u8"Ελληνικά.txt", 3, 0x0800, "", u8"Ελληνικά.txt"},
        {"UTF-8 CJK", u8"中文.txt", 0, 0x0800, "", u8"中文.txt"},
        {"UTF-8 beyond the BMP", u8"\U0001F600.txt", 11, 0x0800, "", u8"\U0001F600.txt"},
        {"Unicode path block", ansiOelfaesser, 0, 0, UnicodePathBlock(ansiOelfaesser, 0, u8"Ölfässer.txt"),
         u8"Ölfässer.txt"},
        {"block with a wrong CRC", ansiOelfaesser, 0, 0, UnicodePathBlock(ansiOelfaesser, 1, u8"Ölfässer.txt"),
         u8"╓lfΣsser.txt"},
        {"OEM name", "\x8Elt\x82.txt", 0, 0, "", u8"Älté.txt"},
        {"ANSI name", "\xC4lt\xE9.txt", 3, 0, "", u8"Älté.txt"},
        {"ill-formed UTF-8", "bad\xC0\xAF.txt", 3, 0x0800, "", u8"bad\uFFFD\uFFFD.txt"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EntrySpec entry;
        entry.name = c.stored;
        entry.data = c.what;
        entry.hostSystem = c.host;
        entry.flags = c.flags;
        entry.extra = c.extra;
        const std::string archive = "names" + std::to_string(++n) + ".zip";
        zip.SetZipFileName(folder.Write(archive, ArchiveBuilder().Add(entry).Add("other.txt", "x").Bytes()));
        ASSERT_EQ(ListedNames(zip), (std::vector<std::string>{c.shown, "other.txt"}));

        EXPECT_EQ(ExtractByName(c.shown, "out" + std::to_string(n)), c.what);
        zip.FileSpecs() = {c.shown};
        EXPECT_EQ(zip.DeleteFiles(), 1);
        EXPECT_EQ(ListedNames(zip), std::vector<std::string>{"other.txt"});
    }
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
