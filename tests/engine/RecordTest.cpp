// The command records and spec arrays the engines receive, word by word, for the option values.
#include <map>

#include "tests/engine/EngineTest.h"

using engine::UnzipCommand;
using engine::UnzipSpecEntry;
using engine::ZipCommand;
using engine::ZipSpecEntry;
using larktest::EngineTest;

namespace {

constexpr uint32_t T = 0xFFFFFFFFu;
// Our engines always get UTF-8 texts: the marker with its first bit.
// What the component sets: UTF-8 texts and 64-bit numbers.
constexpr uint32_t kOurExtensions = 0x4C4B0003u;

// Expected words of a record, offset -> value (16-bit where the record has its one short flag);
// every byte not named is expected to be 0. Address words are compared separately.
using Words = std::map<size_t, uint32_t>;

uint32_t Word(const std::vector<uint8_t>& bytes, size_t offset) {
    return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) | (uint32_t(bytes[offset + 3]) << 24);
}

// Checks every byte of `bytes`: named words hold their value, address words are non-zero (their
// texts are checked by name), everything else is zero.
void ExpectRecord(const std::vector<uint8_t>& bytes, size_t size, const Words& words,
                  const std::vector<size_t>& addresses, const std::map<size_t, size_t>& widths = {}) {
    ASSERT_EQ(bytes.size(), size);
    std::vector<bool> covered(size, false);
    for (const auto& [offset, value] : words) {
        const size_t width = widths.count(offset) ? widths.at(offset) : 4;
        const uint32_t actual = width == 2 ? uint32_t(bytes[offset] | (bytes[offset + 1] << 8)) : Word(bytes, offset);
        EXPECT_EQ(actual, value) << "word at 0x" << std::hex << offset;
        for (size_t i = 0; i < width; ++i) covered[offset + i] = true;
    }
    for (size_t offset : addresses) {
        EXPECT_NE(Word(bytes, offset), 0u) << "address at 0x" << std::hex << offset;
        for (size_t i = 0; i < 4; ++i) covered[offset + i] = true;
    }
    for (size_t i = 0; i < size; ++i)
        if (!covered[i]) {
            EXPECT_EQ(bytes[i], 0) << "byte at 0x" << std::hex << i;
        }
}

// The interface's offsets as numbers, once: a wrong constant in the shared header fails here,
// where the tests above, which name the constants, would follow it.
struct FieldOffset {
    const char* field;
    size_t constant;
    size_t offset;
};

