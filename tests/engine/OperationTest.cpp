// Add, delete and extract around the engine call: refusals, the add's backup copy, re-reading the
// directory, a failing engine or callback, and the guard against starting a second operation.
#include <cstdlib>
#include <filesystem>

#include "tests/engine/EngineTest.h"

using larktest::ArchiveBuilder;
using larktest::EngineTest;
using larktest::ZipError;
using zip::FormatMsg;
using zip::Msg;

namespace {

class Operation : public EngineTest {
protected:
    // Files of the backup's name form left in `folder`.
    static int BackupsIn(const std::string& nativeFolder) {
        int count = 0;
        for (const auto& item : std::filesystem::directory_iterator(nativeFolder))
            if (item.path().filename().string().rfind("zzz", 0) == 0) ++count;
        return count;
    }

    int contentsChanged = 0;
};

// Points the system's temporary folder somewhere else for its lifetime.
class TempFolderSetting {
public:
    explicit TempFolderSetting(const std::string& nativeFolder) { Set(nativeFolder); }
    ~TempFolderSetting() { Set(saved_); }

private:
#ifdef _WIN32
    static void Set(const std::string& folder) {
        _putenv_s("TMP", folder.c_str());
        _putenv_s("TEMP", folder.c_str());
    }
    std::string saved_ = std::getenv("TMP") ? std::getenv("TMP") : "";
#else
    static void Set(const std::string& folder) {
        if (folder.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", folder.c_str(), 1);
    }
    std::string saved_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
#endif
};

struct RefusalCase {
    const char* name;
    bool open;
    bool multiDisk;
    std::vector<std::string> specs;
    Msg message;
};

class Refusal : public Operation, public testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, IsShownAndChangesNothing) {
    const RefusalCase& c = GetParam();
    if (c.open) {
        ArchiveBuilder builder;
        builder.Add("a.txt", "alpha");
        if (c.multiDisk) builder.Disks(1, 1);
        zip.SetZipFileName(folder.Write("a.zip", builder.Bytes()));
    }
    const std::string before = c.open ? folder.Read("a.zip") : "";
    for (int i = 0; i < 3; ++i) user.Answer(platform::kIdOk);
    zip.Cancelled = true;
    zip.FileSpecs() = c.specs;
    zip.AddRootDir = folder.Path();
    EXPECT_EQ(zip.DeleteFiles(), 0);
    ExpectInformation(FormatMsg(c.message));
    EXPECT_EQ(zip.AddFiles(), 0);
    ExpectInformation(FormatMsg(c.message));
    EXPECT_EQ(zip.AddRootDir, "") << "cleared by every add";
    EXPECT_EQ(zip.RunZipDll(true), 0);
    EXPECT_EQ(user.Shown().size(), 3u);
    EXPECT_EQ(zip.FileSpecs(), c.specs) << "kept for the next call";
    EXPECT_TRUE(zip.Cancelled) << "left as the last operation set it";
    EXPECT_EQ(zipDll.ExecCount(), 0);
    if (c.open) {
        EXPECT_EQ(folder.Read("a.zip"), before);
    }
    EXPECT_EQ(BackupsIn(std::filesystem::temp_directory_path().string()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Refusal,
    testing::Values(RefusalCase{"NoArchive", false, false, {"a.txt"}, Msg::NoZipFileOpen},
                    RefusalCase{"NoArchiveWinsOverNoSpecs", false, false, {}, Msg::NoZipFileOpen},
                    RefusalCase{"NoSpecs", true, false, {}, Msg::NoFilesSelected},
                    RefusalCase{"NoSpecsWinsOverMultiDisk", true, true, {}, Msg::NoFilesSelected},
                    RefusalCase{"MultiDisk", true, true, {"a.txt"}, Msg::MultiDiskNotAllowed}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(Operation, ExtractRefusals) {
    zip.FileSpecs() = {"a.txt"};
    zip.Cancelled = true;
    EXPECT_EQ(zip.ExtractFiles(), 0) << "no archive: silently";
    EXPECT_FALSE(zip.Cancelled) << "cleared on entry";
    zip.SetZipFileName(folder.Path("empty.zip"));
    EXPECT_EQ(zip.ExtractFiles(), 0) << "no entries: silently";
    EXPECT_TRUE(user.Shown().empty());
    EXPECT_EQ(zip.FileSpecs().size(), 1u);

    zip.SetZipFileName(folder.Write("multi.zip", ArchiveBuilder().Add("a.txt", "x").Disks(2, 2).Bytes()));
    user.Answer(platform::kIdOk);
    EXPECT_EQ(zip.ExtractFiles(), 0);
    ExpectInformation(FormatMsg(Msg::MultiDiskNotAllowed));

    OpenArchive();
    zip.ExtractDir = folder.Path("missing");
    user.Answer(platform::kIdOk);
    EXPECT_EQ(zip.ExtractFiles(), 0);
    ExpectInformation(FormatMsg(Msg::ExtractDirMissing, folder.Path("missing")));
    EXPECT_EQ(unzDll.ExecCount(), 0);
    EXPECT_EQ(zip.FileSpecs().size(), 1u);
}

TEST_F(Operation, ExtractEmptiesTheSpecsAndReturnsTheCountWithoutRereading) {
    OpenArchive();
    zip.OnContentsChanged = [&](TZip*) { ++contentsChanged; };
    zip.FileSpecs() = {"*.*"};
    unzDll.SetResult(2);
    EXPECT_EQ(zip.ExtractFiles(), 2);
    EXPECT_TRUE(zip.FileSpecs().empty());
    EXPECT_EQ(contentsChanged, 0);
}

TEST_F(Operation, ADestinationThatCannotBeEnteredStopsTheExtractBeforeTheEngine) {
    const std::string path = OpenArchive("gone/a.zip");
    ASSERT_TRUE(platform::DeleteFile(path));
    ASSERT_TRUE(platform::RemoveDirectory(folder.Path("gone")));
    zip.FileSpecs() = {"*.*"};
    try {
        zip.ExtractFiles();
        ADD_FAILURE() << "no error";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.what(), FormatMsg(Msg::CannotChangeDirectory, folder.Path("gone") + "\\"));
    }
    EXPECT_EQ(unzDll.ExecCount(), 0);
    EXPECT_FALSE(zip.Busy());
}

TEST_F(Operation, AddOrDeleteOfSomeFilesRereadsTheDirectory) {
    TempFolderSetting temp(folder.NativePath());
    const std::string path = OpenArchive();
    zip.OnContentsChanged = [&](TZip*) { ++contentsChanged; };
    // The engine's work, as the archive looks after it.
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
        larktest::WriteFileBytes(path, ArchiveBuilder().Add("only.txt", "x").Bytes());
    };
    zipDll.SetScript("1 0 1 only.txt\n");
    zipDll.SetResult(1);
    zip.FileSpecs() = {"a.txt"};
    EXPECT_EQ(zip.DeleteFiles(), 1);
    EXPECT_EQ(zip.Count(), 1);
    EXPECT_EQ(contentsChanged, 1);
    EXPECT_EQ(larktest::WindowsMade(), 0) << "deleting shows no window";

    zip.FileSpecs() = {"new.txt"};
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
        larktest::WriteFileBytes(path, ArchiveBuilder().Add("only.txt", "x").Add("new.txt", "y").Bytes());
    };
    EXPECT_EQ(zip.AddFiles(), 1);
    EXPECT_EQ(zip.Count(), 2);
    EXPECT_EQ(contentsChanged, 2);
    EXPECT_EQ(larktest::WindowsMade(), 1);
    EXPECT_EQ(BackupsIn(folder.NativePath()), 0) << "the copy is deleted";
}

TEST_F(Operation, ACountOfZeroNeitherRereadsNorRaisesTheEvent) {
    const std::string path = OpenArchive();
    zip.OnContentsChanged = [&](TZip*) { ++contentsChanged; };
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
        larktest::WriteFileBytes(path, ArchiveBuilder().Add("only.txt", "x").Bytes());
    };
    zipDll.SetScript("1 0 1 x\n");
    zip.FileSpecs() = {"a.txt"};
    EXPECT_EQ(zip.DeleteFiles(), 0);
    zip.FileSpecs() = {"a.txt"};
    EXPECT_EQ(zip.AddFiles(), 0);
    EXPECT_EQ(zip.Count(), 2) << "the list as it was read before";
    EXPECT_EQ(contentsChanged, 0);
    EXPECT_TRUE(zip.FileSpecs().empty());
}

// A Cancel in the middle of an add puts the archive back byte for byte, whatever the engine left,
// and the list is read again from the restored file.
TEST_F(Operation, CancelledAddRestoresTheArchiveAndRereadsIt) {
    for (int32_t count : {0, 1}) {
        SCOPED_TRACE(count);
        TempFolderSetting temp(folder.NativePath());
        const std::string path = OpenArchive("a.zip", "keep me");
        const std::string before = folder.Read("a.zip");
        contentsChanged = 0;
        zip.OnContentsChanged = [&](TZip*) { ++contentsChanged; };
        zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
            larktest::WriteFileBytes(path, "half-written garbage");
        };
        user.OnProcessMessages = [&] {
            if (zip.CurrentFileName == "big.bin") zip.Cancelled = true;  // the Cancel button
        };
        zipDll.SetScript("6 0 100\n1 0 100 big.bin\n2 0 50\n");
        zipDll.SetResult(count);
        zip.FileSpecs() = {"big.bin"};
        EXPECT_EQ(zip.AddFiles(), count);
        EXPECT_TRUE(zip.Cancelled);
        EXPECT_EQ(folder.Read("a.zip"), before);
        EXPECT_EQ(zip.Count(), 2);
        EXPECT_EQ(zip.GetZipComment(), "keep me");
        EXPECT_EQ(contentsChanged, 1);
        EXPECT_EQ(BackupsIn(folder.NativePath()), 0) << "the copy is deleted";
        zip.CurrentFileName.clear();
    }
}

