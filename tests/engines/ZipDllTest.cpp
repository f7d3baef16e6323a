// ZipDll.dll through its exports: adding, replacing, deleting, encryption, comments, progress,
// unmatched specs and Cancel, judged by UnzDll, by the records and (afterwards) by peer tools.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "engines/common/Codec.h"
#include "engines/common/ArchiveDirectory.h"
#include "platform/Text.h"
#include "zipformat/EndRecord.h"
#include "tests/engines/EngineHarness.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TestFolder.h"

namespace {

using engine::kActionBatchBytes;
using engine::kActionBatchFiles;
using engine::kActionBeginFile;
using engine::kActionEndBatch;
using engine::kActionProgress;
using larktest::Engines;
using larktest::RecordingCallback;
using larktest::UnzipJob;
using larktest::ZipJob;

engines::Directory Inspect(const std::string& archive) {
    platform::FileStream stream(archive, platform::Access::Read);
    engines::Directory directory;
    std::string error;
    EXPECT_TRUE(engines::ReadDirectory(stream, directory, error)) << error;
    return directory;
}

// An entry's bytes from its local header up to the next entry's, or to the directory.
std::string RawRecord(const std::string& bytes, const engines::Directory& directory, size_t i) {
    zip::MemorySource source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const size_t at = static_cast<size_t>(directory.entries[i].localOffset);
    const size_t end = static_cast<size_t>(i + 1 < directory.entries.size()
                                               ? directory.entries[i + 1].localOffset
                                               : zip::FindEndOfArchive(source).DirectoryStart());
    return bytes.substr(at, end - at);
}

std::vector<std::string> Names(const engines::Directory& directory) {
    std::vector<std::string> names;
    for (const engines::Entry& entry : directory.entries) names.emplace_back(entry.Name());
    return names;
}

std::string Incompressible(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 23);
    }
    return bytes;
}

class ZipDll : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Engines::Get().Loaded()) << "ZipDll.dll and UnzDll.dll beside the test"; }

    // The source tree most tests add from.
    std::map<std::string, std::string> MakeSources() {
        std::map<std::string, std::string> files = {
            {"a.txt", std::string(20000, 'a') + "end"},
            {"b.bin", Incompressible(40000)},
            {"empty.txt", ""},
            {"README", "no dot in this name\n"},
            {"sub/c.txt", "in a folder\r\n"},
            {"sub/deeper/d.log", std::string(5000, 'd')},
        };
        for (const auto& [name, bytes] : files) folder.Write("src/" + name, bytes);
        return files;
    }

    std::string NewArchive(const std::string& name = "a.zip") { return folder.Write(name, larktest::EmptyArchive()); }

    // Extracts everything with UnzDll into a fresh folder and returns what it wrote.
    std::map<std::string, std::string> ExtractAll(const std::string& archive, const std::string& password = "") {
        const std::string destination = folder.Path("out" + std::to_string(++extractions));
        platform::CreateDirectory(destination);
        RecordingCallback callback;
        UnzipJob job{archive, destination + "\\", {}, password, 16};
        Engines::Get().Unzip(job, callback);
        EXPECT_TRUE(callback.Reasons().empty());
        return larktest::ReadTree(destination);
    }

    larktest::TestFolder folder;
    int extractions = 0;
};

TEST_F(ZipDll, ExportsAreFoundByPlainNameWithAnAcceptedVersion) {
    EXPECT_GE(Engines::Get().ZipVersion(), engine::kMinEngineVersion);
    EXPECT_GE(Engines::Get().UnzVersion(), engine::kMinEngineVersion);
}

TEST_F(ZipDll, ChosenFilesAreAddedByNameOnlyAndReportProgress) {
    std::map<std::string, std::string> files = MakeSources();
    const std::string archive = NewArchive();
    RecordingCallback callback;
    const std::vector<std::string> specs = {folder.Path("src/a.txt"), folder.Path("src/b.bin"),
                                            folder.Path("src/empty.txt"), folder.Path("src/sub/c.txt")};
    ZipJob job{archive, specs};
    job.trace = true;
    ASSERT_EQ(Engines::Get().Zip(job, callback), 4);
    EXPECT_EQ(callback.Of(engine::kActionMessage).size(), 4u) << "one trace line per file";

    const engines::Directory directory = Inspect(archive);
    EXPECT_EQ(Names(directory), (std::vector<std::string>{"a.txt", "b.bin", "empty.txt", "c.txt"}));
    for (const engines::Entry& entry : directory.entries) {
        EXPECT_EQ(entry.header.SpecVersion(), 20) << entry.Name();
        EXPECT_EQ(entry.header.HostSystem(), 0) << entry.Name();
        EXPECT_EQ(entry.header.U32(engines::CentralFileHeader::kExternalAttributes) & 0x10, 0u) << entry.Name();
    }
    EXPECT_EQ(directory.entries[0].Method(), engines::kMethodDeflated);
    EXPECT_EQ(directory.entries[1].Method(), engines::kMethodStored) << "deflate did not shrink it";
    EXPECT_EQ(directory.entries[1].CompressedSize(), 40000u);

    const std::vector<larktest::Call> begins = callback.Of(kActionBeginFile);
    ASSERT_EQ(begins.size(), 4u);
    EXPECT_EQ(begins[0].text, "a.txt");
    EXPECT_EQ(begins[0].number, 20003u);
    ASSERT_FALSE(callback.calls.empty());
    EXPECT_EQ(callback.calls.front().action, kActionBatchFiles);
    EXPECT_EQ(callback.calls.front().number, 4u);
    EXPECT_EQ(callback.Of(kActionBatchBytes).at(0).number, 20003u + 40000u + 13u);
    uint32_t progress = 0;
    for (const larktest::Call& call : callback.Of(kActionProgress)) progress += call.number;
    EXPECT_EQ(progress, 20003u + 40000u + 13u);
    EXPECT_EQ(callback.calls.back().action, kActionEndBatch);

    const std::map<std::string, std::string> expected = {
        {"a.txt", files["a.txt"]}, {"b.bin", files["b.bin"]}, {"empty.txt", ""}, {"c.txt", files["sub/c.txt"]}};
    EXPECT_EQ(ExtractAll(archive), expected);
    larktest::ExportForPeers(archive, "chosen-files", expected);
}