const FieldOffset kLayout[] = {
    {"ZipCommand caller", ZipCommand::kCaller, 0x04},
    {"ZipCommand version", ZipCommand::kVersion, 0x08},
    {"ZipCommand callback", ZipCommand::kCallback, 0x0C},
    {"ZipCommand trace", ZipCommand::kTraceFlag, 0x10},
    {"ZipCommand password", ZipCommand::kPassword, 0x14},
    {"ZipCommand password flag", ZipCommand::kPasswordFlag, 0x1C},
    {"ZipCommand update newer", ZipCommand::kUpdateNewer, 0x20},
    {"ZipCommand junk folders", ZipCommand::kJunkFolders, 0x2C},
    {"ZipCommand report progress", ZipCommand::kReportProgress, 0x38},
    {"ZipCommand level", ZipCommand::kLevel, 0x3C},
    {"ZipCommand no folder entries", ZipCommand::kNoFolderEntries, 0x48},
    {"ZipCommand recurse (16-bit)", ZipCommand::kRecurse, 0x4C},
    {"ZipCommand adding", ZipCommand::kAdding, 0x50},
    {"ZipCommand system files", ZipCommand::kSystemFiles, 0x54},
    {"ZipCommand deleting", ZipCommand::kDeleting, 0x5C},
    {"ZipCommand replace", ZipCommand::kReplace, 0x60},
    {"ZipCommand freshen", ZipCommand::kFreshen, 0x64},
    {"ZipCommand spec count", ZipCommand::kSpecCount, 0x78},
    {"ZipCommand zip file name", ZipCommand::kZipFileName, 0x7C},
    {"ZipCommand temp dir", ZipCommand::kTempDir, 0x80},
    {"ZipCommand comment", ZipCommand::kComment, 0x84},
    {"ZipCommand specs", ZipCommand::kSpecs, 0x8C},
    {"ZipCommand extensions", ZipCommand::kExtensions, 0x90},
    {"ZipCommand trailer", ZipCommand::kTrailer, 0xD4},
    {"ZipCommand size", ZipCommand::kSize, 216},
    {"ZipSpecEntry spec", ZipSpecEntry::kSpec, 0x00},
    {"ZipSpecEntry password", ZipSpecEntry::kPassword, 0x0C},
    {"ZipSpecEntry password flag", ZipSpecEntry::kPasswordFlag, 0x10},
    {"ZipSpecEntry recurse (16-bit)", ZipSpecEntry::kRecurse, 0x14},
    {"ZipSpecEntry root dir", ZipSpecEntry::kRootDir, 0x24},
    {"ZipSpecEntry size", ZipSpecEntry::kSize, 104},
    {"UnzipCommand caller", UnzipCommand::kCaller, 0x04},
    {"UnzipCommand version", UnzipCommand::kVersion, 0x08},
    {"UnzipCommand callback", UnzipCommand::kCallback, 0x0C},
    {"UnzipCommand trace", UnzipCommand::kTraceFlag, 0x10},
    {"UnzipCommand password", UnzipCommand::kPassword, 0x18},
    {"UnzipCommand freshen only", UnzipCommand::kFreshenOnly, 0x1C},
    {"UnzipCommand test CRC", UnzipCommand::kTestCrc, 0x28},
    {"UnzipCommand ask overwrite", UnzipCommand::kAskOverwrite, 0x30},
    {"UnzipCommand ask overwrite 2", UnzipCommand::kAskOverwrite2, 0x34},
    {"UnzipCommand use folders", UnzipCommand::kUseFolders, 0x38},
    {"UnzipCommand overwrite all", UnzipCommand::kOverwriteAll, 0x3C},
    {"UnzipCommand spec count", UnzipCommand::kSpecCount, 0x40},
    {"UnzipCommand zip file name", UnzipCommand::kZipFileName, 0x44},
    {"UnzipCommand specs", UnzipCommand::kSpecs, 0x48},
    {"UnzipCommand password attempts", UnzipCommand::kPasswordAttempts, 0x68},
    {"UnzipCommand destination", UnzipCommand::kDestination, 0x6C},
    {"UnzipCommand extensions", UnzipCommand::kExtensions, 0x70},
    {"UnzipCommand trailer", UnzipCommand::kTrailer, 0x90},
    {"UnzipCommand size", UnzipCommand::kSize, 148},
    {"UnzipSpecEntry spec", UnzipSpecEntry::kSpec, 0x00},
    {"UnzipSpecEntry size", UnzipSpecEntry::kSize, 72},
    {"EngineCallbackInfo caller", engine::EngineCallbackInfo::kCaller, 0x04},
    {"EngineCallbackInfo number's high half", engine::EngineCallbackInfo::kNumberHigh, 0x08},
    {"EngineCallbackInfo action", engine::EngineCallbackInfo::kAction, 0x10},
    {"EngineCallbackInfo flag", engine::EngineCallbackInfo::kFlag, 0x14},
    {"EngineCallbackInfo number", engine::EngineCallbackInfo::kNumber, 0x18},
    {"EngineCallbackInfo text", engine::EngineCallbackInfo::kText, 0x1C},
    {"EngineCallbackInfo size", engine::EngineCallbackInfo::kSize, 540},
};

TEST(RecordLayout, EveryOffsetIsTheInterfacesOwn) {
    for (const FieldOffset& field : kLayout) EXPECT_EQ(field.constant, field.offset) << field.field;
}

// The extension word counts only with its marker: an old caller's stray bits mean nothing.
TEST(RecordLayout, ExtensionBitsNeedTheMarker) {
    const struct {
        uint32_t word, bits;
    } cases[] = {
        {0, 0},           {0x00000001u, 0}, {0x4C4A0001u, 0}, {0xFFFF000Fu, 0},
        {0x4C4B0000u, 0}, {0x4C4B0001u, 1}, {0x4C4B000Au, 0x0A},
    };
    for (const auto& c : cases) EXPECT_EQ(engine::ExtensionBits(c.word), c.bits) << std::hex << c.word;
    EXPECT_EQ(engine::ExtensionWord(engine::kExtUtf8), 0x4C4B0001u);
    EXPECT_EQ(engine::kExtZip64 | engine::kExtTestOnly | engine::kExtStrongEncryption, 0x0Eu);
}

struct AddCase {
    const char* name;
    uint8_t options;
    uint32_t replace, freshen, updateNewer, systemFiles, recurse16, noFolderEntries, junkFolders;
};

class AddRecord : public EngineTest, public testing::WithParamInterface<AddCase> {};

