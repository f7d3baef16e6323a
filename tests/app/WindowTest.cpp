// The real larkspool.exe, started as a user would and read from outside: caption, rows, comment,
// status line, buttons and the association in the registry; one screenshot of a listed archive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "app/resource.h"
#include "tzip/Zip.h"
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

// The program beside the tests, or the one in the folder LARK_PROGRAM_DIR names (an installed release).
std::string ProgramPath() {
    const char* installed = std::getenv("LARK_PROGRAM_DIR");
    return (installed ? std::string(installed) + "\\" : ExtractFilePath(platform::ModuleFileName())) + "larkspool.exe";
}

// One run of the program, closed (or ended) when the test is done with it.
class RunningProgram {
public:
    explicit RunningProgram(const std::vector<std::string>& arguments) {
        std::string commandLine = "\"" + ProgramPath() + "\"";
        for (const std::string& argument : arguments) commandLine += " \"" + argument + "\"";
        // Started by its wide command line, so that arguments in any script reach it whole.
        std::wstring wide(commandLine.size() + 1, L'\0');
        wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, commandLine.c_str(), -1, &wide[0],
                                                              static_cast<int>(wide.size()))));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
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
    DWORD ProcessId() const { return processId_; }
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

// Names flagged as UTF-8 (bit 11), as Python's zipfile and 7-Zip write them: Greek, Cyrillic, CJK
// and a character beyond the BMP.
std::string ScriptsArchive() {
    ArchiveBuilder builder;
    for (const char* name : {"\xCE\xB1\xCE\xB2\xCE\xB3.txt", "\xD0\x96\xD1\x83\xD0\xBA.txt", "\xE4\xB8\xAD\xE6\x96\x87.txt",
                             "\xF0\x9F\x98\x80.txt"}) {
        EntrySpec entry;
        entry.name = name;
        entry.data = "x";
        entry.flags = 0x0800;
        builder.Add(entry);
    }
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
        {"names in three scripts", "scripts.zip", ScriptsArchive(), true,
         {{"\xCE\xB1\xCE\xB2\xCE\xB3.txt", "1", fixed, "", 1},
          {"\xD0\x96\xD1\x83\xD0\xBA.txt", "1", fixed, "", 1},
          {"\xE4\xB8\xAD\xE6\x96\x87.txt", "1", fixed, "", 1},
          {"\xF0\x9F\x98\x80.txt", "1", fixed, "", 1}},
         ""},
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
        const std::string shots = ScreenshotFolder();
        if (!shots.empty() && (c.file == "sample.zip" || c.file == "scripts.zip")) {
            const std::string shot = c.file == "sample.zip" ? "larkspool-listed" : "larkspool-scripts";
            EXPECT_TRUE(SaveScreenshot(program.Window(), shots + "\\" + shot + ".bmp"));
        }
    }
}

// The program of an installed release (LARK_PROGRAM_DIR) starts and lists an archive; one start
// only, as the package test runs it after installing.
TEST_F(WindowTest, InstalledReleaseListsAnArchive) {
    if (!std::getenv("LARK_PROGRAM_DIR")) GTEST_SKIP() << "no installed release named";
    const std::string path = folder.Write("sample.zip", SampleArchive());
    RunningProgram program({path});
    ASSERT_NE(program.Window(), nullptr) << "the window of the installed larkspool.exe did not appear";
    program.WaitForStart(true);
    EXPECT_EQ(WindowText(program.Window()), path);
    EXPECT_EQ(program.Rows().size(), 3u);
    EXPECT_EQ(program.Status(), FormatMsg(Msg::FilesInArchive, 3));
}

// The path arrives by the wide command line and shows in the caption as it is.
TEST_F(WindowTest, OpensAnArchiveNamedInAnotherScript) {
    const std::string path = folder.Path("\xE4\xB8\xAD\xE6\x96\x87.zip");
    ASSERT_TRUE(platform::MoveFile(folder.Write("scripts.zip", ScriptsArchive()), path));
    RunningProgram program({path});
    ASSERT_NE(program.Window(), nullptr) << "the window of larkspool.exe did not appear";
    program.WaitForStart(true);
    EXPECT_EQ(WindowText(program.Window()), path);
    EXPECT_EQ(program.Rows().size(), 4u);
}