TEST_F(ZipDll, FolderTreeKeepsNamesBelowTheRootAndTheComment) {
    const std::map<std::string, std::string> files = MakeSources();
    platform::CreateDirectory(folder.Path("src\\sub\\hollow"));
    const std::string archive = NewArchive();
    RecordingCallback callback;
    ZipJob job{archive, {"*.*"}, folder.Path("src") + "\\", 20};
    job.comment = "archive comment";
    ASSERT_EQ(Engines::Get().Zip(job, callback), static_cast<int32_t>(files.size() + 3)) << "files and folders";
    const engines::Directory directory = Inspect(archive);
    EXPECT_EQ(directory.comment, "archive comment");
    std::vector<std::string> names = Names(directory);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"README", "a.txt", "b.bin", "empty.txt", "sub/", "sub/c.txt",
                                               "sub/deeper/", "sub/deeper/d.log", "sub/hollow/"}));
    for (const engines::Entry& entry : directory.entries) {
        if (entry.Name().back() != '/') continue;
        SCOPED_TRACE(entry.Name());
        EXPECT_EQ(entry.Size(), 0u);
        EXPECT_EQ(entry.header.U32(zip::CentralFileHeader::kCompressedSize), 0u);
        EXPECT_EQ(entry.header.U32(zip::CentralFileHeader::kExternalAttributes) & 0x10, 0x10u);
    }
    EXPECT_EQ(ExtractAll(archive), files);
    EXPECT_TRUE(platform::DirectoryExists(folder.Path("out" + std::to_string(extractions) + "\\sub\\hollow")))
        << "the empty folder comes back";
    larktest::ExportForPeers(archive, "folder-tree", files);

    RecordingCallback pattern;
    const std::string logs = NewArchive("logs.zip");
    job = ZipJob{logs, {"*.log", "*.none"}, folder.Path("src") + "\\", 20};
    ASSERT_EQ(Engines::Get().Zip(job, pattern), 1);
    EXPECT_EQ(Names(Inspect(logs)), std::vector<std::string>{"sub/deeper/d.log"});
    ASSERT_EQ(pattern.Of(engine::kActionSkipped).size(), 1u) << "a pattern that matches nothing is reported";
    EXPECT_EQ(pattern.Of(engine::kActionSkipped)[0].number, engine::kSkipNotMatched);
    EXPECT_EQ(pattern.Of(engine::kActionSkipped)[0].text, "*.none");

    // Without recursion, or with the word that asks for no folder entries, there are none.
    struct Case {
        uint8_t options;
        bool noFolderEntries;
        int32_t added;
    };
    for (const Case& c : {Case{16 | 8, false, 4}, Case{20, true, 6}, Case{4, false, 6}}) {
        SCOPED_TRACE(int(c.options));
        const std::string plain = NewArchive("plain" + std::to_string(c.options) + ".zip");
        RecordingCallback quiet;
        ZipJob flat{plain, {"*.*"}, folder.Path("src") + "\\", c.options};
        flat.noFolderEntries = c.noFolderEntries;
        ASSERT_EQ(Engines::Get().Zip(flat, quiet), c.added);
        for (const std::string& name : Names(Inspect(plain))) EXPECT_NE(name.back(), '/') << name;
    }
}

TEST_F(ZipDll, EncryptedEntriesNeedThePassword) {
    const std::map<std::string, std::string> files = MakeSources();
    const std::string archive = NewArchive();
    RecordingCallback callback;
    ZipJob job{archive, {"*.*"}, folder.Path("src") + "\\", 20};
    job.password = "pw";
    ASSERT_EQ(Engines::Get().Zip(job, callback), static_cast<int32_t>(files.size() + 2));
    for (const engines::Entry& entry : Inspect(archive).entries)
        EXPECT_EQ(entry.IsEncrypted(), entry.Name().back() != '/') << entry.Name() << ": folders hold nothing to hide";
    EXPECT_EQ(ExtractAll(archive, "pw"), files);
    larktest::ExportForPeers(archive, "encrypted-pw-tree", files);

    RecordingCallback wrong;
    const std::string destination = folder.Path("wrong");
    platform::CreateDirectory(destination);
    EXPECT_EQ(Engines::Get().Unzip({archive, destination + "\\", {"a.txt"}, "not it", 16}, wrong), 0);
    EXPECT_EQ(wrong.Reasons(), std::vector<uint32_t>{engine::kSkipPassword});
    EXPECT_TRUE(larktest::ReadTree(destination).empty());
}

// AES-256 on both ways of writing (small files packed by workers, large ones streamed, data that
// does not shrink stored): AE-2 without a CRC from 20 bytes, AE-1 below; 7-Zip judges them too.
TEST_F(ZipDll, AesEntriesReadBackAndFollowTheSizeRule) {
    const std::map<std::string, std::string> files = {
        {"empty.txt", ""},
        {"tiny.txt", std::string(19, 't')},
        {"edge.txt", std::string(20, 'e')},
        {"noise.bin", Incompressible(3000)},
        {"big.txt", std::string(5 << 20, 'b') + Incompressible(1000)},
    };
    std::vector<std::string> specs;
    for (const auto& [name, bytes] : files) specs.push_back(folder.Write("src/" + name, bytes));
    const std::string archive = NewArchive();
    RecordingCallback callback;
    ZipJob job{archive, specs};
    job.password = "pw";
    job.strongEncryption = true;
    ASSERT_EQ(Engines::Get().Zip(job, callback), 5);
    for (const engines::Entry& entry : Inspect(archive).entries) {
        SCOPED_TRACE(entry.Name());
        ASSERT_TRUE(entry.IsAes() && entry.IsEncrypted());
        const bool ae2 = entry.Size() >= 20;
        EXPECT_EQ(entry.AesBlock().VendorVersion(), ae2 ? 2 : 1);
        EXPECT_EQ(entry.AesBlock().Strength(), 3);
        if (ae2) {
            EXPECT_EQ(entry.Crc(), 0u);
        }
    }
    EXPECT_EQ(ExtractAll(archive, "pw"), files);
    larktest::ExportForPeers(archive, "aes-pw-files", files);
}

