// The archive commands in this process, with scripted dialogs and the fake engines: what each hands
// to the archive object, the status line, the cancel paths, drops, double-click, About.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <thread>
#include <atomic>

#include "app/Main.h"
#include "app/PasswordForm.h"
#include "app/resource.h"
#include "engine/ProgressForm.h"
#include "engine/ZipDlls.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/app/ScriptedDialogs.h"
#include "tests/engine/FakeEngineControl.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"
#include "archive/DiskUtils.h"
#include "platform/win32/WindowsApi.h"

#include <shlobj.h>

using namespace larktest;
using zip::FormatMsg;
using zip::Msg;

namespace {

// What the archive object held when an add or an extract showed its progress window.
struct Handed {
    std::vector<std::string> specs;
    int addOptions;
    std::string root;
    int extractOptions;
    std::string extractDir;
};

class CommandsTest : public ::testing::Test {
protected:
    CommandsTest() : savedDirectory_(platform::GetCurrentDirectory()) {
        engine::UnloadDlls();
        archive = folder.Write("three.zip", ArchiveBuilder()
                                                .Add("a.txt", "alpha")
                                                .Add("dir/b.txt", "bravo")
                                                .Add("dir/c.txt", "charlie")
                                                .Bytes());
    }
    ~CommandsTest() override {
        form.reset();
        platform::SetCurrentDirectory(savedDirectory_);
    }
    void SetUp() override { ASSERT_TRUE(DisplayAvailable()) << "no display: run under xvfb-run"; }