TEST_P(AddRecord, HoldsTheOptionWordsAndNothingElse) {
    const AddCase& c = GetParam();
    OpenArchive();
    zip.AddOptions = c.options;
    zip.FileSpecs() = {"one.txt", "*.c"};
    zip.AddFiles();
    ASSERT_EQ(zipDll.ExecCount(), 1);
    const Words words{{ZipCommand::kVersion, 160},
                      {ZipCommand::kReportProgress, T},
                      {ZipCommand::kLevel, 9},
                      {ZipCommand::kTrailer, 7},
                      {ZipCommand::kExtensions, kOurExtensions},
                      {ZipCommand::kAdding, T},
                      {ZipCommand::kSpecCount, 2},
                      {ZipCommand::kReplace, c.replace},
                      {ZipCommand::kFreshen, c.freshen},
                      {ZipCommand::kUpdateNewer, c.updateNewer},
                      {ZipCommand::kSystemFiles, c.systemFiles},
                      {ZipCommand::kRecurse, c.recurse16},
                      {ZipCommand::kNoFolderEntries, c.noFolderEntries},
                      {ZipCommand::kJunkFolders, c.junkFolders}};
    ExpectRecord(zipDll.Command(), ZipCommand::kSize, words,
                 {ZipCommand::kCaller, ZipCommand::kCallback, ZipCommand::kZipFileName, ZipCommand::kTempDir,
                  ZipCommand::kSpecs},
                 {{ZipCommand::kRecurse, 2}});
    const auto specs = zipDll.Specs();
    ASSERT_EQ(specs.size(), 2u);
    for (const auto& spec : specs)
        ExpectRecord(spec, ZipSpecEntry::kSize, {{ZipSpecEntry::kRecurse, c.recurse16}},
                     {ZipSpecEntry::kSpec, ZipSpecEntry::kRootDir}, {{ZipSpecEntry::kRecurse, 2}});
}

INSTANTIATE_TEST_SUITE_P(Table, AddRecord,
                         testing::Values(
                             // name, options, 0x60, 0x64, 0x20, 0x54, 0x4C, 0x48, 0x2C
                             AddCase{"ChosenFiles", 2, T, 0, 0, 0, 0, T, T},
                             AddCase{"FolderTree", 20, 0, 0, 0, 0, 0xFFFF, 0, 0},
                             AddCase{"Recurse", 4, 0, 0, 0, 0, 0xFFFF, 0, T},
                             AddCase{"AbsoluteSpecs", 8, 0, 0, 0, 0, 0, 0, T},
                             AddCase{"FolderNames", 16, 0, 0, 0, 0, 0, T, 0},
                             AddCase{"UpdateNewer", 64, 0, 0, T, 0, 0, T, T},
                             AddCase{"SystemFiles", 128, 0, 0, 0, T, 0, T, T},
                             AddCase{"Freshen", 1, 0, T, 0, 0, 0, T, T},
                             AddCase{"ReplaceWinsOverFreshen", 3, T, 0, 0, 0, 0, T, T},
                             AddCase{"Nothing", 0, 0, 0, 0, 0, 0, T, T}),
                         [](const testing::TestParamInfo<AddCase>& info) { return info.param.name; });

using Records = EngineTest;

TEST_F(Records, AddNamesItsTextsAndTheCallback) {
    const std::string path = OpenArchive("a.zip", "the comment");
    zip.SetPassword("secret");
    zip.AddRootDir = folder.Path();
    zip.FileSpecs() = {"one.txt"};
    zip.AddFiles();
    const auto command = zipDll.Command();
    EXPECT_EQ(Word(command, ZipCommand::kCaller), engine::AddressWord(&zip));
    EXPECT_EQ(Word(command, ZipCommand::kCallback),
              engine::AddressWord(reinterpret_cast<const void*>(&engine::EngineCallback)));
    EXPECT_EQ(zipDll.CommandText(ZipCommand::kZipFileName), path);
    EXPECT_EQ(zipDll.CommandText(ZipCommand::kTempDir), zip.TempDir());
    EXPECT_EQ(zipDll.CommandText(ZipCommand::kComment), "the comment");
    EXPECT_EQ(zipDll.CommandText(ZipCommand::kPassword), "secret");
    EXPECT_EQ(Word(command, ZipCommand::kPasswordFlag), T);
    EXPECT_EQ(Word(command, ZipCommand::kTraceFlag), 0u);
    const auto specs = zipDll.Specs();
    ASSERT_EQ(specs.size(), 1u);
    EXPECT_EQ(zipDll.SpecText(0, ZipSpecEntry::kSpec), "one.txt");
    EXPECT_EQ(Word(specs[0], ZipSpecEntry::kPassword), Word(command, ZipCommand::kPassword)) << "the same text";
    EXPECT_EQ(Word(specs[0], ZipSpecEntry::kPasswordFlag), T);
    EXPECT_EQ(zipDll.SpecText(0, ZipSpecEntry::kRootDir), folder.Path() + "\\");
    EXPECT_EQ(zipDll.CurrentDirectory(), folder.NativePath()) << "the root folder is the current one";
}

