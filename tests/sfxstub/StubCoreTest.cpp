// The stub's core on archives made here: finding the archive behind a program, /auto runs and
// their logs, passwords, damaged data and hostile names, the switches and the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/common/Codec.h"
#include "platform/Files.h"
#include "sfxstub/AutoRun.h"
#include "sfxstub/Extraction.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TestFolder.h"

using namespace sfxstub;
using larktest::ArchiveBuilder;
using larktest::ReadFileBytes;

namespace {

constexpr size_t kStubSize = 5000;

// One entry as the archive should hold it: deflated and/or encrypted, with its plain content.
struct Item {
    Item(std::string n, std::string d, bool z = false, std::string p = std::string())
        : name(std::move(n)), data(std::move(d)), deflate(z), password(std::move(p)) {}
    std::string name;
    std::string data;
    bool deflate;
    std::string password;
};

// One wrong password in 256 passes a header's check byte, and a stored entry has nothing else to
// tell it by: the headers made here let none of the wrong passwords these tests give pass.
bool OpensWithAWrongPassword(const std::vector<uint8_t>& header, uint8_t check, const std::string& password) {
    for (const char* wrong : {"wrong", "bad", "pw", "other", "x", "y", "z", "never asked"}) {
        if (wrong != password && engines::ZipCipher(wrong).CheckHeader(header.data(), check)) return true;
    }
    return false;
}

ArchiveBuilder Build(const std::vector<Item>& items) {
    ArchiveBuilder builder;
    for (const Item& item : items) {
        larktest::EntrySpec spec;
        spec.name = item.name;
        std::vector<uint8_t> stored(item.data.begin(), item.data.end());
        if (item.deflate) {
            engines::Deflater deflater(6);
            std::vector<uint8_t> packed;
            deflater.Compress(stored.data(), stored.size(), true, packed);
            stored = packed;
        }
        if (!item.password.empty()) {
            const uint8_t check = static_cast<uint8_t>(larktest::Crc32(item.data) >> 24);
            engines::ZipCipher cipher(item.password);
            std::vector<uint8_t> header = cipher.MakeHeader(check);
            while (OpensWithAWrongPassword(header, check, item.password)) {
                cipher = engines::ZipCipher(item.password);
                header = cipher.MakeHeader(check);
            }
            cipher.Encrypt(stored.data(), stored.size());
            stored.insert(stored.begin(), header.begin(), header.end());
            spec.flags = 1;
        }
        spec.data.assign(stored.begin(), stored.end());
        builder.Add(spec);
    }
    return builder;
}

// The builder stores every entry as it is given; the method, CRC and size of the plain data are set here.
std::string Finish(const ArchiveBuilder& builder, const std::vector<Item>& items) {
    larktest::BuiltArchive built = builder.Build();
    for (size_t i = 0; i < items.size(); ++i) {
        const uint16_t method = items[i].deflate ? 8 : 0;
        const uint32_t crc = larktest::Crc32(items[i].data);
        const uint32_t size = static_cast<uint32_t>(items[i].data.size());
        const size_t local = built.layout.localHeaders[i];
        const size_t central = built.layout.centralHeaders[i];
        larktest::PutU16(built.bytes, local + 8, method);
        larktest::PutU32(built.bytes, local + 14, crc);
        larktest::PutU32(built.bytes, local + 22, size);
        larktest::PutU16(built.bytes, central + 10, method);
        larktest::PutU32(built.bytes, central + 16, crc);
        larktest::PutU32(built.bytes, central + 24, size);
    }
    return built.bytes;
}

std::string Program(const std::vector<Item>& items, bool offsetsCountStub = false) {
    return Finish(Build(items).Stub(larktest::StubBytes(kStubSize), offsetsCountStub), items);
}

struct RunOutcome {
    int code;
    std::string log;
};

RunOutcome Unattended(larktest::TestFolder& folder, const std::string& program, StubArguments arguments) {
    larktest::WriteFileBytes(folder.Path("prog.exe"), program);
    arguments.unattended = true;
    if (arguments.destination.empty()) arguments.destination = folder.Path("out");
    arguments.logFile = folder.Path("run.log");
    RunOutcome run;
    run.code = RunUnattended(folder.Path("prog.exe"), kStubSize, arguments, folder.Path("unused"));
    run.log = ReadFileBytes(folder.Path("run.log"));
    return run;
}

std::vector<Item> MixedItems() {
    return {{"readme.txt", "hello\n"},
            {"docs/", ""},
            {"docs/empty/", ""},
            {"docs/big.txt", std::string(300000, 'x') + "end", true},
            {"zero.bin", ""},
            {"docs/secret.txt", "the plans", true, "pw"}};
}

}  // namespace