// Large files are streamed while the small ones around them are compressed on worker threads;
// the archive keeps the order and every byte either way.
TEST_F(ZipDll, LargeAndSmallFilesMixKeepTheirOrder) {
    std::map<std::string, std::string> files;
    std::vector<std::string> specs;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::to_string(10 + i) + (i % 4 == 1 ? ".big" : ".txt");
        std::string bytes = i % 4 == 1 ? std::string(5 << 20, static_cast<char>('a' + i)) + Incompressible(1000)
                                       : Incompressible(100 + i * 700) + std::string(3000, 'z');
        specs.push_back(folder.Write("src/" + name, bytes));
        files[name] = std::move(bytes);
    }
    for (const bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted ? "encrypted" : "plain");
        const std::string archive = NewArchive(encrypted ? "e.zip" : "p.zip");
        RecordingCallback callback;
        ZipJob job{archive, specs};
        if (encrypted) job.password = "pw";
        ASSERT_EQ(Engines::Get().Zip(job, callback), 12);
        std::vector<std::string> names = Names(Inspect(archive));
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << "in the order of the specs";
        EXPECT_EQ(ExtractAll(archive, job.password), files);
        larktest::ExportForPeers(archive, encrypted ? "large-pw-files" : "large-files", files);
        uint32_t progress = 0;
        for (const larktest::Call& call : callback.Of(kActionProgress)) progress += call.number;
        EXPECT_EQ(progress, callback.Of(kActionBatchBytes).at(0).number);
    }
}

// One wrong password in 256 passes the check byte; it must still be taken as wrong, not end in a
// CRC question about a file that is not damaged.
TEST_F(ZipDll, WrongPasswordThatPassesTheCheckByteIsStillWrong) {
    MakeSources();
    const std::string archive = NewArchive();
    RecordingCallback add;
    ZipJob job{archive, {folder.Path("src/a.txt")}};
    job.password = "pw";
    ASSERT_EQ(Engines::Get().Zip(job, add), 1);
    const engines::Directory inspected = Inspect(archive);
    const engines::Entry& entry = inspected.entries.at(0);
    ASSERT_EQ(entry.Method(), engines::kMethodDeflated);
    std::string header(engines::ZipCipher::kHeaderSize, '\0');
    {
        platform::FileStream stream(archive, platform::Access::Read);
        const int64_t dataAt = engines::DataStart(stream, entry);
        ASSERT_EQ(stream.Seek(dataAt, platform::Origin::Begin), dataAt);
        ASSERT_EQ(stream.Read(header.data(), static_cast<int32_t>(header.size())), static_cast<int32_t>(header.size()));
    }
    std::string impostor;
    for (int i = 0; i < 100000 && impostor.empty(); ++i) {
        const std::string candidate = "guess" + std::to_string(i);
        const auto* bytes = reinterpret_cast<const uint8_t*>(header.data());
        if (engines::ZipCipher(candidate).CheckHeader(bytes, engines::CheckByte(0, entry.Crc(), 0)))
            impostor = candidate;
    }
    ASSERT_FALSE(impostor.empty());
    const std::string destination = folder.Path("impostor");
    platform::CreateDirectory(destination);
    RecordingCallback callback;
    EXPECT_EQ(Engines::Get().Unzip({archive, destination + "\\", {}, impostor, 16}, callback), 0);
    EXPECT_TRUE(callback.Of(engine::kActionCrcError).empty());
    EXPECT_EQ(callback.Reasons(), std::vector<uint32_t>{engine::kSkipPassword});
}

TEST_F(ZipDll, LevelZeroStoresIntoAnArchiveNotYetMade) {
    MakeSources();
    const std::string archive = folder.Path("not-yet.zip");
    RecordingCallback callback;
    ZipJob job{archive, {folder.Path("src/a.txt")}};
    job.level = 0;
    ASSERT_EQ(Engines::Get().Zip(job, callback), 1);
    EXPECT_EQ(Inspect(archive).entries.at(0).Method(), engines::kMethodStored);
    EXPECT_EQ(Inspect(archive).entries.at(0).CompressedSize(), 20003u);
}

TEST_F(ZipDll, AddingReplacesTheEntryOfTheSameNameAndKeepsTheOthersRaw) {
    MakeSources();
    const std::string archive = NewArchive();
    RecordingCallback first;
    ZipJob job{archive, {folder.Path("src/a.txt"), folder.Path("src/README")}};
    job.comment = "kept";
    ASSERT_EQ(Engines::Get().Zip(job, first), 2);
    const engines::Directory inspected = Inspect(archive);
    const engines::Entry& readme = inspected.entries.at(1);

    // The same name in other letters is the same entry, as on Windows.
    ASSERT_TRUE(platform::DeleteFile(folder.Path("src/a.txt")));
    folder.Write("src/A.TXT", "second version");
    RecordingCallback second;
    job.specs = {folder.Path("src/a.txt")};
    ASSERT_EQ(Engines::Get().Zip(job, second), 1);
    const engines::Directory directory = Inspect(archive);
    ASSERT_EQ(Names(directory), (std::vector<std::string>{"README", "A.TXT"}));
    EXPECT_EQ(directory.entries[0].header.U32(engines::CentralFileHeader::kCrc32), readme.Crc());
    EXPECT_EQ(directory.comment, "kept");
    EXPECT_EQ(ExtractAll(archive), (std::map<std::string, std::string>{{"A.TXT", "second version"},
                                                                        {"README", "no dot in this name\n"}}));
}

