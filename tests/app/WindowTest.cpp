// The real larkspool.exe, started as a user would and read from outside: caption, rows, comment,
// status line, buttons and the association in the registry; one screenshot of a listed archive.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/resource.h"
#include "archive/Zip.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TestFolder.h"

using namespace larktest;
using platform::win32::WindowHandle;
using zip::FormatMsg;
using zip::Msg;

namespace {

constexpr const char* kMainWindowClass = "LarkspoolMainForm";

struct HandlePolicy {
    using Value = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
using KernelHandle = platform::UniqueHandle<HandlePolicy>;

std::string ProgramPath() { return ExtractFilePath(platform::ModuleFileName()) + "larkspool.exe"; }

// One run of the program, closed (or ended) when the test is done with it.
class RunningProgram {
public:
    explicit RunningProgram(const std::vector<std::string>& arguments) {
        std::string commandLine = "\"" + ProgramPath() + "\"";
        for (const std::string& argument : arguments) commandLine += " \"" + argument + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &started))
            return;
        process_.Reset(started.hProcess);
        KernelHandle thread(started.hThread);
        processId_ = started.dwProcessId;
        ::WaitForInputIdle(process_.Get(), 10000);
        for (int i = 0; i < 1000 && !window_; ++i) {
            window_ = FindWindowOf(processId_);
            if (!window_) ::Sleep(10);
        }
    }
    ~RunningProgram() {
        if (!process_) return;
        if (window_) ::PostMessageA(window_, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process_.Get(), 5000) != WAIT_OBJECT_0) ::TerminateProcess(process_.Get(), 1);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    HWND Window() const { return window_; }
    HANDLE Process() const { return process_.Get(); }
    HWND Child(int id) const { return ::GetDlgItem(window_, id); }

    // Waits until the start has run its course: the status line is written, or nothing is to be opened.
    void WaitForStart(bool opensArchive) const {
        for (int i = 0; i < 500; ++i) {
            if (opensArchive ? !WindowText(Child(IDC_STATUSBAR)).empty() : ::IsWindowVisible(window_)) break;
            ::Sleep(10);
        }
        ::Sleep(opensArchive ? 100 : 500);  // FormShow runs just after the first show
    }

    std::vector<ListedRow> Rows() const { return ReadList(Child(IDC_LISTVIEW), process_.Get()); }
    std::string Status() const { return ReadStatusText(Child(IDC_STATUSBAR), process_.Get()); }

private:
    struct Search {
        DWORD processId;
        HWND found;
    };

    // Called by EnumWindows; nothing in it can throw.
    static BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
        auto* search = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        char className[64] = {};
        ::GetClassNameA(window, className, sizeof className);
        if (owner == search->processId && ::lstrcmpA(className, kMainWindowClass) == 0 && ::IsWindowVisible(window)) {
            search->found = window;
            return FALSE;
        }
        return TRUE;
    }

    static HWND FindWindowOf(DWORD processId) {
        Search search{processId, nullptr};
        ::EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    KernelHandle process_;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(DisplayAvailable()) << "no display: run under xvfb-run"; }
    TestFolder folder;
};

std::string SampleArchive() {
    ArchiveBuilder builder;
    EntrySpec docs;
    docs.name = "docs/";
    builder.Add(docs);
    EntrySpec readme;
    readme.name = "docs/readme.txt";
    readme.data = std::string(1234, 'r');
    readme.time = 0x6000;  // 12:00:00
    readme.date = 0x2B2C;  // 12 September 2001
    readme.comment = "read me first";
    builder.Add(readme);
    builder.Add("setup.exe", std::string(56789, 's'));
    builder.Comment("Larkspool sample archive");
    return builder.Bytes();
}