TEST(StubCore, ExtractsEveryKindOfEntryForBothOffsetForms) {
    for (bool offsetsCountStub : {false, true}) {
        larktest::TestFolder folder;
        StubArguments arguments;
        arguments.password = "pw";
        const RunOutcome run = Unattended(folder, Program(MixedItems(), offsetsCountStub), arguments);
        EXPECT_EQ(run.code, 0) << run.log;
        for (const Item& item : MixedItems()) {
            if (item.name.back() == '/') {
                EXPECT_TRUE(platform::DirectoryExists(folder.Path("out/" + item.name))) << item.name;
            } else {
                EXPECT_EQ(ReadFileBytes(folder.Path("out/" + item.name)), item.data) << item.name;
            }
        }
        const std::string outPath = folder.Path("out");
        EXPECT_EQ(run.log, "extracting to: " + outPath + "\r\nextracted: readme.txt\r\nextracted: docs\\big.txt\r\n"
                           "extracted: zero.bin\r\nextracted: docs\\secret.txt\r\n4 file(s) extracted to \"" +
                           outPath + "\".\r\nexit code: 0\r\n");
        platform::FileDetails details;
        ASSERT_TRUE(platform::GetFileDetails(folder.Path("out/readme.txt"), details));
        EXPECT_EQ(details.modified.year, 1999);
        EXPECT_EQ(details.modified.minute, 34);
    }
}

// A ZIP64 archive behind the stub (the ZIP64 end record found in front of its locator when the
// stored offsets do not count the stub): sizes and offsets come from the ZIP64 extra fields.
TEST(StubCore, ExtractsZip64Archives) {
    for (bool offsetsCountStub : {false, true}) {
        larktest::TestFolder folder;
        ArchiveBuilder builder;
        for (const char* name : {"one.txt", "two.txt"}) {
            larktest::EntrySpec spec;
            spec.name = name;
            spec.data = std::string("data of ") + name;
            spec.zip64 = true;
            spec.dataDescriptor = spec.name == "two.txt";
            builder.Add(spec);
        }
        const std::string program =
            builder.Zip64Saturated().Stub(larktest::StubBytes(kStubSize), offsetsCountStub).Bytes();
        const RunOutcome run = Unattended(folder, program, StubArguments());
        EXPECT_EQ(run.code, 0) << run.log;
        EXPECT_EQ(ReadFileBytes(folder.Path("out/one.txt")), "data of one.txt");
        EXPECT_EQ(ReadFileBytes(folder.Path("out/two.txt")), "data of two.txt");
    }
}