TEST_F(Records, WithoutPasswordOrRootTheWordsStayZeroAndTheRootIsEmpty) {
    OpenArchive();
    zip.FileSpecs() = {"one.txt"};
    zip.AddFiles();
    EXPECT_EQ(zipDll.CommandText(ZipCommand::kPassword), std::nullopt);
    EXPECT_EQ(zipDll.CommandText(ZipCommand::kComment), std::nullopt) << "an empty comment is not passed";
    EXPECT_EQ(Word(zipDll.Command(), ZipCommand::kPasswordFlag), 0u);
    EXPECT_EQ(zipDll.SpecText(0, ZipSpecEntry::kPassword), std::nullopt);
    EXPECT_EQ(zipDll.SpecText(0, ZipSpecEntry::kRootDir), "") << "an empty text, never a null address";
}

// The engine stores the comment in the archive's code page; the record carries the text itself.
TEST_F(Records, CommentTravelsAsUtf8) {
    larktest::EntrySpec dosEntry;
    dosEntry.name = "a.txt";
    dosEntry.data = "alpha";
    dosEntry.hostSystem = 0;
    zip.SetZipFileName(
        folder.Write("dos.zip", larktest::ArchiveBuilder().Add(dosEntry).Comment("caf\x82").Bytes()));
    ASSERT_TRUE(zip.OemNames());
    zip.FileSpecs() = {"a.txt"};
    zip.DeleteFiles();
    EXPECT_EQ(zipDll.CommandText(ZipCommand::kComment), "caf\xC3\xA9");
}

TEST_F(Records, DeleteSetsOnlyItsOwnWordAndNeverThePassword) {
    OpenArchive();
    zip.SetPassword("secret");
    zip.AddOptions = 0xFF;
    zip.TraceEnabled = true;
    zip.FileSpecs() = {"a.txt", "dir\\*.*"};
    zip.DeleteFiles();
    ExpectRecord(zipDll.Command(), ZipCommand::kSize,
                 {{ZipCommand::kVersion, 160},
                  {ZipCommand::kTraceFlag, T},
                  {ZipCommand::kReportProgress, T},
                  {ZipCommand::kLevel, 9},
                  {ZipCommand::kDeleting, T},
                  {ZipCommand::kSpecCount, 2},
                  {ZipCommand::kTrailer, 7},
                  {ZipCommand::kExtensions, kOurExtensions}},
                 {ZipCommand::kCaller, ZipCommand::kCallback, ZipCommand::kZipFileName, ZipCommand::kTempDir,
                  ZipCommand::kSpecs});
    EXPECT_EQ(zipDll.SpecText(1, ZipSpecEntry::kSpec), "dir\\*.*");
    for (const auto& spec : zipDll.Specs())
        ExpectRecord(spec, ZipSpecEntry::kSize, {}, {ZipSpecEntry::kSpec, ZipSpecEntry::kRootDir});
    platform::DeleteFile(TZip::TraceFileName());
}

TEST_F(Records, AbsoluteSpecsAreJoinedToTheRootBeforeTheCall) {
    OpenArchive();
    zip.AddOptions = 8;
    zip.AddRootDir = "C:\\base";
    zip.FileSpecs() = {"one.txt", "ab", "\\abs\\x.txt", "D:y.txt", "sub\\z.txt"};
    zip.AddFiles();
    const std::vector<std::string> expected{"C:\\base\\one.txt", "C:\\base\\ab", "\\abs\\x.txt", "D:y.txt",
                                            "C:\\base\\sub\\z.txt"};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(zipDll.SpecText(static_cast<int32_t>(i), ZipSpecEntry::kSpec), expected[i]);
    EXPECT_EQ(zipDll.SpecText(0, ZipSpecEntry::kRootDir), "C:\\base\\");
    EXPECT_EQ(zip.AddRootDir, "") << "cleared after every add";
    EXPECT_TRUE(zip.FileSpecs().empty());
}

struct ExtractCase {
    const char* name;
    uint8_t options;
    uint32_t freshen, askOverwrite, askOverwrite2, useFolders, overwriteAll;
};

class ExtractRecord : public EngineTest, public testing::WithParamInterface<ExtractCase> {};