// Freshening replaces only entries whose files are newer; updating also adds new files.
TEST_F(ZipDll, FreshenAndUpdateCompareTimes) {
    struct Case {
        const char* name;
        uint8_t options;
        int32_t added;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"freshen", 1, 1, {"README", "a.txt"}},
        {"update", 64 | 2, 2, {"README", "a.txt", "c.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string a = folder.Write("src/a.txt", "first");
        const std::string readme = folder.Write("src/README", "first");
        const std::string archive = NewArchive(std::string(c.name) + ".zip");
        // Entries of different times: each file is held to its own entry's.
        ASSERT_TRUE(platform::SetFileModified(a, {2020, 1, 1, 12, 0, 0}));
        ASSERT_TRUE(platform::SetFileModified(readme, {2025, 1, 1, 12, 0, 0}));
        RecordingCallback setup;
        ASSERT_EQ(Engines::Get().Zip({archive, {a, readme}}, setup), 2);

        folder.Write("src/a.txt", "newer");
        folder.Write("src/README", "older");
        const std::string added = folder.Write("src/c.txt", "new");
        ASSERT_TRUE(platform::SetFileModified(a, {2030, 1, 1, 12, 0, 0}));
        ASSERT_TRUE(platform::SetFileModified(readme, {2021, 1, 1, 12, 0, 0}));  // newer than a.txt's entry only
        RecordingCallback callback;
        EXPECT_EQ(Engines::Get().Zip({archive, {a, readme, added}, "", c.options}, callback), c.added);
        std::vector<std::string> names = Names(Inspect(archive));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.names);
        const std::map<std::string, std::string> tree = ExtractAll(archive);
        EXPECT_EQ(tree.at("a.txt"), "newer");
        EXPECT_EQ(tree.at("README"), "first");
        for (uint32_t reason : callback.Reasons()) EXPECT_EQ(reason, engine::kSkipNotNewer);
        EXPECT_EQ(callback.Reasons().size(), 3u - static_cast<size_t>(c.added));
    }
}

// Entries written by other tools keep their extra fields, comments and data descriptors (Info-ZIP's
// from a pipe have 8-byte sizes in theirs): each record is copied whole, byte for byte.
TEST_F(ZipDll, PeerEntriesAreCopiedRaw) {
    const std::string peers = larktest::PeerArchives();
    if (peers.empty()) GTEST_SKIP() << "LARK_PEER_ARCHIVES is not set: no peer archives to add to";
    for (const char* name : {"py-stream.zip", "info-deflated.zip", "info-encrypted-stream.zip", "info-pipe.zip"}) {
        SCOPED_TRACE(name);
        const std::string archive = folder.Path(name);
        ASSERT_TRUE(platform::CopyFile(peers + "\\" + name, archive, false));
        const engines::Directory before = Inspect(archive);
        folder.Write("new.txt", "added later");
        RecordingCallback callback;
        ZipJob job{archive, {folder.Path("new.txt")}};
        job.comment = before.comment;
        ASSERT_EQ(Engines::Get().Zip(job, callback), 1);
        const engines::Directory after = Inspect(archive);
        ASSERT_EQ(after.entries.size(), before.entries.size() + 1);
        for (size_t i = 0; i < before.entries.size(); ++i) {
            const engines::Entry& old = before.entries[i];
            const engines::Entry& now = after.entries[i];
            EXPECT_EQ(now.Name(), old.Name());
            EXPECT_EQ(now.Extra(), old.Extra());
            EXPECT_EQ(now.Comment(), old.Comment());
            EXPECT_EQ(now.Flags(), old.Flags());
            EXPECT_EQ(now.Crc(), old.Crc());
        }
        EXPECT_EQ(after.comment, before.comment);
        // Up to the next entry, or to the directory.
        const std::string was = larktest::ReadFileBytes(peers + "\\" + name);
        const std::string is = larktest::ReadFileBytes(archive);
        for (size_t i = 0; i < before.entries.size(); ++i) EXPECT_EQ(RawRecord(is, after, i), RawRecord(was, before, i));
        const bool piped = std::string(name) == "info-pipe.zip";
        std::map<std::string, std::string> expected =
            piped ? std::map<std::string, std::string>{{"-", "from a pipe\n"}} : larktest::ReadTree(peers + "\\src");
        expected["new.txt"] = "added later";
        const bool encrypted = std::string(name).find("encrypted") != std::string::npos;
        EXPECT_EQ(ExtractAll(archive, encrypted ? "secret" : ""), expected);
        if (!encrypted)
            larktest::ExportForPeers(archive, "added-to-" + std::string(name).substr(0, std::string(name).size() - 4),
                                     expected);
    }
}

// ZIP64 records and extra fields whose values fit the 32-bit fields: a delete writes an ordinary
// archive (no ZIP64 end records, no ZIP64 block in the directory), and streamed entries with 8-byte
// descriptor sizes are copied whole.
TEST_F(ZipDll, DeletingFromZip64ArchivesWritesOrdinaryOnes) {
    const std::string peers = larktest::PeerArchives();
    if (peers.empty()) GTEST_SKIP() << "LARK_PEER_ARCHIVES is not set: no peer archives to delete from";
    const std::map<std::string, std::string> sources = larktest::ReadTree(peers + "\\src");
    const std::pair<const char*, const char*> cases[] = {
        {"py-zip64.zip", "README"},
        {"py-zip64-stream.zip", "README"},
        {"info-zip64.zip", "a.txt"},
        {"garbage-locator.zip", "sub/deeper/c.txt"},  // the entry whose extra field holds the image
    };
    for (const auto& [name, doomed] : cases) {
        SCOPED_TRACE(name);
        const std::string archive = folder.Path(name);
        ASSERT_TRUE(platform::CopyFile(peers + "\\" + name, archive, false));
        const engines::Directory before = Inspect(archive);
        const std::string was = larktest::ReadFile(archive);
        RecordingCallback callback;
        ZipJob remove{archive, {doomed}};
        remove.deleting = true;
        remove.comment = before.comment;
        ASSERT_EQ(Engines::Get().Zip(remove, callback), 1);
        // Every record that stays is copied whole, descriptors with 8-byte sizes included.
        const engines::Directory after = Inspect(archive);
        const std::string is = larktest::ReadFile(archive);
        for (size_t i = 0, j = 0; i < before.entries.size(); ++i) {
            if (before.entries[i].Name() == doomed) continue;
            EXPECT_EQ(RawRecord(is, after, j++), RawRecord(was, before, i)) << before.entries[i].Name();
        }
        platform::FileStream stream(archive, platform::Access::Read);
        zip::StreamSource source(stream);
        const zip::EndOfArchive end = zip::FindEndOfArchive(source);
        EXPECT_EQ(end.zip64, zip::Zip64State::None);
        EXPECT_EQ(end.position, end.DirectoryEnd());
        for (const engines::Entry& entry : Inspect(archive).entries) {
            EXPECT_FALSE(zip::HasExtraBlock(entry.Extra(), zip::kZip64ExtraId)) << entry.Name();
            EXPECT_NE(entry.header.CompressedSize(), 0xFFFFFFFFu) << entry.Name();
        }
        std::map<std::string, std::string> expected = sources;
        expected.erase(doomed);
        EXPECT_EQ(ExtractAll(archive), expected);
        larktest::ExportForPeers(archive, "deleted-from-" + std::string(name).substr(0, std::string(name).size() - 4),
                                 expected);
    }
}

