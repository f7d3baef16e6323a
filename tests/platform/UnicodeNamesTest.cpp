// Names in any script through the platform layer: made, found, renamed, timed and deleted by their
// UTF-8 names, and read back as the file system itself holds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/TempFiles.h"
#include "platform/Time.h"
#include "tests/support/TestFolder.h"

#ifdef _WIN32
#include "platform/win32/WindowsApi.h"  // <windows.h> without the macros that rename our calls
#else
#include <filesystem>
#endif

namespace {

struct ScriptName {
    const char* utf8;
    const wchar_t* utf16;  // as the compiler spells it, not as our conversion does
};

const ScriptName kNames[] = {
    {"\xCE\xB1\xCE\xB2\xCE\xB3.txt", L"\u03B1\u03B2\u03B3.txt"},        // Greek
    {"\xE4\xB8\xAD\xE6\x96\x87.txt", L"\u4E2D\u6587.txt"},              // CJK
    {"\xF0\x9F\x98\x80 smile.txt", L"\U0001F600 smile.txt"},          // emoji beyond the BMP
};

// The names in the folder, as the system lists them (UTF-16 on Windows, bytes on the host).
#ifdef _WIN32
using NativeName = std::wstring;
#define SUFFIX(text) L##text
std::vector<NativeName> NativeNames(const std::string& folder) {
    std::vector<NativeName> names;
    const std::wstring pattern = std::wstring(folder.begin(), folder.end()) + L"\\*";  // the folder is ASCII
    WIN32_FIND_DATAW found;
    const HANDLE find = ::FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return names;
}
NativeName Expected(const ScriptName& name, const wchar_t* suffix) { return NativeName(name.utf16) + suffix; }
#else
using NativeName = std::string;
#define SUFFIX(text) text
std::vector<NativeName> NativeNames(const std::string& folder) {
    std::vector<NativeName> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    return names;
}
NativeName Expected(const ScriptName& name, const char* suffix) { return NativeName(name.utf8) + suffix; }
#endif

class UnicodeNames : public ::testing::TestWithParam<ScriptName> {
protected:
    larktest::TestFolder folder;
};

TEST_P(UnicodeNames, MadeFoundRenamedTimedAndDeleted) {
    const std::string name = GetParam().utf8;
    const std::string path = folder.Path("d\\" + name);
    ASSERT_TRUE(platform::CreateDirectory(folder.Path("d")));
    {
        platform::FileStream file(path, platform::Access::CreateNew);
        ASSERT_EQ(file.Write("abc", 3), 3);
    }
    EXPECT_TRUE(platform::FileExists(path));
    EXPECT_EQ(NativeNames(folder.NativePath("d")), std::vector<NativeName>{Expected(GetParam(), SUFFIX(""))});

    const std::vector<platform::FileDetails> listed = platform::ListDirectory(folder.Path("d"));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, name);

    const std::string renamed = path + ".old";
    ASSERT_TRUE(platform::MoveFile(path, renamed));
    EXPECT_EQ(NativeNames(folder.NativePath("d")), std::vector<NativeName>{Expected(GetParam(), SUFFIX(".old"))});

    const platform::LocalTime time{2001, 2, 3, 4, 5, 6};
    ASSERT_TRUE(platform::SetFileModified(renamed, time));
    platform::FileDetails details;
    ASSERT_TRUE(platform::GetFileDetails(renamed, details));
    EXPECT_EQ(details.name, name + ".old");
    EXPECT_EQ(details.size, 3);
    EXPECT_EQ(details.modified.year * 100 + details.modified.second, 200106);

    ASSERT_TRUE(platform::CopyFile(renamed, path, true));
    EXPECT_TRUE(platform::DeleteFile(renamed));
    EXPECT_TRUE(platform::DeleteFile(path));
    EXPECT_TRUE(NativeNames(folder.NativePath("d")).empty());
    EXPECT_TRUE(platform::RemoveDirectory(folder.Path("d")));
}

// A folder named in the script holds temporary files and is the current folder as any other.
TEST_P(UnicodeNames, FolderTakesTemporaryFilesAndIsCurrent) {
    const std::string sub = folder.Path(GetParam().utf8);
    ASSERT_TRUE(platform::CreateDirectory(sub));
    const std::string temp = platform::GetTempFileName(sub, "lk");
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.compare(0, sub.size() + 1, sub + "\\"), 0) << temp;
    EXPECT_TRUE(platform::FileExists(temp));
    const std::string before = platform::GetCurrentDirectory();
    ASSERT_TRUE(platform::SetCurrentDirectory(sub));
    EXPECT_EQ(platform::GetCurrentDirectory(), sub);
    ASSERT_TRUE(platform::SetCurrentDirectory(before));
    EXPECT_TRUE(platform::DeleteFile(temp));
}

INSTANTIATE_TEST_SUITE_P(Scripts, UnicodeNames, ::testing::ValuesIn(kNames));

}  // namespace