    void Start(const std::string& opened) {
        TMainFormOptions options;
        if (!opened.empty()) options.Arguments = {opened};
        options.AssociationRoot = root.Get();
        options.Dialogs = &dialogs;
        form = std::make_unique<TMainForm>(std::move(options));
        TZip& zip = form->ZipArchive();
        zip.DllDirectory = FakeEngine::Folder();
        zip.SetProgressFormFactory([this](TZip& owner) {
            handed.push_back({owner.FileSpecs(), owner.AddOptions, owner.AddRootDir, owner.ExtractOptions,
                              owner.ExtractDir});
            return MakeNullProgressForm(owner);
        });
        form->Show(SW_SHOWNORMAL);
        PumpUntil([&] { return form->FormShown() && !form->Busy(); });
        PumpMessages();  // FormShow runs from a posted message
        ASSERT_TRUE(::IsWindowVisible(form->Handle()));
    }
    void Command(int id) { ::SendMessageA(form->Handle(), WM_COMMAND, id, 0); }
    void Select(std::initializer_list<int> rows) {
        for (int row = 0; row < form->RowCount(); ++row) {
            LVITEMA item{};
            item.stateMask = LVIS_SELECTED;
            item.state = std::find(rows.begin(), rows.end(), row) != rows.end() ? LVIS_SELECTED : 0;
            ::SendMessageA(form->ListView(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        }
    }
    std::string Status() { return WindowText(form->StatusBar()); }
    std::vector<std::string> DeletedSpecs() {
        std::vector<std::string> specs;
        for (size_t i = 0; i < zipDll.Specs().size(); ++i)
            specs.push_back(*zipDll.SpecText(static_cast<int32_t>(i), engine::ZipSpecEntry::kSpec));
        return specs;
    }

    std::string savedDirectory_;
    TestFolder folder;
    std::string archive;
    TestRegistryRoot root;
    ScriptedUser user;
    ScriptedDialogs dialogs;
    FakeEngine zipDll{FakeEngine::Kind::Zip};
    FakeEngine unzDll{FakeEngine::Kind::Unz};
    std::vector<Handed> handed;
    std::unique_ptr<TMainForm> form;
};

TEST_F(CommandsTest, ExtractHandsTheSelectionOrEverything) {
    struct Case {
        const char* what;
        std::initializer_list<int> selected;
        std::vector<std::string> specs;
    };
    const Case cases[] = {
        {"none selected", {}, {"*.*"}},
        {"the second of three", {1}, {"dir\\b.txt"}},
        {"first and third", {0, 2}, {"a.txt", "dir\\c.txt"}},
        {"all three", {0, 1, 2}, {"*.*"}},
    };
    Start(archive);
    const std::string destination = folder.Path("out");
    platform::CreateDirectory(destination);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        handed.clear();
        Select(c.selected);
        dialogs.folders.push_back(destination);
        unzDll.SetResult(static_cast<int32_t>(c.specs.size()));
        Command(IDM_EXTRACT);
        ASSERT_EQ(handed.size(), 1u);
        EXPECT_EQ(handed[0].specs, c.specs);
        EXPECT_EQ(handed[0].extractOptions, 17);
        EXPECT_EQ(handed[0].extractDir, destination);
        EXPECT_EQ(dialogs.shown.back().title, "Extract to: ");
        EXPECT_EQ(dialogs.shown.back().start, form->ProgramDir) << "the first folder of the open dialog";
        EXPECT_EQ(Status(), FormatMsg(Msg::FilesExtracted, static_cast<int>(c.specs.size())));
    }
    // Errors the engine counted follow the count.
    dialogs.folders.push_back(destination);
    unzDll.SetResult(8);
    unzDll.SetScript("11 0 5 x\n11 0 6 y");
    Command(IDM_EXTRACT);
    EXPECT_EQ(Status(), "8 files extracted from archive.  -  (2 files not extracted due to ERRORS.)");
}

TEST_F(CommandsTest, DeleteAsksNothingAndHandsNamesInListOrder) {
    Start(archive);
    const std::pair<std::initializer_list<int>, std::vector<std::string>> cases[] = {
        {{2, 0}, {"a.txt", "dir\\c.txt"}},
        {{0, 1, 2}, {"*.*"}},
    };
    for (const auto& [selected, specs] : cases) {
        Select(selected);
        zipDll.SetResult(static_cast<int32_t>(specs.size()));
        Command(IDM_DELETE);
        EXPECT_EQ(DeletedSpecs(), specs);
        EXPECT_EQ(Status(), FormatMsg(Msg::FilesDeleted, static_cast<int>(specs.size())));
    }
    EXPECT_TRUE(user.Shown().empty()) << "no question before deleting";
}

TEST_F(CommandsTest, CancelledExtractLeavesNothingForTheNextCommand) {
    Start(archive);
    Select({1});
    dialogs.folders.push_back(std::nullopt);
    Command(IDM_EXTRACT);
    EXPECT_EQ(unzDll.ExecCount(), 0);
    Select({2});
    zipDll.SetResult(1);
    Command(IDM_DELETE);
    EXPECT_EQ(DeletedSpecs(), std::vector<std::string>{"dir\\c.txt"});
}

TEST_F(CommandsTest, EveryCancelEndsTheCommandWithNothingDone) {
    Start(archive);
    const std::string status = Status();
    const std::pair<int, bool> commands[] = {
        {IDM_NEW, true}, {IDM_OPEN, true}, {IDM_ADDFILES, true}, {IDM_ADDFOLDER, false}, {IDM_EXTRACT, false}};
    for (const auto& [id, fileDialog] : commands) {
        SCOPED_TRACE(id);
        if (fileDialog)
            dialogs.files.push_back(std::nullopt);
        else
            dialogs.folders.push_back(std::nullopt);
        Command(id);
        EXPECT_EQ(WindowText(form->Handle()), archive);
        EXPECT_EQ(Status(), status);
    }
    EXPECT_EQ(zipDll.ExecCount() + unzDll.ExecCount(), 0);
    EXPECT_TRUE(handed.empty());
}

TEST_F(CommandsTest, NewReplacesAnExistingFileAndOpenKeepsIt) {
    Start("");
    const std::string other = folder.Write("sub\\other.zip", ArchiveBuilder().Add("keep.txt", "k").Bytes());
    dialogs.files.push_back(std::vector<std::string>{archive});
    Command(IDM_NEW);
    const ScriptedDialogs::Shown& asked = dialogs.shown.back();
    EXPECT_EQ(asked.kind, "save");
    EXPECT_EQ(asked.title, "New Zip filename");
    EXPECT_EQ(asked.filter, "Zip Files (*.zip), Sfx Files (*.exe)|*.zip;*.exe");
    EXPECT_EQ(asked.options, unsigned{ofOverwritePrompt | ofHideReadOnly | ofPathMustExist});
    EXPECT_EQ(asked.start, form->ProgramDir);
    EXPECT_EQ(WindowText(form->Handle()), archive);
    EXPECT_EQ(form->RowCount(), 0) << "the old archive was deleted and an empty one made";
    EXPECT_EQ(folder.Read("three.zip").size(), 22u);
    EXPECT_EQ(Status(), FormatMsg(Msg::FilesInArchive, 0));

    dialogs.files.push_back(std::vector<std::string>{other});
    Command(IDM_OPEN);
    EXPECT_EQ(dialogs.shown.back().title, "Open Zip file");
    EXPECT_EQ(dialogs.shown.back().options, unsigned{ofHideReadOnly | ofPathMustExist});
    EXPECT_EQ(dialogs.shown.back().start, folder.Path() + "\\") << "New moved the first folder";
    ASSERT_EQ(form->RowCount(), 1);
    EXPECT_EQ(form->SaveDialog.InitialDir, folder.Path("sub") + "\\");
    EXPECT_EQ(form->OpenDialog.InitialDir, folder.Path("sub") + "\\");
}

TEST_F(CommandsTest, AddFilesAndAddFolderHandTheirChoice) {
    Start(archive);
    const std::string one = folder.Write("one.txt", "1"), two = folder.Write("two words.txt", "2");
    dialogs.files.push_back(std::vector<std::string>{one, two});
    zipDll.SetResult(2);
    Command(IDM_ADDFILES);
    const ScriptedDialogs::Shown& asked = dialogs.shown.back();
    EXPECT_EQ(asked.title, "Add Files to Zip file");
    EXPECT_EQ(asked.filter, "All Files (*.*)|*.*");
    EXPECT_TRUE(asked.options & ofAllowMultiSelect);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].specs, (std::vector<std::string>{one, two}));
    EXPECT_EQ(handed[0].addOptions, 2);
    EXPECT_EQ(Status(), FormatMsg(Msg::FilesAdded, 2));