TEST_F(WindowTest, StartWritesTheZipAssociation) {
    RunningProgram program({});
    ASSERT_NE(program.Window(), nullptr) << "the window of larkspool.exe did not appear";
    program.WaitForStart(false);
    const std::string path = ProgramPath();
    const std::map<std::string, std::string> expected = {
        {".zip", "zipfile"},
        {"zipfile\\DefaultIcon", path + ",0"},
        {"zipfile\\shell\\open\\command", "\"" + path + "\" \"%1\""},
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

// ---------------------------------------------------------------------------------------------
// A session with the real dialogs, driven from outside as a user would.

bool WaitUntil(const std::function<bool()>& done, int seconds = 30) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (done()) return true;
        ::Sleep(50);
    }
    return done();
}

struct DialogSearch {
    DWORD processId;
    std::string caption;
    HWND found;
};

// Called by EnumWindows; nothing in it can throw.
BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<DialogSearch*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char className[64] = {}, caption[512] = {};
    ::GetClassNameA(window, className, sizeof className);
    ::GetWindowTextA(window, caption, sizeof caption);
    if (owner == search->processId && ::lstrcmpA(className, "#32770") == 0 && ::IsWindowVisible(window) &&
        search->caption == caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The program's dialog of that caption, once it is on screen; nullptr when it never came.
HWND WaitForDialog(const RunningProgram& program, const std::string& caption) {
    DialogSearch search{program.ProcessId(), caption, nullptr};
    WaitUntil([&] {
        ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    if (search.found) ::Sleep(500);  // let it finish painting (and the browser its first folder)
    return search.found;
}

BOOL CALLBACK MatchEdit(HWND window, LPARAM data) {
    char className[16] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (::lstrcmpiA(className, "Edit") != 0) return TRUE;
    *reinterpret_cast<HWND*>(data) = window;
    return FALSE;
}

// Types `text` into the file dialog's name box and presses its OK button.
void EnterFileName(HWND dialog, const std::string& text) {
    HWND edit = nullptr;
    ::EnumChildWindows(dialog, &MatchEdit, reinterpret_cast<LPARAM>(&edit));
    ASSERT_NE(edit, nullptr) << "the file dialog has no name box";
    ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

void Shoot(HWND window, const std::string& name) {
    const std::string shots = ScreenshotFolder();
    if (!shots.empty()) {
        EXPECT_TRUE(SaveScreenshot(window, shots + "\\" + name + ".bmp"));
    }
}

// Where archives go for the peers to judge after the run (the host path in LARK_GUI_VERDICTS).
std::string VerdictFolder() {
    char folder[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("LARK_GUI_VERDICTS", folder, sizeof folder) == 0) return std::string();
    std::string path = std::string("Z:") + folder;
    for (char& c : path)
        if (c == '/') c = '\\';
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

// Leaves a copy of `archive` and the files it must hold for check_engine_archives.py.
void ExportForPeers(const std::string& archive, const std::string& asName,
                    const std::map<std::string, std::string>& files) {
    const std::string out = VerdictFolder();
    if (out.empty()) return;
    ASSERT_TRUE(::CopyFileA(archive.c_str(), (out + "\\" + asName + ".zip").c_str(), FALSE));
    const std::string expected = out + "\\" + asName + ".files";
    for (const auto& [name, bytes] : files) {
        std::string target = expected + "\\" + name;
        for (char& c : target)
            if (c == '/') c = '\\';
        for (size_t slash = target.find('\\', out.size() + 1); slash != std::string::npos;
             slash = target.find('\\', slash + 1))
            ::CreateDirectoryA(target.substr(0, slash).c_str(), nullptr);
        std::ofstream(target, std::ios::binary) << bytes;
    }
}

struct WindowListing {
    DWORD processId;
    std::string text;
};

BOOL CALLBACK ListChild(HWND child, LPARAM data) {
    reinterpret_cast<WindowListing*>(data)->text += " '" + WindowText(child) + "'";
    return TRUE;
}

BOOL CALLBACK ListWindow(HWND window, LPARAM data) {
    auto* listing = reinterpret_cast<WindowListing*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != listing->processId || !::IsWindowVisible(window)) return TRUE;
    listing->text += "[" + WindowText(window) + "]";
    ::EnumChildWindows(window, &ListChild, data);
    listing->text += "\n";
    return TRUE;
}

// The program's visible top-level windows with their texts, for a failure message.
std::string DescribeWindows(DWORD processId) {
    WindowListing listing{processId, ""};
    ::EnumWindows(&ListWindow, reinterpret_cast<LPARAM>(&listing));
    return listing.text;
}

// Selects `path` in the folder browser and presses OK, once its status line shows the path (the
// browser selects its starting folder when it is ready, which would undo an earlier selection).
void ChooseInBrowser(const RunningProgram& program, HWND browser, const std::string& path) {
    const bool shown = WaitUntil(
        [&] {
            SelectBrowserFolder(browser, program.Process(), path);
            ::Sleep(200);
            WindowListing listing{0, ""};
            ::EnumChildWindows(browser, &ListChild, reinterpret_cast<LPARAM>(&listing));
            return listing.text.find("'" + path + "'") != std::string::npos;
        },
        15);
    EXPECT_TRUE(shown) << "the browser did not take " << path << ": " << DescribeWindows(program.ProcessId());
    ::PostMessageA(::GetDlgItem(browser, IDOK), BM_CLICK, 0, 0);
}

int RowOf(const std::vector<ListedRow>& rows, const std::string& name) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name) return static_cast<int>(i);
    return -1;
}

TEST_F(WindowTest, ArchiveSessionThroughTheRealDialogs) {
    const std::map<std::string, std::string> tree = {
        {"a.txt", "alpha\r\n"}, {"with spaces.txt", std::string(3000, 's')}, {"sub/b.txt", "bravo"}};
    for (const auto& [name, bytes] : tree) folder.Write("src/" + name, bytes);
    ::CreateDirectoryA(folder.Path("src\\empty").c_str(), nullptr);
    folder.Write("loose/one.txt", "one");
    folder.Write("loose/two.txt", "two");
    folder.Write("loose/secret.txt", "the secret");
    // The folders the browser is sent to exist before it first lists their parent: on a busy
    // machine it once never took one made while the program ran.
    const std::string out = folder.Path("out");
    const std::string secretOut = folder.Path("secret-out");
    const std::string all = folder.Path("all");
    for (const std::string& made : {out, secretOut, all}) ::CreateDirectoryA(made.c_str(), nullptr);
    const std::string archive = folder.Path("src\\new.zip");
    RunningProgram program({});
    ASSERT_NE(program.Window(), nullptr) << "the window of larkspool.exe did not appear";
    program.WaitForStart(false);
    auto command = [&](int id) { ::PostMessageA(program.Window(), WM_COMMAND, id, 0); };
    // On failure it says what the status bar shows instead, and which windows are open.
    auto statusBecomes = [&](const std::string& text) -> testing::AssertionResult {
        if (WaitUntil([&] { return program.Status() == text; })) return testing::AssertionSuccess();
        return testing::AssertionFailure() << program.Status() << "\n" << DescribeWindows(program.ProcessId());
    };

    // New, on a fresh name, in the source folder (the first folder of both dialogs follows it).
    command(IDM_NEW);
    HWND dialog = WaitForDialog(program, "New Zip filename");
    ASSERT_NE(dialog, nullptr) << "no New dialog";
    EXPECT_EQ(WindowText(::GetDlgItem(dialog, IDOK)), "&Open");
    Shoot(dialog, "dialog-new");
    EnterFileName(dialog, archive);
    ASSERT_TRUE(statusBecomes(FormatMsg(Msg::FilesInArchive, 0)));
    EXPECT_EQ(WindowText(program.Window()), archive);

    // Add Folder: OK on the starting folder, the archive's own, which the add leaves out.
    command(IDM_ADDFOLDER);
    dialog = WaitForDialog(program, "Browse for Folder");
    ASSERT_NE(dialog, nullptr) << "no folder browser";
    Shoot(dialog, "dialog-add-folder");
    ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(statusBecomes(FormatMsg(Msg::FilesAdded, 3))) << "files, not their folders";
    std::vector<ListedRow> rows = program.Rows();
    for (const char* name : {"a.txt", "with spaces.txt", "sub\\", "sub\\b.txt", "empty\\"})
        EXPECT_GE(RowOf(rows, name), 0) << name;

    // Add Files: into the folder, then two names at once.
    command(IDM_ADDFILES);
    dialog = WaitForDialog(program, "Add Files to Zip file");
    ASSERT_NE(dialog, nullptr) << "no Add Files dialog";
    EnterFileName(dialog, folder.Path("loose"));
    ::Sleep(1000);
    EnterFileName(dialog, "\"one.txt\" \"two.txt\"");
    ASSERT_TRUE(statusBecomes(FormatMsg(Msg::FilesAdded, 2)));
    rows = program.Rows();

    // Extract one selected row into another folder.
    SetRowSelection(program.Child(IDC_LISTVIEW), program.Process(), {RowOf(rows, "sub\\b.txt")});
    command(IDM_EXTRACT);
    dialog = WaitForDialog(program, "Browse for Folder");
    ASSERT_NE(dialog, nullptr) << "no folder browser for Extract";
    Shoot(dialog, "dialog-extract");
    ChooseInBrowser(program, dialog, out);
    ASSERT_TRUE(statusBecomes(FormatMsg(Msg::FilesExtracted, 1)));
    EXPECT_EQ(folder.Read("out/sub/b.txt"), "bravo");
    Shoot(program.Window(), "larkspool-extracted");
    EXPECT_FALSE(folder.Exists("out/a.txt")) << "only the selected row";

    // Delete two rows, without a question.
    SetRowSelection(program.Child(IDC_LISTVIEW), program.Process(),
                    {RowOf(rows, "one.txt"), RowOf(rows, "two.txt")});
    command(IDM_DELETE);
    ASSERT_TRUE(statusBecomes(FormatMsg(Msg::FilesDeleted, 2)));

    // Set Password with strong encryption, then an AES add, its test and its extraction.
    command(IDM_PASSWORD);
    dialog = WaitForDialog(program, archive);
    ASSERT_NE(dialog, nullptr) << "no password box";
    ::SetDlgItemTextA(dialog, IDC_EDPASSWORD, "pw");
    EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_CBSTRONGENCRYPTION), BST_UNCHECKED) << "off by default";
    ::CheckDlgButton(dialog, IDC_CBSTRONGENCRYPTION, BST_CHECKED);
    Shoot(dialog, "dialog-password");
    ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    command(IDM_ADDFILES);
    dialog = WaitForDialog(program, "Add Files to Zip file");
    ASSERT_NE(dialog, nullptr) << "no Add Files dialog";
    Shoot(dialog, "dialog-add-files");
    EnterFileName(dialog, folder.Path("loose\\secret.txt"));
    ASSERT_TRUE(statusBecomes(FormatMsg(Msg::FilesAdded, 1)));
    rows = program.Rows();
    SetRowSelection(program.Child(IDC_LISTVIEW), program.Process(), {RowOf(rows, "secret.txt")});
    command(IDM_TESTARCHIVE);
    ASSERT_TRUE(statusBecomes(FormatMsg(Msg::FilesTestedOk, 1)));
    command(IDM_EXTRACT);
    dialog = WaitForDialog(program, "Browse for Folder");
    ASSERT_NE(dialog, nullptr) << "no folder browser for Extract";
    ChooseInBrowser(program, dialog, secretOut);
    ASSERT_TRUE(statusBecomes(FormatMsg(Msg::FilesExtracted, 1)));
    EXPECT_EQ(folder.Read("secret-out/secret.txt"), "the secret");
    Shoot(program.Window(), "larkspool-session");

    // Everything back through the Extract button (no selection: the whole archive), empty folder too.
    SetRowSelection(program.Child(IDC_LISTVIEW), program.Process(), {});
    ::PostMessageA(program.Child(IDM_EXTRACT), BM_CLICK, 0, 0);
    dialog = WaitForDialog(program, "Browse for Folder");
    ASSERT_NE(dialog, nullptr) << "no folder browser for the Extract button";
    ChooseInBrowser(program, dialog, all);
    ASSERT_TRUE(WaitUntil([&] { return program.Status() != FormatMsg(Msg::FilesExtracted, 1); }))
        << program.Status() << "\n" << DescribeWindows(program.ProcessId());
    EXPECT_NE(program.Status().find(" files extracted from archive."), std::string::npos) << program.Status();
    for (const auto& [name, bytes] : tree) EXPECT_EQ(folder.Read("all/" + name), bytes) << name;
    EXPECT_TRUE(platform::DirectoryExists(folder.Path("all\\empty")));

    std::map<std::string, std::string> kept = tree;
    kept["secret.txt"] = "the secret";
    // Only 7-Zip of the peers reads the AES entry.
    ExportForPeers(archive, "aes-gui-pw-session", kept);
}


