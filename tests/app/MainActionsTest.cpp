// The Action menu in this process with scripted dialogs: comments, both conversions, the "Customize Sfx" dialog, spanning and merging.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <set>

#include "app/CustSfx.h"
#include "app/Main.h"
#include "app/resource.h"
#include "archive/DiskUtils.h"
#include "platform/Drives.h"
#include "platform/win32/WindowKit.h"
#include "abi/SfxSettings.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/app/ScriptedDialogs.h"
#include "tests/volumes/FloppySet.h"

using namespace larktest;
using zip::FormatMsg;
using zip::Msg;

namespace {

// What runs, one step per timer tick, while a dialog of RunShown is up.
std::deque<std::function<void()>> gWhileShown;

void CALLBACK RunWhileShown(HWND, UINT, UINT_PTR, DWORD) {
    if (gWhileShown.empty()) return;
    auto step = std::move(gWhileShown.front());
    gWhileShown.pop_front();
    step();
}

// Runs `dialog` for real; each step acts on it once the messages before it are handled (the last
// ends it).
INT_PTR RunShown(platform::win32::ModalDialog& dialog, HWND owner, std::vector<std::function<void(HWND)>> steps) {
    // A window of an earlier test ended the loop it never had: its quit would end this dialog at once.
    MSG quit;
    while (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    for (auto& step : steps) gWhileShown.push_back([&dialog, step] { step(dialog.Handle()); });
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &RunWhileShown);
    const INT_PTR result = dialog.RunModal(owner);
    ::KillTimer(nullptr, timer);
    gWhileShown.clear();
    return result;
}

bool IsLabel(int id) { return id == IDC_LBLCAPTION || id == IDC_LBLPRODUCTINFO || id == IDC_LBLCOMMANDLINE; }

// How much room a control's text takes in its font, the access key's ampersand left out.
SIZE TextExtent(HWND control) {
    std::string text = WindowText(control);
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    HDC dc = ::GetDC(control);
    HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(control, dc);
    return size;
}

std::set<std::string> TempFiles() {
    std::set<std::string> names;
    for (const auto& file : platform::ListDirectory(GetTempDirectory())) names.insert(file.name);
    return names;
}

bool Enabled(const TMainForm& form, int command) {
    return !(::GetMenuState(::GetMenu(form.Handle()), static_cast<UINT>(command), MF_BYCOMMAND) & MF_GRAYED);
}

// A main window with scripted dialogs and a registry key of its own for the association.
class ActionsTest : public FloppyTest {
protected:
    void SetUp() override { ASSERT_TRUE(DisplayAvailable()) << "no display: run under xvfb-run"; }
    void TearDown() override {
        form.reset();
        if (dialogs) {
            EXPECT_TRUE(dialogs->opened.empty()) << "no Action command opens a file in the shell";
        }
    }

    void Start(const std::string& archive) {
        form.reset();
        scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        TMainFormOptions options;
        options.Arguments = {archive};
        options.AssociationRoot = root.Get();
        options.Dialogs = dialogs;
        form = std::make_unique<TMainForm>(std::move(options));
        form->Show(SW_SHOWNORMAL);
        PumpUntil([&] { return form->FormShown() && !form->Busy() && !form->ZipArchive().ZipFileName().empty(); });
        PumpMessages();
        ASSERT_TRUE(::IsWindowVisible(form->Handle()));
        ASSERT_EQ(form->ZipArchive().ZipFileName(), archive);
    }

    void Run(int command) {
        ::SendMessageA(form->Handle(), WM_COMMAND, static_cast<WPARAM>(command), 0);
        PumpMessages();
    }