TEST_F(Operation, AnAddWhoseBackupCannotBeMadeIsRefusedBeforeTheEngineRuns) {
    const std::string path = OpenArchive();
    const std::string before = folder.Read("a.zip");
    TempFolderSetting temp(folder.NativePath("no-such-folder"));
    zip.AddRootDir = folder.Path();
    zip.FileSpecs() = {"a.txt"};
    EXPECT_EQ(ZipError([&] { zip.AddFiles(); }), FormatMsg(Msg::BackupFailed, path));
    EXPECT_EQ(zipDll.ExecCount(), 0);
    EXPECT_EQ(folder.Read("a.zip"), before);
    EXPECT_EQ(zip.AddRootDir, "");
}

TEST_F(Operation, ANegativeCountIsARangeErrorAfterTheCleanUp) {
    OpenArchive();
    zip.TraceEnabled = true;
    zipDll.SetResult(-5);
    zip.FileSpecs() = {"a.txt"};
    EXPECT_EQ(ZipError([&] { zip.AddFiles(); }), FormatMsg(Msg::RangeCheckError));
    EXPECT_EQ(zip.ProgressForm(), nullptr);
    EXPECT_EQ(zip.TraceStream(), nullptr);
    EXPECT_EQ(larktest::WindowLog().back(), "free");
    EXPECT_EQ(zip.FileSpecs().size(), 1u) << "not emptied after a failure";
    EXPECT_FALSE(zip.Busy());
    platform::DeleteFile(TZip::TraceFileName());
}

