// UnzDll.dll through its exports: peer archives byte for byte, passwords, CRC errors, hostile
// names, existing files, freshening, flat extraction, file times, and the order of its questions
// while workers decode ahead.
#include <gtest/gtest.h>

#include <algorithm>

#include "engines/common/ArchiveDirectory.h"
#include "tests/engines/EngineHarness.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TestFolder.h"

namespace {

using larktest::Engines;
using larktest::RecordingCallback;
using larktest::UnzipJob;

class UnzDll : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Engines::Get().Loaded()) << "ZipDll.dll and UnzDll.dll beside the test";
        peers = larktest::PeerArchives();
        if (peers.empty()) GTEST_SKIP() << "LARK_PEER_ARCHIVES is not set: the peer archives were not made";
        sources = larktest::ReadTree(peers + "\\src");
        ASSERT_EQ(sources.size(), 5u);
    }

    std::string Peer(const std::string& name) const { return peers + "\\" + name; }

    // A fresh destination folder inside the test folder, with trailing backslash.
    std::string Destination(const std::string& name) {
        platform::CreateDirectory(folder.Path(name));
        return folder.Path(name) + "\\";
    }

    std::map<std::string, std::string> Tree(const std::string& destination) const {
        return larktest::ReadTree(destination.substr(0, destination.size() - 1));
    }

    larktest::TestFolder folder;
    std::string peers;
    std::map<std::string, std::string> sources;
};

TEST_F(UnzDll, PeerArchivesExtractByteForByte) {
    const char* archives[] = {"info-stored.zip", "info-deflated.zip", "info-stream.zip", "info-encrypted.zip",
                              "info-encrypted-stream.zip", "py-stored.zip", "py-deflated.zip", "py-stream.zip",
                              "py-zip64.zip", "py-zip64-stream.zip", "info-zip64.zip", "garbage-locator.zip"};
    int n = 0;
    for (const char* name : archives) {
        SCOPED_TRACE(name);
        const std::string destination = Destination("out" + std::to_string(++n));
        RecordingCallback callback;
        EXPECT_EQ(Engines::Get().Unzip({Peer(name), destination, {}, "secret", 16}, callback), 5);
        EXPECT_TRUE(callback.Reasons().empty());
        EXPECT_TRUE(callback.Of(engine::kActionPassword).empty());
        EXPECT_EQ(Tree(destination), sources);
        uint32_t progress = 0;
        for (const larktest::Call& call : callback.Of(engine::kActionProgress)) progress += call.number;
        EXPECT_EQ(progress, callback.Of(engine::kActionBatchBytes).at(0).number);
    }
}

// Entries past the 16-bit count are found by name; a ZIP64 end record that
// contradicts the end record is refused before anything is written.
TEST_F(UnzDll, Zip64CountsAndContradictions) {
    RecordingCallback some;
    const std::string destination = Destination("many");
    EXPECT_EQ(Engines::Get().Unzip({Peer("many-70000.zip"), destination, {"f6999?"}}, some), 10);
    EXPECT_EQ(Tree(destination).at("f69999"), "69999");

    RecordingCallback refused;
    const std::string nothing = Destination("contradicting");
    EXPECT_EQ(Engines::Get().Unzip({Peer("contradicting.zip"), nothing}, refused), 0);
    std::string messages;
    for (const larktest::Call& call : refused.Of(engine::kActionMessage)) messages += call.text;
    EXPECT_NE(messages.find("ZIP64 end record contradicts its end record"), std::string::npos) << messages;
    EXPECT_TRUE(Tree(nothing).empty());
}

TEST_F(UnzDll, SevenZipAesArchivesExtractByteForByte) {
    for (const char* strength : {"aes128", "aes192", "aes256"}) {
        for (const char* method : {"stored", "deflated"}) {
            const std::string name = std::string("7z-") + strength + "-" + method + ".zip";
            SCOPED_TRACE(name);
            const std::string destination = Destination(name);
            RecordingCallback callback;
            EXPECT_EQ(Engines::Get().Unzip({Peer(name), destination, {}, "secret", 16}, callback), 5);
            EXPECT_TRUE(callback.Reasons().empty());
            EXPECT_TRUE(callback.Of(engine::kActionPassword).empty());
            EXPECT_EQ(Tree(destination), sources);
        }
    }
}