    dialogs.folders.push_back(folder.Path());
    zipDll.SetResult(5);
    Command(IDM_ADDFOLDER);
    EXPECT_EQ(dialogs.shown.back().title, "Select Folder to add: ");
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_EQ(handed[1].specs, std::vector<std::string>{"*.*"});
    EXPECT_EQ(handed[1].addOptions, 20);
    EXPECT_EQ(handed[1].root, folder.Path());
    EXPECT_EQ(*zipDll.SpecText(0, engine::ZipSpecEntry::kRootDir), folder.Path() + "\\");
    EXPECT_EQ(Status(), FormatMsg(Msg::FilesAdded, 5));

    // A question cancelled during the add: the status says so.
    dialogs.files.push_back(std::vector<std::string>{one});
    zipDll.SetScript("9 0 0 one.txt");
    user.Answer(platform::kIdCancel);
    Command(IDM_ADDFILES);
    EXPECT_EQ(Status(), "Add cancelled: no file added");
}

TEST_F(CommandsTest, AddButtonWithNoArchiveShowsTheRefusalThenTheCount) {
    Start("");
    dialogs.files.push_back(std::vector<std::string>{folder.Write("x.txt", "x")});
    user.Answer(platform::kIdOk);
    ::SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(IDM_ADDFILES, BN_CLICKED),
                   reinterpret_cast<LPARAM>(form->Button(IDM_ADDFILES)));
    ASSERT_EQ(user.Shown().size(), 1u);
    EXPECT_EQ(user.Shown()[0].text, FormatMsg(Msg::NoZipFileOpen));
    EXPECT_EQ(Status(), FormatMsg(Msg::FilesAdded, 0));
    // Extract by its button with no rows does nothing at all.
    ::SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(IDM_EXTRACT, BN_CLICKED),
                   reinterpret_cast<LPARAM>(form->Button(IDM_EXTRACT)));
    EXPECT_EQ(dialogs.shown.size(), 1u);
    // Invert Selection with no rows changes nothing.
    Command(IDM_SELECTNONE);
    EXPECT_EQ(::SendMessageA(form->ListView(), LVM_GETSELECTEDCOUNT, 0, 0), 0);
}