// ---------------------------------------------------------------------------------------------
// The Action menu with the real dialogs, and the programs it builds, run as a user would.

// A program started with `arguments`, waited for when `wait` holds; its exit code, or -1.
struct StartedProgram {
    KernelHandle process;
    DWORD id = 0;
};

StartedProgram StartProgram(const std::string& program, const std::string& arguments) {
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    StartedProgram result;
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return result;
    result.process.Reset(started.hProcess);
    KernelHandle thread(started.hThread);
    result.id = started.dwProcessId;
    return result;
}

int RunToEnd(const std::string& program, const std::string& arguments) {
    StartedProgram run = StartProgram(program, arguments);
    if (!run.process || ::WaitForSingleObject(run.process.Get(), 60000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(run.process.Get(), &code);
    return static_cast<int>(code);
}

// Leaves the comments `archive` must show for check_comments.py: the archive comment on the first
// line, then one "name<TAB>comment" line per entry.
void ExportComments(const std::string& archive, const std::string& asName, const std::string& zipComment,
                    const std::map<std::string, std::string>& fileComments) {
    const std::string out = VerdictFolder();
    if (out.empty()) return;
    ASSERT_TRUE(::CopyFileA(archive.c_str(), (out + "\\" + asName + ".zip").c_str(), FALSE));
    std::ofstream expected(out + "\\" + asName + ".comments", std::ios::binary);
    expected << zipComment << "\n";
    for (const auto& [name, comment] : fileComments) expected << name << "\t" << comment << "\n";
}

// Fills in the input box of that caption (unless no text is given) and presses OK.
void AnswerInputBox(const RunningProgram& program, const std::string& caption,
                    const std::optional<std::string>& text) {
    HWND box = WaitForDialog(program, caption);
    ASSERT_NE(box, nullptr) << "no input box \"" << caption << "\"\n" << DescribeWindows(program.ProcessId());
    if (text) ::SetDlgItemTextA(box, 101, text->c_str());
    ::PostMessageA(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
}

TEST_F(WindowTest, ActionMenuThroughTheRealDialogs) {
    const std::map<std::string, std::string> files = {{"a.txt", "alpha\r\n"}, {"b.txt", std::string(5000, 'b')}};
    ArchiveBuilder builder;
    for (const auto& [name, bytes] : files) builder.Add(name, bytes);
    // Longer than a one-line box takes, in lines broken as other archivers break them.
    builder.Comment(std::string(200, 'c') + "\n" + std::string(200, 'd'));
    const std::string archive = folder.Write("act/pack.zip", builder.Bytes());
    const std::string ico = MakeIconFile(0x0030A050);
    const std::string icoPath = folder.Write("chosen.ico", ico);
    RunningProgram program({archive});
    ASSERT_NE(program.Window(), nullptr) << "the window of larkspool.exe did not appear";
    program.WaitForStart(true);
    auto command = [&](int id) { ::PostMessageA(program.Window(), WM_COMMAND, id, 0); };

    // OK on a comment left as it was changes nothing, however long it is.
    const std::string untouched = ReadFileBytes(archive);
    command(IDM_MODIFYZIPCOMMENT);
    AnswerInputBox(program, "General Comment", std::nullopt);
    ::SendMessageA(program.Window(), WM_NULL, 0, 0);  // returns once the command has run
    EXPECT_EQ(ReadFileBytes(archive), untouched);

    // Both comments, through their input boxes.
    SetRowSelection(program.Child(IDC_LISTVIEW), program.Process(), {1});
    command(IDM_MODIFYFILECOMMENT);
    AnswerInputBox(program, "File Comment", "the b file");
    ASSERT_TRUE(WaitUntil([&] { return program.Rows().at(1).comment == "the b file"; }));
    command(IDM_MODIFYZIPCOMMENT);
    AnswerInputBox(program, "General Comment", "Pack of two");
    ASSERT_TRUE(WaitUntil([&] { return WindowText(program.Child(IDC_ZIPCOMMENTSLBL)) == "Pack of two"; }));
    ExportComments(archive, "gui-comments", "Pack of two", {{"a.txt", ""}, {"b.txt", "the b file"}});
    ExportForPeers(archive, "gui-comments", files);

    // Zip to Exe with a caption of our own and a chosen icon.
    const std::string original = ReadFileBytes(archive);
    const std::string built = folder.Path("act\\pack.exe");
    command(IDM_CONVERTZIPTOSFX);
    HWND dialog = WaitForDialog(program, "Customize Sfx");
    ASSERT_NE(dialog, nullptr) << "no Customize Sfx dialog\n" << DescribeWindows(program.ProcessId());
    Shoot(dialog, "dialog-customize-sfx");
    ::SetDlgItemTextA(dialog, IDC_EDCAPTION, "Pack installer");
    ::PostMessageA(::GetDlgItem(dialog, IDC_BTNCHANGEICON), BM_CLICK, 0, 0);
    HWND chooser = WaitForDialog(program, "Select File with Icon ...");
    ASSERT_NE(chooser, nullptr) << "no icon file dialog\n" << DescribeWindows(program.ProcessId());
    EnterFileName(chooser, icoPath);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(chooser); }));
    ::Sleep(300);
    ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return WindowText(program.Window()) == built; }))
        << WindowText(program.Window()) << "\n" << DescribeWindows(program.ProcessId());
    EXPECT_EQ(ReadFileBytes(archive), original) << "the source stays as it was";
    EXPECT_EQ(ProgramIconImages(built, "MAINICON"), IconFileImages(ico));

    // The program extracts unattended, and shows its window with the new caption.
    const std::string out = folder.Path("unpacked");
    EXPECT_EQ(RunToEnd(built, "/auto /d:" + out), 0);
    for (const auto& [name, bytes] : files) EXPECT_EQ(folder.Read("unpacked/" + name), bytes) << name;
    {
        StartedProgram shown = StartProgram(built, "");
        ASSERT_TRUE(shown.process);
        DialogSearch search{shown.id, "Pack installer", nullptr};
        EXPECT_TRUE(WaitUntil([&] {
            ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        })) << "the built program's window with the chosen caption";
        if (search.found) {
            // Above the main window, for the screenshot.
            ::SetWindowPos(search.found, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            ::Sleep(300);
            Shoot(search.found, "sfx-customised");
            ::PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
        }
        if (::WaitForSingleObject(shown.process.Get(), 10000) != WAIT_OBJECT_0) ::TerminateProcess(shown.process.Get(), 1);
    }

    // Exe to Zip gives the archive back, byte for byte, once the old one is out of the way.
    ASSERT_TRUE(::MoveFileA(archive.c_str(), folder.Path("act\\original.zip").c_str()));
    command(IDM_CONVERTSFXTOZIP);
    ASSERT_TRUE(WaitUntil([&] { return WindowText(program.Window()) == archive; }))
        << WindowText(program.Window()) << "\n" << DescribeWindows(program.ProcessId());
    EXPECT_EQ(ReadFileBytes(archive), original);
}

}  // namespace