// A wrong password is asked again; data that fails its authentication code is never written, and
// is reported as damaged once no other password opens it.
TEST_F(UnzDll, AesRefusalsWriteNothing) {
    struct Case {
        const char* name;
        const char* archive;
        std::string password;
        std::deque<std::string> answers;
        size_t asked;
        int32_t extracted;
        uint32_t reason;
    };
    const Case cases[] = {
        {"wrong, then right", "7z-aes128-stored.zip", "wrong", {"secret"}, 1, 1, 0},
        {"wrong throughout", "7z-aes256-deflated.zip", "wrong", {"still wrong"}, 2, 0, engine::kSkipPassword},
        {"one flipped byte", "7z-aes-damaged.zip", "secret", {}, 1, 0, engine::kSkipCrcError},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string destination = Destination("aes" + std::to_string(++n));
        RecordingCallback callback;
        callback.passwords = c.answers;
        EXPECT_EQ(Engines::Get().Unzip({Peer(c.archive), destination, {"a.txt"}, c.password, 16}, callback),
                  c.extracted);
        EXPECT_EQ(callback.Of(engine::kActionPassword).size(), c.asked);
        EXPECT_TRUE(callback.Of(engine::kActionCrcError).empty()) << "no offer to keep unauthenticated data";
        if (c.extracted) {
            EXPECT_EQ(Tree(destination), (std::map<std::string, std::string>{{"a.txt", sources["a.txt"]}}));
        } else {
            EXPECT_EQ(callback.Reasons(), std::vector<uint32_t>{c.reason});
            EXPECT_TRUE(Tree(destination).empty());
        }
    }
}

// Testing decodes every entry as extraction does and writes nothing: sound entries are counted,
// the others reported each with its reason.
TEST_F(UnzDll, TestOnlyReportsEachEntryAndWritesNothing) {
    struct Case {
        const char* archive;
        std::string password;
        int32_t sound;
        std::vector<uint32_t> reasons;
    };
    const Case cases[] = {
        {"info-deflated.zip", "", 5, {}},
        {"7z-aes192-deflated.zip", "secret", 5, {}},
        {"7z-aes-damaged.zip", "secret", 4, {engine::kSkipCrcError}},
        {"corrupt.zip", "", 1, {engine::kSkipCrcError}},
        {"info-encrypted.zip", "wrong", 0, std::vector<uint32_t>(5, engine::kSkipPassword)},
        {"unsupported.zip", "", 1, {engine::kSkipUnsupported}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        const std::string destination = Destination(std::string("test-") + c.archive);
        RecordingCallback callback;
        larktest::UnzipJob job(Peer(c.archive), destination, {}, c.password, 16);
        job.testOnly = true;
        EXPECT_EQ(Engines::Get().Unzip(job, callback), c.sound);
        EXPECT_EQ(callback.Reasons(), c.reasons);
        EXPECT_TRUE(callback.Of(engine::kActionCrcError).empty());
        EXPECT_TRUE(Tree(destination).empty());
    }
}

TEST_F(UnzDll, PasswordIsAskedAgainUntilTheAttemptsRunOut) {
    struct Case {
        const char* name;
        std::deque<std::string> answers;
        std::vector<uint32_t> asked;  // attempts left at each request
        int32_t extracted;
    };
    const Case cases[] = {
        {"three wrong answers", {"one", "two", "three", "secret"}, {3, 2, 1}, 0},
        {"right at the second", {"wrong", "secret"}, {3, 2}, 1},
        {"no answer", {}, {3}, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string destination = Destination("pw" + std::to_string(++n));
        RecordingCallback callback;
        callback.passwords = c.answers;
        EXPECT_EQ(Engines::Get().Unzip({Peer("info-encrypted-stream.zip"), destination, {"a.txt"}, "", 16}, callback),
                  c.extracted);
        std::vector<uint32_t> asked;
        for (const larktest::Call& call : callback.Of(engine::kActionPassword)) {
            asked.push_back(call.number);
            EXPECT_EQ(call.text, "a.txt");
        }
        EXPECT_EQ(asked, c.asked);
        if (c.extracted) {
            EXPECT_EQ(Tree(destination), (std::map<std::string, std::string>{{"a.txt", sources["a.txt"]}}));
        } else {
            EXPECT_EQ(callback.Reasons(), std::vector<uint32_t>{engine::kSkipPassword});
            EXPECT_TRUE(Tree(destination).empty());
        }
    }
}

TEST_F(UnzDll, AcceptedPasswordServesTheFollowingEntries) {
    const std::string destination = Destination("out");
    RecordingCallback callback;
    callback.passwords = {"secret"};
    EXPECT_EQ(Engines::Get().Unzip({Peer("info-encrypted.zip"), destination, {}, "", 16}, callback), 5);
    EXPECT_EQ(callback.Of(engine::kActionPassword).size(), 1u);
    EXPECT_EQ(Tree(destination), sources);
}

TEST_F(UnzDll, CorruptedEntryBringsTheCrcQuestion) {
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "kept" : "dropped");
        const std::string destination = Destination(keep ? "kept" : "dropped");
        RecordingCallback callback;
        callback.keepCorrupt = {keep};
        EXPECT_EQ(Engines::Get().Unzip({Peer("corrupt.zip"), destination, {}, "", 16}, callback), keep ? 2 : 1);
        ASSERT_EQ(callback.Of(engine::kActionCrcError).size(), 1u);
        EXPECT_EQ(callback.Of(engine::kActionCrcError)[0].text, "broken.txt");
        const std::map<std::string, std::string> tree = Tree(destination);
        EXPECT_EQ(tree.count("broken.txt"), keep ? 1u : 0u);
        EXPECT_EQ(tree.at("fine.txt"), "fine");
        EXPECT_EQ(tree.size(), keep ? 2u : 1u) << "no temporary file is left";
        if (!keep) {
            EXPECT_EQ(callback.Reasons(), std::vector<uint32_t>{engine::kSkipCrcError});
        }
    }
}

