// The path helpers of the archive component, as tables of inputs and results.
#include <gtest/gtest.h>

#include "tzip/Zip.h"

namespace {

struct OneArg {
    std::string in, out;
};
struct TwoArgs {
    std::string a, b, out;
};

}  // namespace

TEST(ZipPaths, SlashesToBackslashes) {
    for (const OneArg& c : std::vector<OneArg>{{"", ""},
                                               {"file.txt", "file.txt"},
                                               {"dir/sub/file.txt", "dir\\sub\\file.txt"},
                                               {"dir/", "dir\\"},
                                               {"a\\b/c//d", "a\\b\\c\\\\d"}})
        EXPECT_EQ(SlashesToBackslashes(c.in), c.out) << c.in;
}

TEST(ZipPaths, AppendBackslash) {
    for (const OneArg& c : std::vector<OneArg>{
             {"", ""}, {"C:", "C:\\"}, {"C:\\", "C:\\"}, {"C:\\dir", "C:\\dir\\"}, {"dir/", "dir/\\"}})
        EXPECT_EQ(AppendBackslash(c.in), c.out) << c.in;
}

TEST(ZipPaths, MakeAbsolutePath) {
    for (const TwoArgs& c : std::vector<TwoArgs>{
             {"C:\\base", "C:\\x\\y.zip", "C:\\x\\y.zip"},
             {"C:\\base", "\\x\\y.zip", "\\x\\y.zip"},
             {"C:\\base", "D:y.zip", "D:y.zip"},
             {"C:\\base", "y.zip", "C:\\base\\y.zip"},
             {"C:\\base\\", "sub\\y.zip", "C:\\base\\sub\\y.zip"},
             // One or two characters are always joined to the base, even when they look absolute.
             {"C:\\base", "D:", "C:\\base\\D:"},
             {"C:\\base", "\\", "C:\\base\\\\"},
             {"C:\\base", "ab", "C:\\base\\ab"},
             {"", "y.zip", "y.zip"}})
        EXPECT_EQ(MakeAbsolutePath(c.a, c.b), c.out) << c.a << " + " << c.b;
}

// What the system's own full-path rule gives for a path named on a command line, started in C:\\work.
TEST(ZipPaths, FullPathName) {
    for (const TwoArgs& c : std::vector<TwoArgs>{
             {"C:\\work", "data\\a.zip", "C:\\work\\data\\a.zip"},
             {"C:\\work\\", "data/a.zip", "C:\\work\\data\\a.zip"},
             {"C:\\work", "/data/a.zip", "C:\\data\\a.zip"},
             {"C:\\work", "\\data\\a.zip", "C:\\data\\a.zip"},
             {"C:\\work", "D:/x/a.zip", "D:\\x\\a.zip"},
             {"C:\\work", "c:a.zip", "C:\\work\\a.zip"},
             {"C:\\work", "D:a.zip", "D:\\a.zip"},
             {"C:\\work\\sub", "..\\a.zip", "C:\\work\\a.zip"},
             {"C:\\work", "./x/../../../a.zip", "C:\\a.zip"},
             {"C:\\work", "out\\", "C:\\work\\out\\"},
             {"C:\\work", ".", "C:\\work"},
             {"C:\\", "a.zip", "C:\\a.zip"},
             {"C:\\work", "//server/share/d/a.zip", "\\\\server\\share\\d\\a.zip"},
             {"\\\\server\\share\\d", "a.zip", "\\\\server\\share\\d\\a.zip"},
             {"\\\\server\\share\\d", "\\a.zip", "\\\\server\\share\\a.zip"},
             {"C:\\work", "", ""}})
        EXPECT_EQ(FullPathName(c.a, c.b), c.out) << c.a << " + " << c.b;
}

TEST(ZipPaths, ExtractFileDrive) {
    for (const OneArg& c : std::vector<OneArg>{{"C:\\dir\\a.zip", "C:"},
                                               {"a:\\a.zip", "a:"},
                                               {"\\\\server\\share\\dir\\a.zip", "\\\\server\\share"},
                                               {"dir\\a.zip", ""},
                                               {"\\dir\\a.zip", ""},
                                               {"", ""}})
        EXPECT_EQ(ExtractFileDrive(c.in), c.out) << c.in;
}

TEST(ZipPaths, ExtractFilePathAndName) {
    struct Case {
        std::string in, path, name;
    };
    for (const Case& c : std::vector<Case>{{"C:\\dir\\a.zip", "C:\\dir\\", "a.zip"},
                                           {"C:\\a.zip", "C:\\", "a.zip"},
                                           {"a.zip", "", "a.zip"},
                                           {"C:\\dir\\", "C:\\dir\\", ""},
                                           {"C:\\d.x\\a", "C:\\d.x\\", "a"}}) {
        EXPECT_EQ(ExtractFilePath(c.in), c.path) << c.in;
        EXPECT_EQ(ExtractFileName(c.in), c.name) << c.in;
    }
}

TEST(ZipPaths, ChangeFileExt) {
    for (const TwoArgs& c : std::vector<TwoArgs>{{"C:\\dir\\a.zip", ".exe", "C:\\dir\\a.exe"},
                                                 {"C:\\dir\\a.ZIP", ".exe", "C:\\dir\\a.exe"},
                                                 {"C:\\dir\\a", ".zip", "C:\\dir\\a.zip"},
                                                 {"C:\\d.x\\a", ".zip", "C:\\d.x\\a.zip"},
                                                 {"C:\\dir\\a.b.exe", ".zip", "C:\\dir\\a.b.zip"}})
        EXPECT_EQ(ChangeFileExt(c.a, c.b), c.out) << c.a;
}
