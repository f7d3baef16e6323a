// Loading the engine libraries: the path, loading once per process, the version test, the error mode.
#include "tests/engine/EngineTest.h"

using larktest::EngineTest;
using larktest::FakeEngine;
using larktest::ZipError;
using zip::FormatMsg;
using zip::Msg;

namespace {

struct PathCase {
    const char* name;
    const char* directory;
    const char* expected;
};

class LibraryPath : public testing::TestWithParam<PathCase> {};

TEST_P(LibraryPath, GetsExactlyOneBackslash) {
    EXPECT_EQ(engine::EngineLibraryPath(GetParam().directory, engine::kZipDllName), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, LibraryPath,
                         testing::Values(PathCase{"Empty", "", "ZipDll.dll"},
                                         PathCase{"NoBackslash", "C:\\engines", "C:\\engines\\ZipDll.dll"},
                                         PathCase{"Backslash", "C:\\engines\\", "C:\\engines\\ZipDll.dll"},
                                         PathCase{"DriveRoot", "D:\\", "D:\\ZipDll.dll"}),
                         [](const testing::TestParamInfo<PathCase>& info) { return info.param.name; });

using Load = EngineTest;

TEST_F(Load, FindsEveryExportByItsPlainName) {
    for (const char* name : {engine::kZipDllExecName, engine::kGetZipDllVersionName})
        EXPECT_NE(platform::GetProcAddress(zipDll.Library(), name), nullptr) << name;
    for (const char* name : {engine::kUnzDllExecName, engine::kGetUnzDllVersionName})
        EXPECT_NE(platform::GetProcAddress(unzDll.Library(), name), nullptr) << name;
}

TEST_F(Load, WithAndWithoutTrailingBackslash) {
    for (const std::string& directory : {FakeEngine::Folder(), FakeEngine::Folder() + "\\"}) {
        SCOPED_TRACE(directory);
        EXPECT_TRUE(engine::LoadZipDll(directory));
        EXPECT_TRUE(engine::LoadUnzDll(directory));
        EXPECT_TRUE(engine::ZipDllLoaded());
        EXPECT_TRUE(engine::UnzDllLoaded());
        engine::UnloadDlls();
        EXPECT_FALSE(engine::ZipDllLoaded());
        EXPECT_FALSE(engine::UnzDllLoaded());
    }
}

TEST_F(Load, OnceAndTestsTheVersionOnlyThen) {
    ASSERT_TRUE(engine::LoadZipDll(zip.DllDirectory));
    zipDll.SetVersion(159);
    EXPECT_TRUE(engine::LoadZipDll(zip.DllDirectory)) << "already loaded: no second version test";
    EXPECT_TRUE(engine::LoadZipDll(folder.Path("nowhere"))) << "already loaded: the directory is not looked at";
    engine::UnloadDlls();
    EXPECT_EQ(ZipError([&] { engine::LoadZipDll(zip.DllDirectory); }), FormatMsg(Msg::InvalidEngineVersion));
    EXPECT_FALSE(engine::ZipDllLoaded());
}

struct VersionCase {
    uint32_t version;
    bool accepted;
};

class Version : public EngineTest, public testing::WithParamInterface<VersionCase> {};

TEST_P(Version, BelowTheMinimumIsRefusedForBothLibraries) {
    zipDll.SetVersion(GetParam().version);
    unzDll.SetVersion(GetParam().version);
    const std::string expected = GetParam().accepted ? "" : FormatMsg(Msg::InvalidEngineVersion);
    EXPECT_EQ(ZipError([&] { EXPECT_TRUE(engine::LoadZipDll(zip.DllDirectory)); }), expected);
    EXPECT_EQ(ZipError([&] { EXPECT_TRUE(engine::LoadUnzDll(zip.DllDirectory)); }), expected);
    EXPECT_EQ(engine::ZipDllLoaded(), GetParam().accepted);
    EXPECT_EQ(engine::UnzDllLoaded(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Table, Version,
                         testing::Values(VersionCase{0, false}, VersionCase{159, false}, VersionCase{160, true},
                                         VersionCase{161, true}, VersionCase{0xFFFFFFFFu, true}));

TEST_F(Load, RestoresTheErrorModeOnEveryPath) {
    constexpr unsigned kBefore = 0x8000;
    const unsigned original = platform::SetErrorMode(kBefore);
    EXPECT_TRUE(engine::LoadZipDll(zip.DllDirectory));
    EXPECT_EQ(platform::SetErrorMode(kBefore), kBefore) << "after a load";
    engine::UnloadDlls();
    EXPECT_FALSE(engine::LoadZipDll(folder.Path("nowhere")));
    EXPECT_EQ(platform::SetErrorMode(kBefore), kBefore) << "after a failed load";
    zipDll.SetVersion(159);
    EXPECT_NE(ZipError([&] { engine::LoadZipDll(zip.DllDirectory); }), "");
    EXPECT_EQ(platform::SetErrorMode(original), kBefore) << "after a refused version";
}

TEST_F(Load, AMissingLibraryStopsEachOperationWithItsName) {
    OpenArchive();
    zip.DllDirectory = folder.Path("nowhere");
    zip.FileSpecs() = {"a.txt"};
    EXPECT_EQ(ZipError([&] { zip.DeleteFiles(); }), FormatMsg(Msg::UnableToLoad, "\"ZipDll.dll\"."));
    EXPECT_EQ(ZipError([&] { zip.ExtractFiles(); }), FormatMsg(Msg::UnableToLoad, "\"UnzDll.dll\"."));
    zip.AddRootDir = folder.Path();
    EXPECT_EQ(ZipError([&] { zip.AddFiles(); }), FormatMsg(Msg::UnableToLoad, "\"ZipDll.dll\"."));
    EXPECT_EQ(zip.AddRootDir, "");
    EXPECT_EQ(zip.FileSpecs().size(), 1u) << "the specs stay for the next try";
    EXPECT_EQ(zipDll.ExecCount() + unzDll.ExecCount(), 0);
}

TEST_F(Load, DestroyingAnyTZipReleasesTheLibrariesForAll) {
    ASSERT_TRUE(engine::LoadZipDll(zip.DllDirectory));
    ASSERT_TRUE(engine::LoadUnzDll(zip.DllDirectory));
    { TZip other; }
    EXPECT_FALSE(engine::ZipDllLoaded());
    EXPECT_FALSE(engine::UnzDllLoaded());
}

TEST_F(Load, ASecondOperationUsesTheLoadedLibrary) {
    OpenArchive();
    zip.FileSpecs() = {"a.txt"};
    zip.DeleteFiles();
    zipDll.SetVersion(159);  // would be refused if it were loaded again
    zip.FileSpecs() = {"a.txt"};
    EXPECT_EQ(ZipError([&] { zip.DeleteFiles(); }), "");
    EXPECT_EQ(zipDll.ExecCount(), 2);
}

}  // namespace