TEST_F(UnzDll, HostileNamesNeverLeaveTheDestination) {
    for (const uint8_t options : {uint8_t(16), uint8_t(0)}) {
        SCOPED_TRACE(options);
        larktest::TestFolder outer;
        platform::CreateDirectory(outer.Path("dest"));
        const std::string destination = outer.Path("dest") + "\\";
        RecordingCallback callback;
        EXPECT_EQ(Engines::Get().Unzip({Peer("hostile.zip"), destination, {}, "", options}, callback), 1);
        EXPECT_EQ(larktest::ReadTree(outer.Path()),
                  (std::map<std::string, std::string>{{"dest/good.txt", "hostile good.txt"}}));
        const std::vector<uint32_t> reasons = callback.Reasons();
        EXPECT_EQ(reasons.size(), 14u);
        for (uint32_t reason : reasons) EXPECT_EQ(reason, engine::kSkipUnsafeName);
    }
}

TEST_F(UnzDll, ExistingFilesFollowTheOverwriteWords) {
    struct Case {
        const char* name;
        uint8_t options;
        int existingYear;  // the peer entries are from 2020
        std::deque<bool> answers;
        size_t questions;
        uint32_t olderFlag;
        bool overwritten;
    };
    const Case cases[] = {
        {"asked, older, yes", 17, 2001, {true}, 1, 1, true},
        {"asked, newer, no", 17, 2030, {false}, 1, 0, false},
        {"asked through the second word", 18, 2001, {true}, 1, 1, true},
        {"overwrite without asking", 16, 2030, {}, 0, 0, true},
        {"freshen: older is replaced", 4 | 16, 2001, {}, 0, 0, true},
        {"freshen: newer stays", 4 | 16, 2030, {}, 0, 0, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string destination = Destination("ow" + std::to_string(++n));
        larktest::WriteFile(destination + "README", "old bytes");
        ASSERT_TRUE(platform::SetFileModified(destination + "README", {c.existingYear, 6, 1, 12, 0, 0}));
        RecordingCallback callback;
        callback.overwrite = c.answers;
        const int32_t count =
            Engines::Get().Unzip({Peer("py-deflated.zip"), destination, {"README", "a.txt"}, "", c.options}, callback);
        const std::vector<larktest::Call> asked = callback.Of(engine::kActionOverwrite);
        ASSERT_EQ(asked.size(), c.questions);
        if (c.questions) {
            EXPECT_EQ(asked[0].flag, c.olderFlag);
        }
        EXPECT_EQ(larktest::ReadFile(destination + "README"), c.overwritten ? sources["README"] : "old bytes");
        const bool freshen = (c.options & 4) != 0;
        EXPECT_EQ(platform::FileExists(destination + "a.txt"), !freshen) << "freshening adds no new files";
        EXPECT_EQ(count, (c.overwritten ? 1 : 0) + (freshen ? 0 : 1));
    }
}

// The entries are read back from the directory a few thousand at a time: a name written in one
// batch still keeps a later batch's entry from replacing its file.
TEST(UnzDllBatches, ChecksHoldAcrossBatchesOfTheDirectory) {
    ASSERT_TRUE(Engines::Get().Loaded()) << "ZipDll.dll and UnzDll.dll beside the test";
    larktest::TestFolder folder;
    larktest::ArchiveBuilder builder;
    for (int i = 0; i < 4200; ++i) builder.Add("f" + std::to_string(i), std::to_string(i));
    builder.Add("F1", "again");
    const std::string archive = folder.Write("many.zip", builder.Bytes());
    platform::CreateDirectory(folder.Path("out"));
    RecordingCallback callback;
    EXPECT_EQ(Engines::Get().Unzip({archive, folder.Path("out") + "\\", {}, "", 17}, callback), 4200);
    EXPECT_EQ(callback.Reasons(), std::vector<uint32_t>{engine::kSkipWriteError});
    const std::map<std::string, std::string> tree = larktest::ReadTree(folder.Path("out"));
    EXPECT_EQ(tree.size(), 4200u);
    for (const int i : {1, 4095, 4096, 4199}) EXPECT_EQ(tree.at("f" + std::to_string(i)), std::to_string(i));
}

TEST_F(UnzDll, SpecsSelectByStoredNameAndFlatExtractionDropsFolders) {
    const std::string destination = Destination("flat");
    RecordingCallback callback;
    EXPECT_EQ(Engines::Get().Unzip({Peer("info-deflated.zip"), destination, {"SUB\\DEEPER\\C.TXT", "sub/*.bin", "nope"},
                                    "", 1},
                                   callback),
              2);
    EXPECT_EQ(Tree(destination), (std::map<std::string, std::string>{{"c.txt", sources["sub/deeper/c.txt"]},
                                                                      {"b.bin", sources["sub/b.bin"]}}));
    std::vector<std::string> begun;
    for (const larktest::Call& call : callback.Of(engine::kActionBeginFile)) begun.push_back(call.text);
    std::sort(begun.begin(), begun.end());
    EXPECT_EQ(begun, (std::vector<std::string>{"sub\\b.bin", "sub\\deeper\\c.txt"})) << "names as the list shows them";
    ASSERT_EQ(callback.Of(engine::kActionSkipped).size(), 1u);
    EXPECT_EQ(callback.Of(engine::kActionSkipped)[0].text, "nope");
    EXPECT_EQ(callback.Of(engine::kActionSkipped)[0].number, engine::kSkipNotMatched);
}

TEST_F(UnzDll, Utf8NamesAreSelectedAndWrittenAsTheListShowsThem) {
    const std::string destination = Destination("utf8");
    const std::string listed = "Caf\xC3\xA9\\\xC3\x91" "and\xC3\xBA.txt";  // as the archive component lists it
    RecordingCallback callback;
    UnzipJob job{Peer("utf8.zip"), destination, {listed}, "", 17};
    job.extensions = engine::ExtensionWord(engine::kExtUtf8);
    EXPECT_EQ(Engines::Get().Unzip(job, callback), 1);
    EXPECT_TRUE(callback.Reasons().empty());
    EXPECT_TRUE(platform::FileExists(destination + listed));
}

TEST_F(UnzDll, UnsupportedMethodsAreSkippedAndReported) {
    const std::string destination = Destination("out");
    RecordingCallback callback;
    EXPECT_EQ(Engines::Get().Unzip({Peer("unsupported.zip"), destination, {}, "", 16}, callback), 1);
    EXPECT_EQ(callback.Reasons(), std::vector<uint32_t>{engine::kSkipUnsupported});
    EXPECT_EQ(Tree(destination), (std::map<std::string, std::string>{{"plain.txt", "plain"}}));
}

TEST_F(UnzDll, FileTimesComeFromTheEntries) {
    const std::string destination = Destination("out");
    RecordingCallback callback;
    ASSERT_EQ(Engines::Get().Unzip({Peer("py-stored.zip"), destination, {"a.txt"}, "", 16}, callback), 1);
    platform::FileDetails details;
    ASSERT_TRUE(platform::GetFileDetails(destination + "a.txt", details));
    const platform::LocalTime& t = details.modified;
    EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second}),
              std::vector<int>({2020, 5, 17, 10, 30, 42}));
}