// The stub reads names as the list does: flagged UTF-8 (ill-formed bytes as U+FFFD), else the
// OEM page of an MS-DOS archive; each lands under the name shown and logged.
TEST(StubCore, NamesInEveryScriptLandUnderTheirShownNames) {
    struct Case {
        std::string stored;
        uint16_t flags;
        std::string shown;
    };
    const Case cases[] = {
        {u8"中文.txt", 0x0800, u8"中文.txt"},
        {u8"\U0001F600.txt", 0x0800, u8"\U0001F600.txt"},
        {"\x8Elt.txt", 0, u8"Ält.txt"},
        {"bad\xC0\xAF.txt", 0x0800, u8"bad\uFFFD\uFFFD.txt"},
    };
    ArchiveBuilder builder;
    for (const Case& c : cases) {
        larktest::EntrySpec entry;
        entry.name = c.stored;
        entry.data = c.shown;
        entry.flags = c.flags;
        builder.Add(entry);
    }
    larktest::TestFolder folder;
    const RunOutcome run = Unattended(folder, builder.Stub(larktest::StubBytes(kStubSize), false).Bytes(), {});
    EXPECT_EQ(run.code, 0) << run.log;
    for (const Case& c : cases) {
        EXPECT_EQ(ReadFileBytes(folder.Path("out/" + c.shown)), c.shown);
        EXPECT_NE(run.log.find("extracted: " + c.shown + "\r\n"), std::string::npos) << run.log;
    }
}

TEST(StubCore, FailuresAreLoggedAndLeaveNothingBehind) {
    std::vector<Item> items = {{"good.txt", "fine"},
                               {"../outside.txt", "escape"},
                               {"/rooted.txt", "escape"},
                               {"C:/drive.txt", "escape"},
                               {"sub/../../up.txt", "escape"},
                               {"CON.txt", "device"},
                               {"crc.txt", "damaged data"},
                               {"locked.txt", "secret", false, "right"},
                               {"strong.txt", "aes"}};
    const ArchiveBuilder builder = Build(items);
    std::string program = Finish(ArchiveBuilder(builder).Stub(larktest::StubBytes(kStubSize), false), items);
    // Damages crc.txt's stored CRC in its central header.
    const larktest::BuiltArchive layout = ArchiveBuilder(builder).Stub(larktest::StubBytes(kStubSize), false).Build();
    program[layout.layout.centralHeaders[6] + 16] ^= 0x55;
    // strong.txt says it is AES-encrypted (method 99).
    larktest::PutU16(program, layout.layout.centralHeaders[8] + 10, 99);

    larktest::TestFolder folder;
    StubArguments arguments;
    arguments.password = "wrong";
    arguments.destination = folder.Path("deep/out");  // made with its parent
    const RunOutcome run = Unattended(folder, program, arguments);
    EXPECT_EQ(run.code, 1);
    const struct {
        const char* line;
    } expected[] = {
        {"extracted: good.txt\r\n"},
        {"not extracted: ..\\outside.txt: its name would lead outside the destination folder\r\n"},
        {"not extracted: \\rooted.txt: its name would lead outside the destination folder\r\n"},
        {"not extracted: C:\\drive.txt: its name would lead outside the destination folder\r\n"},
        {"not extracted: sub\\..\\..\\up.txt: its name would lead outside the destination folder\r\n"},
        {"not extracted: CON.txt: its name would lead outside the destination folder\r\n"},
        {"not extracted: crc.txt: its data are damaged (CRC error)\r\n"},
        {"not extracted: locked.txt: no password opened it\r\n"},
        {"not extracted: strong.txt: strong encryption is not supported by this self-extractor\r\n"},
        {"1 file(s) extracted to "},
        {"exit code: 1\r\n"},
    };
    for (const auto& e : expected) EXPECT_NE(run.log.find(e.line), std::string::npos) << e.line << "\n" << run.log;
    // Only the log, the program and the one good file exist: no partial or temporary file anywhere.
    std::vector<std::string> names;
    for (const auto& f : platform::ListDirectory(folder.Path())) names.push_back(f.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"deep", "prog.exe", "run.log"}));
    const auto out = platform::ListDirectory(folder.Path("deep/out"));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].name, "good.txt");
}