// A result that still needs ZIP64 is written with it, one that fits is written ordinary; an archive
// whose ZIP64 record contradicts its end record is refused, and left byte for byte.
TEST_F(ZipDll, DeletingAtTheZip64Limits) {
    const std::string peers = larktest::PeerArchives();
    if (peers.empty()) GTEST_SKIP() << "LARK_PEER_ARCHIVES is not set: no peer archives to delete from";
    struct Case {
        const char* archive;
        const char* spec;
        int32_t deleted;
        const char* message;  // of a refusal
        size_t left;
        const char* last;  // the last entry left
        bool zip64;        // the result keeps the ZIP64 records
    };
    const Case cases[] = {
        {"contradicting.zip", "README", 0, "ZIP64 end record contradicts its end record", 0, "", false},
        {"many-70000.zip", "f0000?", 10, "", 69990, "f69999", true},
        {"many-70000.zip", "f6*", 10000, "", 60000, "f59999", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.archive) + " " + c.spec);
        const std::string archive = folder.Path(c.archive);
        ASSERT_TRUE(platform::CopyFile(peers + "\\" + c.archive, archive, false));
        const std::string before = larktest::ReadFile(archive);
        RecordingCallback callback;
        ZipJob remove{archive, {c.spec}};
        remove.deleting = true;
        EXPECT_EQ(Engines::Get().Zip(remove, callback), c.deleted);
        if (c.deleted == 0) {
            std::string messages;
            for (const larktest::Call& call : callback.Of(engine::kActionMessage)) messages += call.text;
            EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
            EXPECT_TRUE(larktest::ReadFile(archive) == before);
            continue;
        }
        const engines::Directory after = Inspect(archive);
        EXPECT_EQ(after.entries.size(), c.left);
        EXPECT_EQ(after.entries.back().Name(), c.last);
        platform::FileStream stream(archive, platform::Access::Read);
        zip::StreamSource source(stream);
        const zip::EndOfArchive end = zip::FindEndOfArchive(source);
        EXPECT_EQ(end.entries, c.left);
        EXPECT_EQ(end.zip64 == zip::Zip64State::Read, c.zip64);
    }
}

TEST_F(ZipDll, DeleteRemovesMatchingEntriesAndReportsUnmatchedSpecs) {
    const std::map<std::string, std::string> files = MakeSources();
    const std::string archive = NewArchive();
    RecordingCallback add;
    ZipJob job{archive, {"*.*"}, folder.Path("src") + "\\", 20};
    job.noFolderEntries = true;
    ASSERT_EQ(Engines::Get().Zip(job, add), static_cast<int32_t>(files.size()));

    struct Case {
        std::vector<std::string> specs;
        int32_t deleted;
        std::vector<std::string> left;
        size_t unmatched;
    };
    const Case cases[] = {
        {{"SUB\\C.TXT"}, 1, {"README", "a.txt", "b.bin", "empty.txt", "sub/deeper/d.log"}, 0},
        {{"*.txt", "nothing.here"}, 2, {"README", "b.bin", "sub/deeper/d.log"}, 1},
        {{"sub/deeper/*"}, 1, {"README", "b.bin"}, 0},
        {{"missing"}, 0, {"README", "b.bin"}, 1},
        {{"*.*"}, 2, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.specs.front());
        RecordingCallback callback;
        ZipJob remove{archive, c.specs};
        remove.deleting = true;
        remove.comment = "after delete";
        EXPECT_EQ(Engines::Get().Zip(remove, callback), c.deleted);
        EXPECT_TRUE(callback.Of(engine::kActionMessage).empty()) << "no trace lines unless asked";
        std::vector<std::string> names = Names(Inspect(archive));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.left);
        EXPECT_EQ(callback.Of(engine::kActionSkipped).size(), c.unmatched);
    }
    EXPECT_EQ(larktest::ReadFile(archive).size(), 22u + 12u) << "an empty archive with its comment";
}