TEST_F(UnzDll, CancelStopsAtOnce) {
    const std::string destination = Destination("out");
    RecordingCallback callback;
    callback.cancelOnAction = engine::kActionBeginFile;
    callback.cancelOnOccurrence = 2;
    EXPECT_EQ(Engines::Get().Unzip({Peer("py-deflated.zip"), destination, {}, "", 16}, callback), 1);
    EXPECT_EQ(callback.calls.back().action, engine::kActionBeginFile) << "no call after the cancel";
    EXPECT_EQ(Tree(destination).size(), 1u);
}

// Workers decode entries ahead while the calling thread writes: the questions must still come one
// entry at a time in the archive's order, and a Cancel must leave no temporary or half-made file.
class ReadaheadOrder : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Engines::Get().Loaded()) << "ZipDll.dll and UnzDll.dll beside the test";
        archive = folder.Path("mix.zip");
        larktest::ArchiveBuilder stored;
        for (int i = 0; i < 40; ++i) Keep(stored, "s" + std::to_string(i) + ".txt", std::string(50 + i, 'a' + i % 26));
        Keep(stored, "exists.txt", "new bytes");
        Keep(stored, "broken.txt", "damaged in the archive");
        larktest::BuiltArchive built = stored.Build();
        built.bytes[built.layout.localHeaders[41] + 30 + std::string("broken.txt").size()] ^= 0x20;
        files.erase("broken.txt");
        larktest::WriteFileBytes(archive, built.bytes);
        Add({"a1.txt", "a2.txt"}, "alpha");
        Add({"b1.txt"}, "beta");
        std::vector<std::string> after = {"large.bin"};  // more than a worker may hold at once
        for (int i = 0; i < 20; ++i) after.push_back("t" + std::to_string(i) + ".txt");
        Add(after, "");
    }

    void Keep(larktest::ArchiveBuilder& builder, const std::string& name, const std::string& data) {
        builder.Add(name, data);
        files[name] = data;
    }

    void Add(const std::vector<std::string>& names, const std::string& password) {
        std::string words;
        for (uint32_t x = 1; words.size() < 50000; x = x * 1103515245 + 12345) words += " w" + std::to_string(x % 97);
        for (const std::string& name : names) {
            std::string data = name;
            const size_t size = name == "large.bin" ? 3 << 20 : 300;
            while (data.size() < size) data += std::to_string(data.size()) + words;
            files[name] = data.substr(0, size);
            folder.Write("src/" + name, files[name]);
        }
        RecordingCallback callback;
        larktest::ZipJob job{archive, names, folder.Path("src") + "\\"};
        job.password = password;
        job.level = 1;
        ASSERT_EQ(Engines::Get().Zip(job, callback), static_cast<int32_t>(names.size()));
    }

    std::vector<std::string> EntryNames() const {
        platform::FileStream stream(archive, platform::Access::Read);
        engines::Directory directory;
        std::string error;
        EXPECT_TRUE(engines::ReadDirectory(stream, directory, error)) << error;
        std::vector<std::string> names;
        for (const engines::Entry& entry : directory.entries) names.emplace_back(entry.Name());
        return names;
    }

    // A run over a fresh destination with an older "exists.txt" in it: overwrite it, drop the
    // damaged entry, answer "alpha" and then "beta".
    std::string Run(RecordingCallback& callback, int32_t& extracted) {
        const std::string destination = folder.Path("out" + std::to_string(++runs)) + "\\";
        platform::CreateDirectory(destination.substr(0, destination.size() - 1));
        larktest::WriteFile(destination + "exists.txt", "old bytes");
        platform::SetFileModified(destination + "exists.txt", {2001, 1, 1, 0, 0, 0});
        callback.overwrite = {true};
        callback.keepCorrupt = {false};
        callback.passwords = {"alpha", "beta"};
        extracted = Engines::Get().Unzip({archive, destination, {}, "", 17}, callback);
        return destination;
    }

    static std::vector<std::string> Conversation(const RecordingCallback& callback) {
        std::vector<std::string> said;
        for (const larktest::Call& call : callback.calls) {
            if (call.action == engine::kActionBeginFile || call.action == engine::kActionOverwrite ||
                call.action == engine::kActionPassword || call.action == engine::kActionCrcError ||
                call.action == engine::kActionSkipped) {
                said.push_back(std::to_string(call.action) + " " + call.text);
            }
        }
        return said;
    }

    larktest::TestFolder folder;
    std::string archive;
    std::map<std::string, std::string> files;  // every entry's data, but the damaged one's
    int runs = 0;
};