// A drop handle as the shell makes it: DROPFILES followed by the paths, each ending in NUL.
HDROP MakeDrop(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) list += path + '\0';
    list += '\0';
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    auto* header = static_cast<DROPFILES*>(::GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size());
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST_F(CommandsTest, DropsOpenOneZipAndAddSeveralItemsInOrder) {
    Start("");
    const std::string text = folder.Write("note.txt", "n");
    const std::string tree = folder.Path("tree");
    platform::CreateDirectory(tree);
    // Longer than 255 characters: cut there it would name another file.
    const size_t room = 258 - folder.Path().size() - 1;
    ASSERT_GT(room, 8u) << "the test folder's path is too long for the case";
    const std::string longName = folder.Path(std::string(room - 4, 'x') + ".txt");
    ASSERT_EQ(longName.size(), 258u);
    struct Case {
        const char* what;
        std::vector<std::string> dropped;
        std::vector<Handed> adds;
        std::string caption;
    };
    const std::string none = FormatMsg(Msg::MainCaption);
    const Case cases[] = {
        {"one text file", {text}, {}, none},
        {"one folder", {tree}, {}, none},
        {"one zip", {archive}, {}, archive},
        {"a folder and two files",
         {tree, text, longName},
         {{{"*.*"}, 20, tree, 0, ""}, {{text}, 2, "", 0, ""}, {{longName}, 2, "", 0, ""}},
         archive},
    };
    zipDll.SetResult(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        handed.clear();
        ::SendMessageA(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(c.dropped)), 0);
        EXPECT_EQ(WindowText(form->Handle()), c.caption);
        ASSERT_EQ(handed.size(), c.adds.size());
        for (size_t i = 0; i < c.adds.size(); ++i) {
            EXPECT_EQ(handed[i].specs, c.adds[i].specs);
            EXPECT_EQ(handed[i].addOptions, c.adds[i].addOptions);
            EXPECT_EQ(handed[i].root, c.adds[i].root);
        }
    }
}

TEST_F(CommandsTest, PasswordAboutAndDoubleClick) {
    Start(archive);
    struct Case {
        std::optional<std::string> typed;  // nullopt: Cancel
        bool strong;
        std::string password;
        bool strongAfter;
        bool refused;
    };
    const Case cases[] = {{"secret", true, "secret", true, false},
                          {std::nullopt, false, "secret", true, false},
                          {std::string(81, 'p'), false, "secret", true, true},
                          {"", false, "", false, false}};
    EXPECT_FALSE(form->ZipArchive().StrongEncryption) << "off until chosen";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.value_or("(cancel)"));
        const std::string before = form->ZipArchive().Password();
        const bool strongBefore = form->ZipArchive().StrongEncryption;
        dialogs.onModal = [&](platform::win32::ModalDialog& dialog) {
            auto& box = dynamic_cast<TPasswordForm&>(dialog);
            EXPECT_EQ(box.Caption, archive);
            EXPECT_EQ(box.Password, before);
            EXPECT_EQ(box.StrongEncryption, strongBefore);
            if (!c.typed) return IDCANCEL;
            box.Password = *c.typed;
            box.StrongEncryption = c.strong;
            return IDOK;
        };
        if (c.refused) user.Answer(platform::kIdOk);
        Command(IDM_PASSWORD);
        EXPECT_EQ(form->ZipArchive().Password(), c.password);
        EXPECT_EQ(form->ZipArchive().StrongEncryption, c.strongAfter);
    }
    dialogs.onModal = nullptr;
    EXPECT_EQ(user.Shown().back().text, FormatMsg(Msg::PasswordTooLong));

    Command(IDM_ABOUT);
    ASSERT_EQ(dialogs.opened.size(), 1u);
    EXPECT_EQ(dialogs.opened[0].first, form->ProgramDir + "Larkspool.html");
    EXPECT_TRUE(platform::FileExists(dialogs.opened[0].first)) << "the page ships beside the program";
    EXPECT_EQ(dialogs.opened[0].second, GetTempDirectory());

    NMHDR click{form->ListView(), IDC_LISTVIEW, static_cast<UINT>(NM_DBLCLK)};
    ::SendMessageA(form->Handle(), WM_NOTIFY, IDC_LISTVIEW, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(dialogs.opened.size(), 1u) << "no row selected: nothing opens";
    Select({1, 2});
    unzDll.SetResult(1);
    ::SendMessageA(form->Handle(), WM_NOTIFY, IDC_LISTVIEW, reinterpret_cast<LPARAM>(&click));
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].specs, std::vector<std::string>{"dir\\b.txt"});
    EXPECT_EQ(handed[0].extractOptions, 1);
    // Each opening gets a fresh folder of its own inside the temporary folder, gone with the window.
    const std::string folder = handed[0].extractDir;
    EXPECT_EQ(folder.rfind(GetTempDirectory(), 0), 0u) << folder;
    EXPECT_NE(folder, GetTempDirectory());
    EXPECT_TRUE(platform::DirectoryExists(folder));
    ASSERT_EQ(dialogs.opened.size(), 2u);
    EXPECT_EQ(dialogs.opened[1], std::make_pair(std::string("b.txt"), folder));
    ::SendMessageA(form->Handle(), WM_NOTIFY, IDC_LISTVIEW, reinterpret_cast<LPARAM>(&click));
    ASSERT_EQ(handed.size(), 2u);
    EXPECT_NE(handed[1].extractDir, folder);
    form.reset();
    EXPECT_FALSE(platform::DirectoryExists(folder));
    EXPECT_FALSE(platform::DirectoryExists(handed[1].extractDir));
}