// A Cancel at any point of an add or a delete leaves the archive byte for byte and no temporary file.
TEST_F(ZipDll, CancelLeavesTheArchiveUntouched) {
    MakeSources();
    const std::string archive = NewArchive();
    RecordingCallback setup;
    ZipJob add{archive, {"*.*"}, folder.Path("src") + "\\", 20};
    ASSERT_GT(Engines::Get().Zip(add, setup), 0);
    const std::string original = larktest::ReadFile(archive);
    folder.Write("src/extra.txt", std::string(300000, 'x'));

    struct Case {
        const char* name;
        bool deleting;
        uint32_t action;
        int occurrence;
    };
    const Case cases[] = {
        {"add, at the batch total", false, kActionBatchBytes, 1},
        {"add, at the second file", false, kActionBeginFile, 2},
        {"add, inside a file", false, kActionProgress, 3},
        {"add, at the end of the batch", false, kActionEndBatch, 1},
        {"delete, at the first entry", true, kActionBeginFile, 1},
        {"delete, while copying", true, engine::kActionNone, 2},
        {"delete, at the end of the batch", true, kActionEndBatch, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingCallback callback;
        callback.cancelOnAction = c.action;
        callback.cancelOnOccurrence = c.occurrence;
        ZipJob job = add;
        if (c.deleting) {
            job = ZipJob{archive, {"a.txt", "sub\\c.txt"}};
            job.deleting = true;
        }
        EXPECT_EQ(Engines::Get().Zip(job, callback), 0);
        EXPECT_EQ(callback.cancelOnAction, -1) << "the cancel point was reached";
        EXPECT_TRUE(larktest::ReadFile(archive) == original) << "the archive changed";
        for (const platform::FileDetails& item : platform::ListDirectory(folder.Path())) {
            EXPECT_EQ(item.name.find(".tmp"), std::string::npos) << item.name;
        }
    }
}

// The blocks of a large file are compressed on worker threads: a Cancel among them still ends
// the add cleanly.
TEST_F(ZipDll, CancelInsideALargeFileLeavesTheArchiveUntouched) {
    MakeSources();
    const std::string archive = NewArchive();
    RecordingCallback setup;
    ASSERT_GT(Engines::Get().Zip(ZipJob{archive, {"*.*"}, folder.Path("src") + "\\", 20}, setup), 0);
    const std::string original = larktest::ReadFile(archive);
    const std::string large = folder.Write("large.txt", std::string(6 << 20, 'q') + Incompressible(70000));

    RecordingCallback callback;
    callback.cancelOnAction = kActionProgress;
    callback.cancelOnOccurrence = 3;
    EXPECT_EQ(Engines::Get().Zip(ZipJob{archive, {large}}, callback), 0);
    EXPECT_EQ(callback.cancelOnAction, -1) << "the cancel point was reached";
    EXPECT_EQ(callback.Of(kActionBeginFile).size(), 1u);
    EXPECT_TRUE(larktest::ReadFile(archive) == original) << "the archive changed";
    for (const platform::FileDetails& item : platform::ListDirectory(folder.Path())) {
        EXPECT_EQ(item.name.find(".tmp"), std::string::npos) << item.name;
    }
}

TEST_F(ZipDll, DamagedArchiveIsReportedAndLeftAlone) {
    MakeSources();
    const std::string archive = folder.Write("bad.zip", "this is not an archive at all, just text");
    RecordingCallback callback;
    EXPECT_EQ(Engines::Get().Zip({archive, {folder.Path("src/a.txt")}}, callback), 0);
    EXPECT_EQ(callback.Reasons(), std::vector<uint32_t>{engine::kSkipReadError});
    EXPECT_EQ(larktest::ReadFile(archive), "this is not an archive at all, just text");
}

// The reader keeps every entry's texts in large shared blocks: each entry still reads back its own
// bytes, the longest name and the empty one among thousands of short ones.
TEST(ReadDirectory, EveryEntryReadsBackItsOwnTexts) {
    std::vector<larktest::EntrySpec> specs(4000);
    for (size_t i = 0; i < specs.size(); ++i) {
        specs[i].name = "folder" + std::to_string(i % 7) + "/file" + std::to_string(i) + ".txt";
        specs[i].data = std::to_string(i);
        if (i % 3 == 0) specs[i].extra = std::string("\x75\x70\x03\x00", 4) + "x" + std::to_string(i % 10) + "y";
        if (i % 5 == 0) specs[i].comment = "comment " + std::to_string(i);
    }
    specs[10].name = std::string(65535, 'n');
    specs[10].comment = std::string(300, 'c');
    specs[11].name.clear();
    specs[11].comment = "an entry without a name";
    larktest::ArchiveBuilder builder;
    for (const larktest::EntrySpec& spec : specs) builder.Add(spec);
    larktest::MemoryStream stream(builder.Bytes());
    engines::Directory directory;
    std::string error;
    ASSERT_TRUE(engines::ReadDirectory(stream, directory, error)) << error;
    ASSERT_EQ(directory.entries.size(), specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
        const engines::Entry& entry = directory.entries[i];
        ASSERT_EQ(entry.Name(), specs[i].name) << i;
        ASSERT_EQ(entry.Extra(), specs[i].extra) << i;
        ASSERT_EQ(entry.Comment(), specs[i].comment) << i;
        ASSERT_EQ(entry.Size(), static_cast<int64_t>(specs[i].data.size())) << i;
    }
}

// A directory too large to hold waits in the spill file and comes out as if it had been held: each
// record once, in order, before those still held.
TEST(DirectoryWriter, ALargeDirectoryWaitsInItsSpillFileAndComesOutWhole) {
    std::vector<std::string> names;
    for (int i = 0; i < 80000; ++i) names.push_back("folder/file" + std::to_string(i) + ".txt");
    const auto written = [&](larktest::MemoryStream* spill) {
        engines::DirectoryWriter directory("test", [spill] { return spill; });
        for (size_t i = 0; i < names.size(); ++i) {
            engines::Entry entry;
            entry.header.SetU32(0, 0x02014B50);
            entry.texts = names[i].data();
            entry.header.SetU16(28, static_cast<uint16_t>(names[i].size()));
            entry.localOffset = static_cast<int64_t>(i) * 100;
            directory.Add(entry);
        }
        larktest::MemoryStream out("");
        directory.Write(out, "");
        return out.Bytes();
    };
    larktest::MemoryStream spill("");
    const std::string held = written(nullptr);
    EXPECT_EQ(held.find(names.back()), held.size() - 22 - 56 - 20 - names.back().size()) << "in order, to the last";
    EXPECT_TRUE(written(&spill) == held) << "the same bytes as a directory held whole";
    EXPECT_GT(spill.Size(), 0) << "the spill file was used";
}

// The directory writer: ZIP64 only where a value does not fit, laid out as Info-ZIP 3 and the
// format describe it (offsets below are the format's, not the code's constants).
TEST(DirectoryWriter, UsesZip64OnlyWhereAValueDoesNotFit) {
    std::deque<std::string> texts;
    const auto entryAt = [&texts](int64_t offset, const std::string& extra = std::string()) {
        engines::Entry entry;
        entry.header.SetU32(0, 0x02014B50);
        entry.header.SetU16(6, 20);  // version needed
        entry.header.SetU16(28, 1);  // the name, "a"
        entry.header.SetU16(30, static_cast<uint16_t>(extra.size()));
        entry.texts = texts.emplace_back("a" + extra).data();
        entry.localOffset = offset;
        return entry;
    };
    const auto written = [](const std::vector<engines::Entry>& entries) {
        larktest::MemoryStream out("");
        engines::DirectoryWriter directory("test");
        for (const engines::Entry& entry : entries) directory.Add(entry);
        directory.Write(out, "");
        return out.Bytes();
    };
    const auto u64 = [](const std::string& bytes, size_t at) {
        return larktest::GetU32(bytes, at) | (static_cast<uint64_t>(larktest::GetU32(bytes, at + 4)) << 32);
    };

    // Within the old limits: one central header, the end record, nothing else.
    const std::string small = written({entryAt(0), entryAt(100)});
    EXPECT_EQ(small.size(), 2u * (46 + 1) + 22);
    EXPECT_EQ(larktest::GetU16(small, small.size() - 22 + 10), 2);
    EXPECT_EQ(small.find("PK\x06\x06"), std::string::npos);

    // An offset past 4 GiB: the field holds the marker, a ZIP64 block of 8 bytes holds the offset,
    // the version needed is 4.5; another extra block stays in front of it.
    const std::string other("\x75\x70\x01\x00\x00", 5);
    const std::string far = written({entryAt(int64_t{5} << 30, other)});
    EXPECT_EQ(larktest::GetU32(far, 42), 0xFFFFFFFFu);
    EXPECT_EQ(larktest::GetU16(far, 6), 45);
    EXPECT_EQ(larktest::GetU16(far, 30), 5 + 12);
    EXPECT_EQ(far.substr(47, 5), other);
    EXPECT_EQ(larktest::GetU16(far, 52), 0x0001);
    EXPECT_EQ(larktest::GetU16(far, 54), 8);
    EXPECT_EQ(u64(far, 56), uint64_t{5} << 30);
    EXPECT_EQ(far.find("PK\x06\x06"), std::string::npos) << "one entry near the start needs no ZIP64 end record";

    // An entry read through ZIP64 whose values now fit is written as an ordinary entry.
    const std::string zip64Extra = std::string("\x01\x00\x08\x00\x00\x00\x00\x40\x01\x00\x00\x00", 12) + other;
    engines::Entry moved = entryAt(64, zip64Extra);
    moved.header.SetU32(42, 0xFFFFFFFF);
    moved.zip64 = true;  // as the reader marks an entry it resolved through the block
    const std::string fitted = written({moved});
    EXPECT_EQ(larktest::GetU32(fitted, 42), 64u);
    EXPECT_EQ(fitted.substr(47, larktest::GetU16(fitted, 30)), other);

    // 65535 entries: the count field holds its marker and the ZIP64 end record and its locator
    // stand in front of the end record.
    const std::string many = written(std::vector<engines::Entry>(65535, entryAt(0)));
    const size_t directorySize = 65535u * 47;
    ASSERT_EQ(many.size(), directorySize + 56 + 20 + 22);
    const size_t record64 = directorySize;
    EXPECT_EQ(larktest::GetU32(many, record64), 0x06064B50u);
    EXPECT_EQ(u64(many, record64 + 4), 44u);
    EXPECT_EQ(larktest::GetU16(many, record64 + 14), 45);
    EXPECT_EQ(u64(many, record64 + 24), 65535u);
    EXPECT_EQ(u64(many, record64 + 32), 65535u);
    EXPECT_EQ(u64(many, record64 + 40), directorySize);
    EXPECT_EQ(u64(many, record64 + 48), 0u);
    const size_t locator = record64 + 56;
    EXPECT_EQ(larktest::GetU32(many, locator), 0x07064B50u);
    EXPECT_EQ(u64(many, locator + 8), record64);
    EXPECT_EQ(larktest::GetU32(many, locator + 16), 1u);
    const size_t end = locator + 20;
    EXPECT_EQ(larktest::GetU16(many, end + 8), 0xFFFF);
    EXPECT_EQ(larktest::GetU16(many, end + 10), 0xFFFF);
    EXPECT_EQ(larktest::GetU32(many, end + 12), directorySize);
    EXPECT_EQ(larktest::GetU32(many, end + 16), 0u);
}

// More entries than the end record counts: ZIP64 records, read by the peers. Making 65,600 files
// takes minutes on an emulated machine, so the test runs when LARK_LONG_TESTS is set.
TEST_F(ZipDll, MoreThan65534FilesGetZip64Records) {
    if (!std::getenv("LARK_LONG_TESTS")) GTEST_SKIP() << "set LARK_LONG_TESTS=1 to run";
    constexpr int kFiles = 65600;
    std::map<std::string, std::string> files;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "d" + std::to_string(i / 1000) + "/" + std::to_string(i);
        files[name] = std::to_string(i % 7);
        folder.Write("many/" + name, files[name]);
    }
    const std::string archive = NewArchive("many.zip");
    ZipJob job{archive, {"*.*"}, folder.Path("many") + "\\", 20};
    job.noFolderEntries = true;
    RecordingCallback callback;
    ASSERT_EQ(Engines::Get().Zip(job, callback), kFiles);
    const std::string bytes = larktest::ReadFile(archive);
    EXPECT_EQ(larktest::GetU16(bytes, bytes.size() - 22 + 10), 0xFFFF);
    EXPECT_NE(bytes.find("PK\x06\x06"), std::string::npos);
    larktest::ExportForPeers(archive, "zip64-many", files);
}