    void SelectRow(int row) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        ::SendMessageA(form->ListView(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }

    std::string Comment(int index) {
        TFileInfo entry;
        form->ZipArchive().GetEntry(index, entry);
        return entry.FileComment;
    }

    std::string Archive(const std::string& name) {
        ArchiveBuilder builder;
        EntrySpec first;
        first.name = "first.txt";
        first.data = "one";
        first.comment = "old comment";
        builder.Add(first);
        builder.Add("second.txt", "two");
        return folder.Write(name, builder.Comment("old zip comment").Bytes());
    }

    TestRegistryRoot root;
    std::unique_ptr<ScriptedDialogs> scripted;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<TMainForm> form;  // destroyed before the dialogs it uses
};

TEST_F(ActionsTest, CommentCommandsAskWithTheOldTextAndPassTheAnswerOn) {
    struct Case {
        const char* what;
        int command;
        std::optional<std::string> typed;
        std::string fileComment, zipComment;
    };
    const Case cases[] = {
        {"file comment typed", IDM_MODIFYFILECOMMENT, "new words", "new words", "old zip comment"},
        {"file comment cancelled", IDM_MODIFYFILECOMMENT, std::nullopt, "old comment", "old zip comment"},
        {"zip comment typed", IDM_MODIFYZIPCOMMENT, "general words", "old comment", "general words"},
        {"zip comment cancelled", IDM_MODIFYZIPCOMMENT, std::nullopt, "old comment", "old zip comment"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Archive("comments.zip");
        Start(path);
        if (c.command == IDM_MODIFYFILECOMMENT) SelectRow(0);
        dialogs->typed.push_back(c.typed);
        Run(c.command);
        ASSERT_EQ(dialogs->shown.size(), 1u);
        const bool file = c.command == IDM_MODIFYFILECOMMENT;
        EXPECT_EQ(dialogs->shown[0].kind, "input");
        EXPECT_EQ(dialogs->shown[0].title,
                  file ? "File Comment|Enter a file comment..." : "General Comment|Enter a comment...");
        EXPECT_EQ(dialogs->shown[0].start, file ? "old comment" : "old zip comment");
        // Read back from the file, through a fresh object.
        TZip reread;
        reread.SetZipFileName(path);
        TFileInfo entry;
        reread.GetEntry(0, entry);
        EXPECT_EQ(entry.FileComment, c.fileComment);
        EXPECT_EQ(reread.GetZipComment(), c.zipComment);
        EXPECT_EQ(form->Row(0).Comment, c.fileComment);
        EXPECT_EQ(WindowText(form->ZipCommentsLbl()), c.zipComment);
    }
}

TEST_F(ActionsTest, FileCommentNeedsExactlyOneRow) {
    Start(Archive("rows.zip"));
    SelectRow(0);
    SelectRow(1);
    Run(IDM_MODIFYFILECOMMENT);
    EXPECT_TRUE(dialogs->shown.empty());
}

TEST_F(ActionsTest, ZipToExeJoinsTheStubAndTheArchiveAndOpensTheProgram) {
    const std::string stub = StubBytes(40000);
    folder.Write("program/sfx.bin", stub);
    const std::string path = Archive("data.v2.zip");
    const std::string archive = ReadFileBytes(path);
    Start(path);
    form->ProgramDir = folder.Path("program") + "\\";
    dialogs->onModal = [](platform::win32::ModalDialog& dialog) {
        auto& custom = dynamic_cast<TCustSfxForm&>(dialog);
        // What the command fills in; left as it is, the stub itself is used.
        EXPECT_EQ(custom.Caption, "Larkspool Freeware");
        EXPECT_EQ(custom.ProductInfo, "Talvik");
        EXPECT_EQ(custom.CommandLine, "\"<?>tzip.hlp\"");
        return static_cast<INT_PTR>(IDOK);
    };
    const std::set<std::string> tempBefore = TempFiles();
    Run(IDM_CONVERTZIPTOSFX);
    const std::string target = folder.Path("data.v2.exe");
    EXPECT_EQ(dialogs->modals, 1);
    EXPECT_EQ(ReadFileBytes(target), stub + archive);
    EXPECT_EQ(ReadFileBytes(path), archive);
    EXPECT_EQ(form->ZipArchive().ZipFileName(), target);
    EXPECT_EQ(form->ZipArchive().SfxOffset(), 40000);
    EXPECT_EQ(WindowText(form->Handle()), target);
    EXPECT_TRUE(Enabled(*form, IDM_CONVERTSFXTOZIP));
    EXPECT_FALSE(Enabled(*form, IDM_CONVERTZIPTOSFX));
    EXPECT_EQ(TempFiles(), tempBefore);
    EXPECT_TRUE(user.Shown().empty());
}

TEST_F(ActionsTest, ZipToExeStopsAtAnExistingTargetOrCancel) {
    struct Case {
        const char* what;
        bool targetExists;
        INT_PTR answer;
    };
    const Case cases[] = {{"target exists", true, IDOK}, {"cancelled", false, IDCANCEL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Archive("b.zip");
        const std::string target = folder.Path("b.exe");
        platform::DeleteFile(target);
        if (c.targetExists) folder.Write("b.exe", "already here");
        Start(path);
        dialogs->onModal = [&](platform::win32::ModalDialog&) { return c.answer; };
        if (c.targetExists) user.Answer(platform::kIdOk);
        Run(IDM_CONVERTZIPTOSFX);
        EXPECT_EQ(dialogs->modals, c.targetExists ? 0 : 1);
        if (c.targetExists) {
            ASSERT_EQ(user.Shown().size(), 1u);
            EXPECT_EQ(user.Shown()[0].text, "\"" + target + "\" already exists ...\nNo conversion done.");
            EXPECT_EQ(ReadFileBytes(target), "already here");
        } else {
            EXPECT_FALSE(platform::FileExists(target));
        }
        EXPECT_EQ(form->ZipArchive().ZipFileName(), path);
        EXPECT_TRUE(Enabled(*form, IDM_CONVERTZIPTOSFX));
        form.reset();
    }
}

TEST_F(ActionsTest, ZipToExeCarriesTheChosenSettingsAndIconIntoTheProgram) {
    const std::string ico = MakeIconFile(0x00C02040);
    const std::string icoPath = folder.Write("chosen.ico", ico);
    const std::string realStub = ReadFileBytes(ExtractFilePath(platform::ModuleFileName()) + "sfx.bin");
    ASSERT_FALSE(realStub.empty()) << "sfx.bin is built beside the tests";
    const std::string path = Archive("custom.zip");
    const std::string archive = ReadFileBytes(path);
    Start(path);
    dialogs->onModal = [&](platform::win32::ModalDialog& dialog) {
        auto& custom = dynamic_cast<TCustSfxForm&>(dialog);
        custom.Caption = "My installer";
        custom.ShowFileList = false;
        custom.IconFileName = icoPath;
        return static_cast<INT_PTR>(IDOK);
    };
    const std::set<std::string> tempBefore = TempFiles();
    Run(IDM_CONVERTZIPTOSFX);
    const std::string target = folder.Path("custom.exe");
    const std::string built = ReadFileBytes(target);
    ASSERT_GT(built.size(), archive.size());
    EXPECT_EQ(built.substr(built.size() - archive.size()), archive);
    const std::vector<uint8_t> stub(built.begin(), built.end() - static_cast<std::ptrdiff_t>(archive.size()));
    const int64_t block = sfxsettings::FindBlock(stub);
    ASSERT_GE(block, 0);
    sfxsettings::SfxSettings settings;
    ASSERT_TRUE(sfxsettings::ReadBlock(stub.data() + block, stub.size() - static_cast<size_t>(block), settings));
    EXPECT_EQ(settings.caption, "My installer");
    EXPECT_EQ(settings.productLine, "Talvik");
    EXPECT_EQ(settings.commandLine, "\"<?>tzip.hlp\"");
    EXPECT_FALSE(settings.showFileList);
    EXPECT_EQ(ProgramIconImages(target, "MAINICON"), IconFileImages(ico));
    // The new icon leaves the stub's other resources as they were: its version, above all.
    const std::string stubVersion = ProgramVersionResource(ExtractFilePath(platform::ModuleFileName()) + "sfx.bin");
    EXPECT_FALSE(stubVersion.empty());
    EXPECT_EQ(ProgramVersionResource(target), stubVersion);
    EXPECT_EQ(form->ZipArchive().SfxOffset(), static_cast<int32_t>(stub.size()));
    EXPECT_EQ(TempFiles(), tempBefore) << "the customised copy of the stub is removed";
    EXPECT_TRUE(user.Shown().empty());
}

TEST_F(ActionsTest, ZipToExeFailuresShowAMessageAndLeaveNoFile) {
    struct Case {
        const char* what;
        std::string stub;
        bool customised;
        int64_t capacity;  // of the archive's drive; 0: no limit
        std::string message;
    };
    const std::string plainStub = StubBytes(4000);
    const Case cases[] = {
        {"stub without a settings block, customised", plainStub, true, 0,
         FormatMsg(Msg::CustomStubFailed, std::string("<stub>"))},
        {"the disk fills up", plainStub, false, 3000,
         "Unable to build the self-extracting program: a file could not be copied whole."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folder.Write("program/sfx.bin", c.stub);
        const std::string programDir = folder.Path("program") + "\\";
        std::string path = Archive("fails.zip");
        if (c.capacity) {
            folder.MapDisk('R', platform::kDriveFixed, "small", "", c.capacity);
            path = "R:\\fails.zip";
            WriteFileBytes(folder.Path("small/fails.zip"), ReadFileBytes(folder.Path("fails.zip")));
        }
        Start(path);
        form->ProgramDir = programDir;
        dialogs->onModal = [&](platform::win32::ModalDialog& dialog) {
            if (c.customised) dynamic_cast<TCustSfxForm&>(dialog).Caption = "changed";
            return static_cast<INT_PTR>(IDOK);
        };
        user.Answer(platform::kIdOk);
        const std::set<std::string> tempBefore = TempFiles();
        const size_t shownBefore = user.Shown().size();
        Run(IDM_CONVERTZIPTOSFX);
        ASSERT_EQ(user.Shown().size(), shownBefore + 1);
        std::string expected = c.message;
        const size_t placeholder = expected.find("<stub>");
        if (placeholder != std::string::npos) expected.replace(placeholder, 6, programDir + "sfx.bin");
        EXPECT_EQ(user.Shown().back().text, expected);
        EXPECT_FALSE(platform::FileExists(ChangeFileExt(path, ".exe")));
        EXPECT_EQ(form->ZipArchive().ZipFileName(), path);
        EXPECT_EQ(TempFiles(), tempBefore);
        form.reset();
    }
}

TEST_F(ActionsTest, ExeToZipGivesTheArchiveBackOrSaysWhy) {
    ArchiveBuilder builder;
    builder.Add("setup.txt", "installed");
    const std::string archive = builder.Bytes();
    struct Case {
        const char* what;
        bool targetExists;
        bool stubGoneBeforeStrip;  // the file lost its stub after it was opened: nothing in front
        std::string message;
    };
    const Case cases[] = {
        {"converted", false, false, ""},
        {"target exists", true, false, "already exists"},
        {"strip fails", false, true, "Something went wrong in StripSfxStub()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string program = folder.Write("setup.exe", StubBytes(3000) + archive);
        const std::string target = folder.Path("setup.zip");
        platform::DeleteFile(target);
        if (c.targetExists) folder.Write("setup.zip", "already here");
        Start(Archive("other.zip"));
        form->OpenArchive(program);  // a program is opened by Open, not from the command line
        if (c.stubGoneBeforeStrip) folder.Write("setup.exe", archive);
        if (!c.message.empty()) user.Answer(platform::kIdOk);
        const size_t shownBefore = user.Shown().size();
        Run(IDM_CONVERTSFXTOZIP);
        if (c.message.empty()) {
            EXPECT_EQ(user.Shown().size(), shownBefore);
            EXPECT_EQ(ReadFileBytes(target), archive);
            EXPECT_EQ(form->ZipArchive().ZipFileName(), target);
            EXPECT_EQ(WindowText(form->Handle()), target);
            EXPECT_TRUE(Enabled(*form, IDM_CONVERTZIPTOSFX));
            EXPECT_FALSE(Enabled(*form, IDM_CONVERTSFXTOZIP));
        } else {
            ASSERT_EQ(user.Shown().size(), shownBefore + 1);
            EXPECT_NE(user.Shown().back().text.find(c.message), std::string::npos) << user.Shown().back().text;
            EXPECT_EQ(form->ZipArchive().ZipFileName(), program);
            if (c.targetExists) EXPECT_EQ(ReadFileBytes(target), "already here");
            else EXPECT_FALSE(platform::FileExists(target)) << "the partial archive is removed";
        }
        form.reset();
    }
}

TEST_F(ActionsTest, CustomizeSfxDialogIsLaidOutAsDesigned) {
    Start(Archive("layout.zip"));
    TCustSfxForm custom(*dialogs);
    custom.Caption = "Larkspool Freeware";
    custom.ProductInfo = "Talvik";
    custom.CommandLine = "\"<?>tzip.hlp\"";
    struct Control {
        int id;
        int left, top, width, height;
        const char* text;
    };
    const Control table[] = {
        {IDC_LBLCAPTION, 39, 26, 39, 13, "C&aption:"},
        {IDC_EDCAPTION, 39, 46, 348, 21, "Larkspool Freeware"},
        {IDC_LBLPRODUCTINFO, 39, 82, 141, 13, "&Product and or Copyright Info:"},
        {IDC_EDPRODUCTINFO, 39, 103, 348, 21, "Talvik"},
        {IDC_LBLCOMMANDLINE, 39, 139, 70, 13, "C&ommandLine:"},
        {IDC_EDCOMMANDLINE, 39, 160, 348, 21, "\"<?>tzip.hlp\""},
        {IDC_CBSHOWFILELIST, 39, 195, 97, 17, "Show File List"},
        {IDC_CUSTIMAGE1, 41, 227, 32, 32, ""},
        {IDC_BTNCHANGEICON, 93, 234, 75, 25, "Change &Icon"},
        {IDOK, 180, 234, 75, 25, "&OK"},
        {IDCANCEL, 311, 234, 75, 25, "&Cancel"},
    };
    const int tabOrder[] = {IDC_EDCAPTION, IDC_EDPRODUCTINFO, IDC_EDCOMMANDLINE, IDC_BTNCHANGEICON,
                            IDOK,          IDCANCEL,          IDC_CBSHOWFILELIST};
    auto checkLayout = [&](HWND dialog) {
        EXPECT_EQ(WindowText(dialog), "Customize Sfx");
        RECT client{};
        ::GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, 430);
        EXPECT_EQ(client.bottom, 290);
        RECT outer{};
        ::GetWindowRect(dialog, &outer);
        EXPECT_NEAR(outer.left + outer.right, ::GetSystemMetrics(SM_CXSCREEN), 1) << "centred on the screen";
        EXPECT_NEAR(outer.top + outer.bottom, ::GetSystemMetrics(SM_CYSCREEN), 1);
        const LONG style = ::GetWindowLongA(dialog, GWL_STYLE);
        EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
        for (const Control& control : table) {
            SCOPED_TRACE(control.id);
            HWND item = ::GetDlgItem(dialog, control.id);
            ASSERT_NE(item, nullptr);
            RECT bounds{};
            ::GetWindowRect(item, &bounds);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&bounds), 2);
            EXPECT_EQ(bounds.left, control.left);
            EXPECT_EQ(bounds.top, control.top);
            EXPECT_EQ(WindowText(item), control.text);
            if (IsLabel(control.id)) {
                // Labels fit their text: the table's sizes in MS Sans Serif, and never cut off.
                const SIZE text = TextExtent(item);
                EXPECT_GE(bounds.right - bounds.left, text.cx);
                EXPECT_GE(bounds.bottom - bounds.top, text.cy);
            } else {
                EXPECT_EQ(bounds.right - bounds.left, control.width);
                EXPECT_EQ(bounds.bottom - bounds.top, control.height);
            }
            if (control.id == IDC_CUSTIMAGE1) continue;  // an icon has no font
            LOGFONTA font{};
            ::GetObjectA(reinterpret_cast<HGDIOBJ>(::SendMessageA(item, WM_GETFONT, 0, 0)), sizeof font, &font);
            EXPECT_EQ(font.lfHeight, -11);
            EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
        }
        HWND at = ::GetDlgItem(dialog, tabOrder[0]);
        for (int id : tabOrder) {
            EXPECT_EQ(::GetDlgCtrlID(at), id);
            at = ::GetNextDlgTabItem(dialog, at, FALSE);
        }
        EXPECT_EQ(::GetDlgCtrlID(at), tabOrder[0]);
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(dialog, IDC_EDCAPTION));
        EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_CBSHOWFILELIST), BST_CHECKED);
        EXPECT_EQ(custom.ShownIcon(), ::LoadIconA(platform::win32::ProgramInstance(), "MAINICON"));
        EXPECT_NE(custom.ShownIcon(), nullptr);
        EXPECT_EQ(custom.IconFileName, "");
    };
    // A label's access key moves the focus to its edit.
    auto pressAltO = [](HWND) { ::PostMessageA(::GetFocus(), WM_SYSCHAR, 'o', 1 << 29); };
    auto escape = [](HWND dialog) {
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(dialog, IDC_EDCOMMANDLINE)) << "Alt+O";
        ::PostMessageA(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    const INT_PTR result = RunShown(custom, form->Handle(), {checkLayout, pressAltO, escape});
    EXPECT_EQ(result, IDCANCEL) << "Escape gives Cancel";
    const INT_PTR closed =
        RunShown(custom, form->Handle(), {[](HWND dialog) { ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }});
    EXPECT_EQ(closed, IDCANCEL) << "the close box gives Cancel";
}

TEST_F(ActionsTest, CustomizeSfxDialogTakesItsTextsAndTheIconOfTheChosenFile) {
    Start(Archive("icons.zip"));
    const std::string icoPath = folder.Write("blue.ico", MakeIconFile(0x000000FF));
    const std::string withIcons = platform::ModuleFileName();
    const std::string withoutIcons = folder.Write("no-icons.exe", ReadFileBytes(ExtractFilePath(withIcons) + "UnzDll.dll"));
    TCustSfxForm custom(*dialogs);
    custom.Caption = "c";
    dialogs->files = {std::vector<std::string>{icoPath}, std::nullopt, std::vector<std::string>{withIcons},
                      std::vector<std::string>{withoutIcons}};
    const INT_PTR result = RunShown(custom, form->Handle(), {[&](HWND dialog) {
        struct Step {
            const char* what;
            bool iconShown;
            std::string iconFile;
        };
        const Step steps[] = {
            {"an icon file", true, icoPath},
            {"the file dialog cancelled", true, icoPath},
            {"a program with icons", true, withIcons},
            {"a program without icons", false, ""},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BTNCHANGEICON, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDC_BTNCHANGEICON)));
            EXPECT_EQ(custom.ShownIcon() != nullptr, step.iconShown);
            EXPECT_EQ(custom.IconFileName, step.iconFile);
        }
        ::SetDlgItemTextA(dialog, IDC_EDCOMMANDLINE, "setup.exe");
        ::CheckDlgButton(dialog, IDC_CBSHOWFILELIST, BST_UNCHECKED);
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(dialogs->shown.size(), 4u);
    EXPECT_EQ(dialogs->shown[0].title, "Select File with Icon ...");
    EXPECT_EQ(dialogs->shown[0].filter, "Icon Files (*.ico), Exe Files (*.exe)|*.ico;*.exe");
    EXPECT_EQ(dialogs->shown[0].options & ofAllowMultiSelect, 0u);
    EXPECT_EQ(custom.Caption, "c");
    EXPECT_EQ(custom.CommandLine, "setup.exe");
    EXPECT_FALSE(custom.ShowFileList);
}

// Spanning and merging from the menu, on the simulated floppy drive.
TEST_F(ActionsTest, SpanWritesToDriveAUnderTheArchiveName) {
    struct Case {
        const char* what;
        size_t size;
        int64_t capacity;
        size_t disks;
    };
    const Case cases[] = {{"one disk", 20000, kFloppyCapacity, 1}, {"three disks", 600000, 300000, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        floppies.clear();
        const std::string source = folder.Write("set.zip", MixedArchive(c.size).Bytes());
        Start(source);
        FeedFreshFloppies(c.capacity);
        Run(IDM_SPANARCHIVETOADRIVE);
        ASSERT_EQ(floppies.size(), c.disks);
        const WrittenSet set = ReadSet();
        if (c.disks == 1) EXPECT_EQ(set.parts[0], ReadFileBytes(source));
        else EXPECT_EQ(set.Directory().size(), 7u);
        EXPECT_EQ(form->ZipArchive().ZipFileName(), source) << "the open archive stays";
        form.reset();
    }
}

TEST_F(ActionsTest, MergeOnlyFromDriveAAskingForTheTarget) {
    const std::string source = folder.Write("set.zip", MixedArchive(600000).Bytes());
    Start(source);
    // Not on A: only the beep.
    Run(IDM_MERGEARCHIVEFROMADRIVE);
    EXPECT_EQ(user.BeepCalls(), 1);
    EXPECT_TRUE(dialogs->shown.empty());
    FeedFreshFloppies(300000);
    Run(IDM_SPANARCHIVETOADRIVE);
    ASSERT_EQ(floppies.size(), 3u);
    form.reset();

    ServeSetDisks();
    platform::InsertDisk('A', floppies.back().disk);
    Start(kPartPath);
    const std::string merged = folder.Path("merged.zip");
    dialogs->files = {std::nullopt, std::vector<std::string>{merged}};
    Run(IDM_MERGEARCHIVEFROMADRIVE);
    EXPECT_FALSE(platform::FileExists(merged)) << "Cancel merges nothing";
    Run(IDM_MERGEARCHIVEFROMADRIVE);
    ASSERT_EQ(dialogs->shown.size(), 2u);
    EXPECT_EQ(dialogs->shown[1].title, "Merge to Zip file");
    EXPECT_EQ(dialogs->shown[1].filter, "Zip Files (*.zip)|*.zip");
    EXPECT_EQ(dialogs->shown[1].options & (ofAllowMultiSelect | ofFileMustExist), 0u);
    EXPECT_EQ(ReadFileBytes(merged), ReadFileBytes(source));
    EXPECT_EQ(user.BeepCalls(), 1);
    EXPECT_EQ(form->ZipArchive().ZipFileName(), kPartPath);
}

}  // namespace