TEST(StubCore, KeepsExistingFilesUnlessOverwriting) {
    larktest::TestFolder folder;
    const std::string program = Program({{"a.txt", "new"}});
    platform::CreateDirectory(folder.Path("out"));
    larktest::WriteFileBytes(folder.Path("out/a.txt"), "old");
    StubArguments arguments;
    RunOutcome run = Unattended(folder, program, arguments);
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.log.find("not extracted: a.txt: the file exists"), std::string::npos) << run.log;
    EXPECT_EQ(ReadFileBytes(folder.Path("out/a.txt")), "old");
    arguments.overwrite = true;
    run = Unattended(folder, program, arguments);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(ReadFileBytes(folder.Path("out/a.txt")), "new");
}

TEST(StubCore, TellsTheBareStubFromADamagedArchive) {
    larktest::TestFolder folder;
    const std::string stub = larktest::StubBytes(kStubSize);
    const std::string withArchive = Program({{"a.txt", "x"}});
    // The second entry's directory record points at the first entry's data, as in a ZIP bomb.
    const std::vector<Item> pair = {{"a.txt", "x"}, {"b.txt", "x"}};
    std::string overlapping = Finish(Build(pair).Stub(larktest::StubBytes(kStubSize), false), pair);
    const larktest::BuiltArchive layout = Build(pair).Stub(larktest::StubBytes(kStubSize), false).Build();
    overlapping.replace(layout.layout.centralHeaders[1] + 42, 4, overlapping, layout.layout.centralHeaders[0] + 42, 4);
    const struct {
        std::string program;
        const char* line;
    } cases[] = {
        {stub, "This program carries no archive to extract.\r\n"},
        {stub + "PK\x05\x06 damaged tail of 22 b", "The archive in this program is damaged: "},
        {withArchive.substr(0, withArchive.size() - 10), "The archive in this program is damaged: "},
        {overlapping, "The archive in this program is damaged: its entries share their data"},
    };
    for (const auto& c : cases) {
        const RunOutcome run = Unattended(folder, c.program, StubArguments());
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.log.rfind(c.line, 0), 0u) << run.log;
        EXPECT_FALSE(platform::DirectoryExists(folder.Path("out")));
    }
}

// An entry whose data inflate past the size it declares (a ZIP bomb) is stopped there: no more
// than that size is ever written, stored or deflated, and nothing is kept.
TEST(StubCore, StopsAnEntryAtTheSizeItDeclares) {
    class CountingHost final : public ExtractionHost {
    public:
        size_t written = 0;
        bool BeginFile(const std::string&, int64_t) override { return true; }
        bool Progress(size_t bytes) override {
            written += bytes;
            return true;
        }
        bool AskPassword(const std::string&, std::string&) override { return false; }
        void FileDone(const std::string&, Failure) override {}
    };
    constexpr uint32_t kDeclared = 1000;
    for (const bool deflate : {true, false}) {
        const std::vector<Item> items = {{"bomb.txt", std::string(1 << 20, 'b'), deflate}};
        std::string program = Finish(Build(items).Stub(larktest::StubBytes(kStubSize), false), items);
        const larktest::BuiltArchive layout = Build(items).Stub(larktest::StubBytes(kStubSize), false).Build();
        larktest::PutU32(program, layout.layout.localHeaders[0] + 22, kDeclared);
        larktest::PutU32(program, layout.layout.centralHeaders[0] + 24, kDeclared);
        larktest::TestFolder folder;
        larktest::WriteFileBytes(folder.Path("prog.exe"), program);
        SfxArchive archive;
        ASSERT_EQ(archive.Open(folder.Path("prog.exe"), kStubSize), SfxArchive::Status::Ok);
        CountingHost host;
        ExtractRequest request;
        request.destination = folder.Path();
        const ExtractResult result = ExtractAll(archive, request, host);
        EXPECT_EQ(result.failed, 1) << deflate;
        EXPECT_LE(host.written, kDeclared) << deflate;
        EXPECT_FALSE(platform::FileExists(folder.Path("bomb.txt"))) << deflate;
    }
}