TEST_F(ZipDll, NamesAreStoredInTheOemCodePage) {
    // A caller without the extension word names the file in the ANSI page; the disk holds its Unicode name.
    const std::string name = u8"über.txt";
    folder.Write("src/x.txt", "umlaut");
    ASSERT_TRUE(platform::MoveFile(folder.Path("src/x.txt"), folder.Path("src") + "\\" + name));
    const std::string archive = NewArchive();
    RecordingCallback callback;
    ASSERT_EQ(Engines::Get().Zip({archive, {platform::Utf8ToAnsi(folder.Path("src") + "\\" + name)}}, callback), 1);
    const engines::Directory inspected = Inspect(archive);
    const engines::Entry& entry = inspected.entries.at(0);
    EXPECT_EQ(entry.Name(), "\x81" "ber.txt") << "code page 437/850 byte";
    EXPECT_EQ(entry.DecodedName(), name);
    EXPECT_EQ(ExtractAll(archive), (std::map<std::string, std::string>{{name, "umlaut"}}));
    larktest::ExportForPeers(archive, "oem-name", {{name, "umlaut"}});
}

// Callers that predate the extension word pass ANSI texts; with the marker every text is UTF-8.
// One case per command and mode, on names the OEM page holds and names it does not.
constexpr uint32_t kUtf8Marker = 0x4C4B0001u;