TEST_F(ReadaheadOrder, QuestionsComeInEntryOrderWithTheirNames) {
    std::vector<std::string> expected;
    for (const std::string& name : EntryNames()) {
        expected.push_back("1 " + name);
        if (name == "exists.txt") expected.push_back("10 exists.txt");
        if (name == "broken.txt") expected.insert(expected.end(), {"9 broken.txt", "11 broken.txt"});
        if (name == "a1.txt" || name == "b1.txt") expected.push_back("8 " + name);
    }
    RecordingCallback callback;
    int32_t extracted = 0;
    const std::string destination = Run(callback, extracted);
    EXPECT_EQ(Conversation(callback), expected);
    EXPECT_EQ(extracted, static_cast<int32_t>(files.size()));
    EXPECT_EQ(larktest::ReadTree(destination.substr(0, destination.size() - 1)), files);
}

TEST_F(ReadaheadOrder, CancelLeavesOnlyWholeFiles) {
    RecordingCallback full;
    int32_t extracted = 0;
    Run(full, extracted);
    // Progress reports up to the third piece of the large file, and the question for "beta".
    size_t progressBeforeLarge = 0;
    for (const larktest::Call& call : full.calls) {
        if (call.action == engine::kActionBeginFile && call.text == "large.bin") break;
        progressBeforeLarge += call.action == engine::kActionProgress;
    }
    struct Case {
        uint32_t action;
        int occurrence;
        const char* firstNotWritten;
    };
    for (const Case& c : {Case{engine::kActionProgress, static_cast<int>(progressBeforeLarge) + 3, "large.bin"},
                          Case{engine::kActionPassword, 2, "b1.txt"}}) {
        SCOPED_TRACE(c.firstNotWritten);
        RecordingCallback callback;
        callback.cancelOnAction = c.action;
        callback.cancelOnOccurrence = c.occurrence;
        const std::string destination = Run(callback, extracted);
        std::map<std::string, std::string> expected;
        for (const std::string& name : EntryNames()) {
            if (name == c.firstNotWritten) break;
            if (files.count(name)) expected[name] = files[name];
        }
        EXPECT_EQ(extracted, static_cast<int32_t>(expected.size()));
        EXPECT_EQ(larktest::ReadTree(destination.substr(0, destination.size() - 1)), expected)
            << "nothing after the cancel, no temporary file";
    }
}

}  // namespace