// A password asked for is tried, asked again when wrong (three times per file), and reused.
TEST(StubCore, AsksForThePasswordAndReusesIt) {
    class ScriptedHost final : public ExtractionHost {
    public:
        std::vector<std::string> answers;
        std::vector<std::string> asked;
        bool BeginFile(const std::string&, int64_t) override { return true; }
        bool Progress(size_t) override { return true; }
        bool AskPassword(const std::string& name, std::string& password) override {
            asked.push_back(name);
            if (answers.empty()) return false;
            password = answers.front();
            answers.erase(answers.begin());
            return true;
        }
        void FileDone(const std::string&, Failure) override {}
    };
    larktest::TestFolder folder;
    larktest::WriteFileBytes(folder.Path("prog.exe"), Program({{"1.txt", "one", true, "pw"},
                                                               {"2.txt", "two", false, "pw"},
                                                               {"3.txt", "three", false, "other"}}));
    SfxArchive archive;
    ASSERT_EQ(archive.Open(folder.Path("prog.exe"), kStubSize), SfxArchive::Status::Ok);
    ScriptedHost host;
    host.answers = {"bad", "pw", "x", "y", "z", "never asked"};
    ExtractRequest request;
    request.destination = folder.Path("out");
    platform::CreateDirectory(request.destination);
    const ExtractResult result = ExtractAll(archive, request, host);
    EXPECT_EQ(result.extracted, 2);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(host.asked, (std::vector<std::string>{"1.txt", "1.txt", "3.txt", "3.txt", "3.txt"}));
    EXPECT_EQ(ReadFileBytes(folder.Path("out/2.txt")), "two");
}

TEST(StubCore, ReadsTheSwitches) {
    const struct {
        std::vector<std::string> arguments;
        bool valid;
        bool unattended;
        const char* destination;
        const char* password;
        bool overwrite;
        const char* log;
    } cases[] = {
        {{}, true, false, "", "", false, ""},
        {{"/auto"}, true, true, "", "", false, ""},
        {{"/AUTO", "/D:C:\\x y", "/p:Pa ss", "/O", "/Log:C:\\l.txt"}, true, true, "C:\\x y", "Pa ss", true, "C:\\l.txt"},
        {{"/d:C:\\only"}, true, false, "C:\\only", "", false, ""},
        {{"/auto", "/x"}, false, true, "", "", false, ""},
        {{"/auto", "/d:"}, false, true, "", "", false, ""},
        {{"/auto", "file.txt"}, false, true, "", "", false, ""},
    };
    for (const auto& c : cases) {
        StubArguments parsed;
        ASSERT_EQ(ParseArguments(c.arguments, parsed), c.valid) << c.arguments.size();
        if (!c.valid) continue;
        EXPECT_EQ(parsed.unattended, c.unattended);
        EXPECT_EQ(parsed.destination, c.destination);
        EXPECT_EQ(parsed.password, c.password);
        EXPECT_EQ(parsed.overwrite, c.overwrite);
        EXPECT_EQ(parsed.logFile, c.log);
    }
}

TEST(StubCore, SplitsTheCommandLine) {
    const struct {
        const char* command;
        const char* file;
        const char* parameters;
    } cases[] = {
        {"\"<?>tzip.hlp\"", "C:\\dest\\tzip.hlp", ""},
        {"<?>setup.exe /q <?>", "C:\\dest\\setup.exe", "/q C:\\dest\\"},
        {"  \"<?>my file.txt\"  -a  ", "C:\\dest\\my file.txt", "-a  "},
        {"notepad.exe", "notepad.exe", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string file, parameters;
        SplitCommand(c.command, "C:\\dest", file, parameters);
        EXPECT_EQ(file, c.file) << c.command;
        EXPECT_EQ(parameters, c.parameters) << c.command;
    }
}