TEST_F(Operation, AnExceptionInAHandlerStopsTheEngineAndReachesTheCaller) {
    OpenArchive();
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
        throw ZipException("handler failed");
    };
    unzDll.SetScript("6 0 10\n1 0 10 a.txt\n2 0 10\n");
    zip.FileSpecs() = {"*.*"};
    EXPECT_EQ(ZipError([&] { zip.ExtractFiles(); }), "handler failed");
    const auto replies = unzDll.Replies();
    ASSERT_EQ(replies.size(), 2u) << "the engine stopped at the -1";
    EXPECT_EQ(replies[1].result, -1);
    EXPECT_EQ(zip.ProgressForm(), nullptr);
    EXPECT_FALSE(zip.Busy());
    // The next operation starts clean.
    unzDll.SetScript("");
    EXPECT_EQ(ZipError([&] { zip.ExtractFiles(); }), "");
}

TEST_F(Operation, AFailingAddIsUndoneLikeACancel) {
    const std::string path = OpenArchive();
    const std::string before = folder.Read("a.zip");
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
        larktest::WriteFileBytes(path, "garbage");
        throw ZipException("handler failed");
    };
    zipDll.SetScript("1 0 10 a.txt\n");
    zip.FileSpecs() = {"a.txt"};
    EXPECT_EQ(ZipError([&] { zip.AddFiles(); }), "handler failed");
    EXPECT_EQ(folder.Read("a.zip"), before);
}

TEST_F(Operation, NoSecondOperationStartsWhileOneRuns) {
    OpenArchive();
    std::vector<int32_t> nested;
    bool busyInside = false;
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
        busyInside = zip.Busy();
        zip.FileSpecs() = {"x"};
        nested.push_back(zip.AddFiles());
        nested.push_back(zip.DeleteFiles());
        nested.push_back(zip.ExtractFiles());
    };
    for (int i = 0; i < 3; ++i) user.Answer(platform::kIdOk);
    unzDll.SetScript("1 0 1 a.txt\n2 0 1\n");
    zip.FileSpecs() = {"*.*"};
    zip.ExtractFiles();
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(zip.Busy());
    EXPECT_EQ(nested, (std::vector<int32_t>{0, 0, 0}));
    ASSERT_EQ(user.Shown().size(), 3u);
    for (const auto& box : user.Shown()) EXPECT_EQ(box.text, FormatMsg(Msg::OperationRunning));
    EXPECT_EQ(unzDll.ExecCount(), 1);
    EXPECT_EQ(zipDll.ExecCount(), 0);
    const auto replies = unzDll.Replies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1].result, 0) << "the running operation is not cancelled by the refusals";
}

}  // namespace