TEST(ShellDialogHelpers, TrimmingAndChosenNames) {
    const std::pair<const char*, const char*> trims[] = {
        {"C:\\Data\\", "C:\\Data"}, {"C:\\", "C:\\"}, {"", ""}, {"C:\\Data", "C:\\Data"}};
    for (const auto& [path, trimmed] : trims) EXPECT_EQ(TrimTrailingBackslash(path), trimmed) << path;
    auto buffer = [](const std::string& text) { return std::vector<char>(text.begin(), text.end()); };
    const std::pair<std::string, std::vector<std::string>> lists[] = {
        {std::string("C:\\a\\one.txt\0\0", 14), {"C:\\a\\one.txt"}},
        {std::string("C:\\a\0one.txt\0two.txt\0\0", 22), {"C:\\a\\one.txt", "C:\\a\\two.txt"}},
        {std::string("C:\\\0one.txt\0\0", 13), {"C:\\one.txt"}},
        {std::string("C:\\a\0D:\\b\\x.txt\0y.txt\0\0", 23), {"D:\\b\\x.txt", "C:\\a\\y.txt"}},
        {std::string("\0", 1), {}},
    };
    for (const auto& [text, files] : lists) EXPECT_EQ(SplitChosenFiles(buffer(text)), files);
}

}  // namespace

// The real open dialog, driven from a second thread: a choice of long names in many characters
// comes back whole, never cut off, also when the caller asks for a small first buffer.
TEST(ShellDialogs, OpenDialogReturnsEveryChosenFile) {
    ASSERT_TRUE(DisplayAvailable()) << "no display: run under xvfb-run";
    // A main window closed by an earlier test leaves WM_QUIT behind, which would end the dialog.
    MSG quit;
    while (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    TestFolder folder;
    std::vector<std::string> expected;
    std::string typed;
    for (int i = 0; i < 120; ++i) {
        const std::string name = std::to_string(1000 + i) + "\xCE\xB1" + std::string(140, 'n') + ".txt";  // alpha
        expected.push_back(folder.Write(name, "x"));
        typed += "\"" + name + "\" ";
    }
    std::atomic<bool> done{false};
    std::atomic<int> answered{0};
    std::thread typist([&] {
        // Each time a dialog comes up: into the folder, then every name at once. After a minute
        // it cancels whatever is open, so that a failure ends the test instead of hanging it.
        HWND handled = nullptr;
        for (int i = 0; i < 2400 && !done; ++i) {
            HWND dialog = ::FindWindowA("#32770", "Many files");
            if (!dialog || dialog == handled || !::IsWindowVisible(dialog)) {
                ::Sleep(25);
                continue;
            }
            ::Sleep(500);
            HWND edit = ::FindWindowExA(::FindWindowExA(::FindWindowExA(dialog, nullptr, "ComboBoxEx32", nullptr),
                                                        nullptr, "ComboBox", nullptr),
                                        nullptr, "Edit", nullptr);
            ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.Path().c_str()));
            ::SendMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            ::Sleep(500);
            ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(platform::win32::Wide(typed).c_str()));
            ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            ++answered;
            handled = dialog;
        }
        if (HWND left = ::FindWindowA("#32770", "Many files")) ::PostMessageA(left, WM_COMMAND, IDCANCEL, 0);
    });
    std::unique_ptr<TDialogs> dialogs = MakeShellDialogs(nullptr, 4096);
    TFileDialog dialog;
    dialog.Title = "Many files";
    dialog.Filter = FormatMsg(Msg::AllFilesFilter);
    dialog.Options = ofAllowMultiSelect | ofHideReadOnly | ofEnableSizing;
    const bool chosen = dialogs->ExecuteOpen(dialog);
    done = true;
    typist.join();
    ASSERT_TRUE(chosen);
    EXPECT_GE(answered, 1);
    ASSERT_EQ(dialog.Files.size(), expected.size());
    std::vector<std::string> files = dialog.Files;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, expected);
}