TEST_F(WindowTest, ListsTheArchiveNamedOnTheCommandLine) {
    const std::string thousand = LocaleSeparator(LOCALE_STHOUSAND);
    const std::string date = LocaleSeparator(LOCALE_SDATE);
    const std::string time = LocaleSeparator(LOCALE_STIME);
    const std::string fixed = "14" + date + "07" + date + "99 12" + time + "34";
    const std::vector<ListedRow> sampleRows = {
        {"docs\\", "0", fixed, "", 0},
        {"docs\\readme.txt", "1" + thousand + "234", "12" + date + "09" + date + "01 12" + time + "00",
         "read me first", 1},
        {"setup.exe", "56" + thousand + "789", fixed, "", 1},
    };
    ArchiveBuilder sfx;
    sfx.Add("inside.txt", "x");
    sfx.Stub(StubBytes(8192), true);

    struct Case {
        const char* what;
        std::string file;  // empty: no argument
        std::string bytes;
        bool opens;
        std::vector<ListedRow> rows;
        std::string comment;
    };
    const Case cases[] = {
        {"no argument", "", "", false, {}, ""},
        {"a plain archive", "sample.zip", SampleArchive(), true, sampleRows, "Larkspool sample archive"},
        {"upper-case .ZIP", "SAMPLE2.ZIP", SampleArchive(), true, sampleRows, "Larkspool sample archive"},
        {"an .exe argument", "sample.exe", SampleArchive(), false, {}, ""},
        {"an empty archive", "empty.zip", ArchiveBuilder().Bytes(), true, {}, ""},
        {"a self-extracting archive", "sfx.zip", sfx.Bytes(), true, {{"inside.txt", "1", fixed, "", 1}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> arguments;
        std::string path;
        if (!c.file.empty()) {
            path = folder.Write(c.file, c.bytes);
            arguments.push_back(path);
        }
        RunningProgram program(arguments);
        ASSERT_NE(program.Window(), nullptr) << "the window of larkspool.exe did not appear";
        program.WaitForStart(c.opens);
        EXPECT_EQ(WindowText(program.Window()), c.opens ? path : FormatMsg(Msg::MainCaption));
        EXPECT_EQ(program.Rows(), c.rows);
        EXPECT_EQ(WindowText(program.Child(IDC_ZIPCOMMENTSLBL)), c.comment);
        EXPECT_EQ(program.Status(), c.opens ? FormatMsg(Msg::FilesInArchive, static_cast<int>(c.rows.size())) : "");
        if (c.file == "sample.zip") {
            const std::string shots = ScreenshotFolder();
            if (!shots.empty()) {
                EXPECT_TRUE(SaveScreenshot(program.Window(), shots + "\\larkspool-listed.bmp"));
            }
        }
    }
}

TEST_F(WindowTest, StartWritesTheZipAssociation) {
    RunningProgram program({});
    ASSERT_NE(program.Window(), nullptr) << "the window of larkspool.exe did not appear";
    program.WaitForStart(false);
    const std::string path = ProgramPath();
    const std::map<std::string, std::string> expected = {
        {".zip", "zipfile"},
        {"zipfile\\DefaultIcon", path + ",0"},
        {"zipfile\\shell\\open\\command", path + " \"%1\""},
    };
    for (const auto& [key, value] : expected) {
        const std::string written = DefaultValue(HKEY_CLASSES_ROOT, key);
        EXPECT_EQ(::lstrcmpiA(written.c_str(), value.c_str()), 0) << key << " = " << written;
    }
}

TEST_F(WindowTest, ButtonsShowTheirCaptions) {
    RunningProgram program({});
    ASSERT_NE(program.Window(), nullptr) << "the window of larkspool.exe did not appear";
    const std::pair<int, Msg> buttons[] = {{IDM_NEW, Msg::BtnNewCaption},
                                           {IDM_OPEN, Msg::BtnOpenCaption},
                                           {IDM_ADDFILES, Msg::BtnAddCaption},
                                           {IDM_EXTRACT, Msg::BtnExtractCaption},
                                           {IDM_ABOUT, Msg::BtnHelpCaption}};
    for (const auto& [id, caption] : buttons) {
        EXPECT_EQ(WindowText(program.Child(id)), FormatMsg(caption));
        EXPECT_TRUE(::IsWindowEnabled(program.Child(id)));
    }
}

}  // namespace