TEST_F(ZipDll, AddStoresNamesInTheTextOfItsRun) {
    struct Case {
        const char* what;
        uint32_t extensions;
        std::string file;  // the name on disk
        std::string stored;
        uint16_t utf8Flag;
    };
    const Case cases[] = {
        {"ANSI run", 0, u8"über.txt", "\x81" "ber.txt", 0},
        {"stray bits without the marker", 0x00000001u, u8"über.txt", "\x81" "ber.txt", 0},
        {"UTF-8 run, OEM page holds it", kUtf8Marker, u8"über.txt", "\x81" "ber.txt", 0},
        {"UTF-8 run, CJK", kUtf8Marker, u8"中文.txt", u8"中文.txt", 0x0800},
        {"UTF-8 run, beyond the BMP", kUtf8Marker, u8"\U0001F600.txt", u8"\U0001F600.txt", 0x0800},
    };
    // Every file has the same bytes and time, so that archives of names stored alike are alike.
    const std::string data = "the same in every file";
    platform::LocalTime time;
    time.year = 2020;
    std::string ansiRun;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string source = folder.Write("src" + std::to_string(++n) + "/x.txt", data);
        const std::string named = folder.Path("src" + std::to_string(n)) + "\\" + c.file;
        ASSERT_TRUE(platform::MoveFile(source, named));
        ASSERT_TRUE(platform::FileStream(named, platform::Access::ReadWrite).SetModified(time));
        const std::string archive = NewArchive("add" + std::to_string(n) + ".zip");
        RecordingCallback callback;
        // Callers without the marker pass and read back ANSI texts.
        const auto runText = [&c](const std::string& text) {
            return c.extensions == kUtf8Marker ? text : platform::Utf8ToAnsi(text);
        };
        ZipJob job{archive, {runText(named)}};
        job.extensions = c.extensions;
        ASSERT_EQ(Engines::Get().Zip(job, callback), 1);
        EXPECT_EQ(callback.Of(kActionBeginFile).at(0).text, runText(c.file));
        const engines::Directory inspected = Inspect(archive);
        const engines::Entry& entry = inspected.entries.at(0);
        EXPECT_EQ(entry.Name(), c.stored);
        EXPECT_EQ(entry.Flags() & 0x0800, c.utf8Flag);
        const std::string bytes = larktest::ReadFile(archive);
        EXPECT_EQ(larktest::GetU16(bytes, 6) & 0x0800, c.utf8Flag) << "local header";
        // A name the OEM page holds gives the archive the ANSI run gives, byte for byte.
        if (n == 1) ansiRun = bytes;
        if (c.stored == cases[0].stored) {
            EXPECT_EQ(bytes, ansiRun);
        }
        if (c.extensions == kUtf8Marker) {
            larktest::ExportForPeers(archive, "name-" + std::to_string(n), {{c.file, data}});
        }
    }
}

TEST_F(ZipDll, DeleteMatchesNamesInTheTextOfItsRun) {
    larktest::EntrySpec oem;
    oem.name = "\x8Elt.txt";  // Ält.txt in the OEM page
    oem.data = "oem";
    larktest::EntrySpec greek;
    greek.name = u8"σοφία.txt";
    greek.data = "greek";
    greek.flags = 0x0800;
    const std::string bytes = larktest::ArchiveBuilder().Add(oem).Add(greek).Bytes();
    struct Case {
        const char* what;
        uint32_t extensions;
        std::string spec;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"ANSI run, ANSI name", 0, "\xC4lt.txt", {greek.name}},
        {"ANSI run, UTF-8 name", 0, u8"Ält.txt", {oem.name, greek.name}},
        {"UTF-8 run, other case", kUtf8Marker, u8"älT.TXT", {greek.name}},
        {"UTF-8 run, Greek in other case", kUtf8Marker, u8"ΣΟΦΊΑ.txt", {oem.name}},
        {"UTF-8 run, '?' is one character", kUtf8Marker, u8"?????.txt", {oem.name}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string archive = folder.Write("del" + std::to_string(++n) + ".zip", bytes);
        RecordingCallback callback;
        ZipJob remove{archive, {c.spec}};
        remove.deleting = true;
        remove.extensions = c.extensions;
        EXPECT_EQ(Engines::Get().Zip(remove, callback), static_cast<int32_t>(2 - c.left.size()));
        EXPECT_EQ(Names(Inspect(archive)), c.left);
    }
}

TEST_F(ZipDll, ExtractWritesNamesInTheTextOfItsRun) {
    larktest::EntrySpec oem;
    oem.name = "\x8Elt.txt";  // Ält.txt in the OEM page
    oem.data = "oem";
    larktest::EntrySpec cjk;
    cjk.name = u8"中文.txt";
    cjk.data = "cjk";
    cjk.flags = 0x0800;
    // The same name in small letters lands on the same file where names ignore case.
    larktest::EntrySpec small = oem;
    small.name = "\x84lt.txt";
    small.data = "small";
    struct Case {
        const char* what;
        uint32_t extensions;
        std::vector<larktest::EntrySpec> entries;
        std::map<std::string, std::string> files;
        std::vector<uint32_t> reasons;
    };
    const Case cases[] = {
        {"ANSI run", 0, {oem}, {{u8"Ält.txt", "oem"}}, {}},
        {"UTF-8 run", kUtf8Marker, {oem, cjk, small}, {{u8"Ält.txt", "oem"}, {u8"中文.txt", "cjk"}},
         {engine::kSkipWriteError}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        larktest::ArchiveBuilder builder;
        for (const larktest::EntrySpec& entry : c.entries) builder.Add(entry);
        const std::string archive = folder.Write("names" + std::to_string(++n) + ".zip", builder.Bytes());
        const std::string destination = folder.Path("x" + std::to_string(n));
        platform::CreateDirectory(destination);
        RecordingCallback callback;
        UnzipJob job{archive, destination + "\\", {}, "", 17};
        job.extensions = c.extensions;
        Engines::Get().Unzip(job, callback);
        EXPECT_EQ(callback.Reasons(), c.reasons);
        EXPECT_EQ(larktest::ReadTree(destination), c.files);
    }
}

}  // namespace
