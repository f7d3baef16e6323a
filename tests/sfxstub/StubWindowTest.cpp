// sfx.bin's real window, driven from outside as a user would: the destination typed, Extract
// pressed, the final message read. Saves the screenshot of the README.
#include <gtest/gtest.h>

#include "sfxstub/win32/StubResource.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TestFolder.h"

using namespace larktest;

namespace {

struct Search {
    DWORD processId;
    HWND found;
    bool wantMain;  // the stub's window (it has the Extract button), else its message box
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char className[16] = {};
    ::GetClassNameA(window, className, sizeof className);
    const bool isMain = ::GetDlgItem(window, IDC_EXTRACT) != nullptr;
    if (owner == search->processId && ::lstrcmpA(className, "#32770") == 0 && ::IsWindowVisible(window) &&
        isMain == search->wantMain) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForDialog(DWORD processId, bool wantMain) {
    for (int i = 0; i < 3000; ++i) {
        Search search{processId, nullptr, wantMain};
        ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        ::Sleep(10);
    }
    return nullptr;
}

std::string BinFolder() {
    const std::string self = platform::ModuleFileName();
    return self.substr(0, self.find_last_of('\\') + 1);
}

}  // namespace

TEST(StubWindow, ExtractsIntoTheTypedFolderAndReportsIt) {
    ASSERT_TRUE(DisplayAvailable()) << "no display: run under xvfb-run";
    TestFolder folder;
    const std::string archive =
        ArchiveBuilder().Add("readme.txt", "read me\r\n").Add("pictures/", "").Add("pictures/a.bmp", "BM..").Bytes();
    WriteFileBytes(folder.Path("photos.exe"), ReadFileBytes(BinFolder() + "sfx.bin") + archive);

    std::string commandLine = "\"" + folder.Path("photos.exe") + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &started));
    ::CloseHandle(started.hThread);
    HWND window = WaitForDialog(started.dwProcessId, true);
    ASSERT_NE(window, nullptr) << "the stub's window did not appear";
    EXPECT_EQ(WindowText(window), "Larkspool Freeware");
    EXPECT_EQ(WindowText(::GetDlgItem(window, IDC_PRODUCT)), "Talvik");
    EXPECT_EQ(WindowText(::GetDlgItem(window, IDC_DESTINATION)), folder.Path() + "\\");
    EXPECT_EQ(ReadList(::GetDlgItem(window, IDC_FILELIST), started.hProcess).size(), 3u);

    ::SendMessageA(::GetDlgItem(window, IDC_DESTINATION), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(folder.Path("out").c_str()));
    ::Sleep(300);
    const std::string shots = ScreenshotFolder();
    if (!shots.empty()) {
        EXPECT_TRUE(SaveScreenshot(window, shots + "\\sfx-window.bmp"));
    }
    // Posted, as the click runs the whole extraction and its final message box.
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_EXTRACT, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, IDC_EXTRACT)));
    HWND message = WaitForDialog(started.dwProcessId, false);
    ASSERT_NE(message, nullptr) << "no final message";
    EXPECT_EQ(WindowText(::GetDlgItem(message, 0xFFFF)), "2 file(s) extracted to \"" + folder.Path("out") + "\".");
    EXPECT_EQ(ReadFileBytes(folder.Path("out\\readme.txt")), "read me\r\n");
    EXPECT_EQ(ReadFileBytes(folder.Path("out\\pictures\\a.bmp")), "BM..");

    ::PostMessageA(message, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(::WaitForSingleObject(started.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(started.hProcess, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(started.hProcess);
}