TEST_P(ExtractRecord, HoldsTheOptionWordsAndNothingElse) {
    const ExtractCase& c = GetParam();
    OpenArchive();
    zip.ExtractOptions = c.options;
    zip.ExtractDir = folder.Path();
    zip.TraceEnabled = true;  // never passed to the unzip engine
    zip.FileSpecs() = {"a.txt", "dir\\*.*", "*.*"};
    zip.ExtractFiles();
    ASSERT_EQ(unzDll.ExecCount(), 1);
    ExpectRecord(unzDll.Command(), UnzipCommand::kSize,
                 {{UnzipCommand::kVersion, 160},
                  {UnzipCommand::kTestCrc, T},
                  {UnzipCommand::kPasswordAttempts, 3},
                  {UnzipCommand::kTrailer, 7},
                  {UnzipCommand::kExtensions, kOurExtensions},
                  {UnzipCommand::kSpecCount, 3},
                  {UnzipCommand::kFreshenOnly, c.freshen},
                  {UnzipCommand::kAskOverwrite, c.askOverwrite},
                  {UnzipCommand::kAskOverwrite2, c.askOverwrite2},
                  {UnzipCommand::kUseFolders, c.useFolders},
                  {UnzipCommand::kOverwriteAll, c.overwriteAll}},
                 {UnzipCommand::kCaller, UnzipCommand::kCallback, UnzipCommand::kZipFileName,
                  UnzipCommand::kDestination, UnzipCommand::kSpecs});
    const auto specs = unzDll.Specs();
    ASSERT_EQ(specs.size(), 3u);
    for (const auto& spec : specs) ExpectRecord(spec, UnzipSpecEntry::kSize, {}, {UnzipSpecEntry::kSpec});
    EXPECT_EQ(unzDll.SpecText(1, UnzipSpecEntry::kSpec), "dir\\*.*");
    platform::DeleteFile(TZip::TraceFileName());
}

INSTANTIATE_TEST_SUITE_P(Table, ExtractRecord,
                         testing::Values(
                             // name, options, 0x1C, 0x30, 0x34, 0x38, 0x3C
                             ExtractCase{"ByAge", 1, 0, T, 0, 0, 0},
                             ExtractCase{"ByAge2", 2, 0, 0, T, 0, 0},
                             ExtractCase{"OneWinsOverTwo", 3, 0, T, 0, 0, 0},
                             ExtractCase{"Freshen", 4, T, 0, 0, 0, 0},
                             ExtractCase{"TwoWinsOverFour", 6, 0, 0, T, 0, 0},
                             ExtractCase{"Ask", 8, 0, 0, 0, 0, T},
                             ExtractCase{"ByAgeWinsOverAsk", 9, 0, T, 0, 0, 0},
                             ExtractCase{"Folders", 16, 0, 0, 0, T, T},
                             ExtractCase{"ChosenFolder", 17, 0, T, 0, T, 0},
                             ExtractCase{"Nothing", 0, 0, 0, 0, 0, T}),
                         [](const testing::TestParamInfo<ExtractCase>& info) { return info.param.name; });

TEST_F(Records, ExtractNamesItsTextsAndMovesIntoTheDestination) {
    const std::string path = OpenArchive();
    zip.SetPassword("secret");
    folder.Write("out/keep", "");
    zip.ExtractDir = folder.Path("out");
    zip.FileSpecs() = {"a.txt"};
    zip.ExtractFiles();
    const auto command = unzDll.Command();
    EXPECT_EQ(Word(command, UnzipCommand::kCaller), engine::AddressWord(&zip));
    EXPECT_EQ(unzDll.CommandText(UnzipCommand::kZipFileName), path);
    EXPECT_EQ(unzDll.CommandText(UnzipCommand::kPassword), "secret");
    EXPECT_EQ(unzDll.CommandText(UnzipCommand::kDestination), folder.Path("out") + "\\");
    EXPECT_EQ(unzDll.CurrentDirectory(), folder.NativePath("out"));
}

TEST_F(Records, ExtractWithoutFolderGoesBesideTheArchiveAndWithoutSpecsPassesNoArray) {
    OpenArchive("sub/a.zip");
    zip.ExtractFiles();
    ASSERT_EQ(unzDll.ExecCount(), 1) << "the engine runs without specs";
    const auto command = unzDll.Command();
    EXPECT_EQ(Word(command, UnzipCommand::kSpecCount), 0u);
    EXPECT_EQ(Word(command, UnzipCommand::kSpecs), 0u);
    EXPECT_EQ(unzDll.CommandText(UnzipCommand::kPassword), std::nullopt);
    EXPECT_EQ(unzDll.CommandText(UnzipCommand::kDestination), folder.Path("sub") + "\\");
    EXPECT_EQ(unzDll.CurrentDirectory(), folder.NativePath("sub"));
}

}  // namespace
