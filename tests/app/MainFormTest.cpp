// The main window in this process: command states, the list, the comment and status lines, the association.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/Main.h"
#include "app/resource.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/ScriptedUser.h"
#include "tests/support/TestFolder.h"

#include <shlwapi.h>

using namespace larktest;
using zip::FormatMsg;
using zip::Msg;

namespace {

// Every command of the menu bar.
const int kAllCommands[] = {IDM_NEW, IDM_OPEN, IDM_CLOSE, IDM_SELECTALL, IDM_SELECTNONE, IDM_ADDFILES,
                            IDM_ADDFOLDER, IDM_EXTRACT, IDM_DELETE, IDM_PASSWORD, IDM_CONVERTSFXTOZIP,
                            IDM_CONVERTZIPTOSFX, IDM_SPANARCHIVETOADRIVE, IDM_MERGEARCHIVEFROMADRIVE,
                            IDM_MODIFYFILECOMMENT, IDM_MODIFYZIPCOMMENT, IDM_ABOUT};
const std::set<int> kAlways = {IDM_NEW, IDM_OPEN, IDM_CLOSE, IDM_SELECTALL, IDM_SELECTNONE, IDM_ABOUT};
const std::set<int> kWithArchive = {IDM_ADDFILES, IDM_ADDFOLDER, IDM_PASSWORD, IDM_SPANARCHIVETOADRIVE,
                                    IDM_MERGEARCHIVEFROMADRIVE, IDM_MODIFYZIPCOMMENT};
const int kButtons[] = {IDM_NEW, IDM_OPEN, IDM_ADDFILES, IDM_EXTRACT, IDM_ABOUT};

std::set<int> Join(std::initializer_list<std::set<int>> parts) {
    std::set<int> all;
    for (const auto& part : parts) all.insert(part.begin(), part.end());
    return all;
}

std::set<int> EnabledCommands(const TMainForm& form) {
    std::set<int> enabled;
    HMENU menu = ::GetMenu(form.Handle());
    for (int id : kAllCommands) {
        const UINT state = ::GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND);
        EXPECT_NE(state, static_cast<UINT>(-1)) << "no menu item " << id;
        if (!(state & (MF_GRAYED | MF_DISABLED))) enabled.insert(id);
    }
    return enabled;
}

void ExpectButtonsEnabled(const TMainForm& form, bool enabled) {
    for (int id : kButtons) {
        ASSERT_NE(form.Button(id), nullptr);
        EXPECT_EQ(::IsWindowEnabled(form.Button(id)) != 0, enabled) << "button " << id;
    }
}

void SelectRows(TMainForm& form, std::initializer_list<int> rows) {
    for (int row : rows) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        ::SendMessageA(form.ListView(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
}

std::string ProgramPath() { return platform::ModuleFileName(); }

// Archives of the cases below.
struct Archives {
    TestFolder folder;
    std::string plain, upper, empty, sfx, exe, dates;

    Archives() {
        ArchiveBuilder builder;
        EntrySpec docs;
        docs.name = "docs/";
        builder.Add(docs);
        EntrySpec old;
        old.name = "docs/old/";
        builder.Add(old);
        EntrySpec readme;
        readme.name = "docs/readme.txt";
        readme.data = "read me";
        readme.time = 0x6000;  // 12:00:00
        readme.date = 0x2B2C;  // 12 September 2001
        readme.comment = "the first file";
        builder.Add(readme);
        builder.Comment("General comment of the test archive");
        BuiltArchive built = builder.Build();
        // The directory's size field is all the list reads: 1234567 without writing that many bytes.
        PutU32(built.bytes, built.layout.centralHeaders[2] + zip::CentralFileHeader::kUncompressedSize, 1234567);
        plain = folder.Write("plain.zip", built.bytes);
        upper = folder.Write("UPPER.ZIP", built.bytes);
        exe = folder.Write("plain.exe", built.bytes);
        empty = folder.Write("empty.zip", ArchiveBuilder().Bytes());

        ArchiveBuilder sfxBuilder;
        sfxBuilder.Add("setup.txt", "installed");
        sfxBuilder.Stub(StubBytes(4096), true);
        sfx = folder.Write("selfextract.zip", sfxBuilder.Bytes());

        ArchiveBuilder datesBuilder;
        EntrySpec zero;
        zero.name = "zero-stamp.txt";
        zero.time = 0;
        zero.date = 0;
        datesBuilder.Add(zero);
        EntrySpec seconds;
        seconds.name = "sixty-two-seconds.txt";
        seconds.time = (10 << 11) | (0 << 5) | 31;
        datesBuilder.Add(seconds);
        datesBuilder.Add("good.txt", "g");
        dates = folder.Write("dates.zip", datesBuilder.Bytes());
    }
};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(DisplayAvailable()) << "no display: run under xvfb-run"; }

    std::unique_ptr<TMainForm> Start(std::vector<std::string> arguments, HKEY root) {
        TMainFormOptions options;
        options.Arguments = std::move(arguments);
        options.AssociationRoot = root;
        auto form = std::make_unique<TMainForm>(std::move(options));
        form->Show(SW_SHOWNORMAL);
        PumpUntil([&] { return form->FormShown() && !form->Busy(); });
        PumpMessages();
        EXPECT_TRUE(::IsWindow(form->Handle()));
        EXPECT_TRUE(::IsWindowVisible(form->Handle()));
        return form;
    }

    Archives archives;
    TestRegistryRoot root;
};

TEST_F(MainFormTest, CommandStatesFollowTheArchiveAndTheSelection) {
    const std::set<int> plainNone = Join({kAlways, kWithArchive, {IDM_CONVERTZIPTOSFX}});
    struct Case {
        const char* what;
        std::string argument;
        std::vector<int> selected;
        std::set<int> enabled;
    };
    const Case cases[] = {
        {"no argument", "", {}, kAlways},
        {"an .exe argument", archives.exe, {}, kAlways},
        {"a plain archive", archives.plain, {}, plainNone},
        {"upper-case .ZIP", archives.upper, {}, plainNone},
        {"one row selected", archives.plain, {1}, Join({plainNone, {IDM_EXTRACT, IDM_DELETE, IDM_MODIFYFILECOMMENT}})},
        {"two rows selected", archives.plain, {0, 2}, Join({plainNone, {IDM_EXTRACT, IDM_DELETE}})},
        {"a self-extracting archive", archives.sfx, {}, Join({kAlways, kWithArchive, {IDM_CONVERTSFXTOZIP}})},
        {"an empty archive", archives.empty, {}, plainNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto form = Start(c.argument.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.argument},
                          root.Get());
        for (int row : c.selected) SelectRows(*form, {row});
        PumpMessages();
        EXPECT_EQ(EnabledCommands(*form), c.enabled);
        ExpectButtonsEnabled(*form, true);
    }
}

TEST_F(MainFormTest, SelectAllAndInvertSelectionDriveTheStates) {
    auto form = Start({archives.plain}, root.Get());
    ::SendMessageA(form->Handle(), WM_COMMAND, IDM_SELECTALL, 0);
    EXPECT_EQ(::SendMessageA(form->ListView(), LVM_GETSELECTEDCOUNT, 0, 0), 3);
    EXPECT_EQ(EnabledCommands(*form), Join({kAlways, kWithArchive, {IDM_CONVERTZIPTOSFX, IDM_EXTRACT, IDM_DELETE}}));
    ::SendMessageA(form->Handle(), WM_COMMAND, IDM_SELECTNONE, 0);
    EXPECT_EQ(::SendMessageA(form->ListView(), LVM_GETSELECTEDCOUNT, 0, 0), 0);
    EXPECT_EQ(EnabledCommands(*form), Join({kAlways, kWithArchive, {IDM_CONVERTZIPTOSFX}}));
    SelectRows(*form, {1});
    ::SendMessageA(form->Handle(), WM_COMMAND, IDM_SELECTNONE, 0);
    EXPECT_EQ(::SendMessageA(form->ListView(), LVM_GETSELECTEDCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageA(form->ListView(), LVM_GETITEMSTATE, 1, LVIS_SELECTED), 0);
}

TEST_F(MainFormTest, ListShowsEveryEntryInDirectoryOrder) {
    auto form = Start({archives.plain}, root.Get());
    const std::string thousand = LocaleSeparator(LOCALE_STHOUSAND);
    const std::string date = LocaleSeparator(LOCALE_SDATE);
    const std::string time = LocaleSeparator(LOCALE_STIME);
    const std::string fixedStamp = "14" + date + "07" + date + "99 12" + time + "34";
    const std::vector<ListedRow> expected = {
        {"docs\\", "0", fixedStamp, "", kFolderImage},
        {"docs\\old\\", "0", fixedStamp, "", kFolderImage},
        {"docs\\readme.txt", "1" + thousand + "234" + thousand + "567", "12" + date + "09" + date + "01 12" + time + "00",
         "the first file", kFileImage},
    };
    EXPECT_EQ(ReadList(form->ListView(), ::GetCurrentProcess()), expected);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(form->Row(row).EntryIndex, row);
    // Row 0 carries the focus mark but is not selected; the keyboard focus is in the list.
    EXPECT_EQ(::SendMessageA(form->ListView(), LVM_GETITEMSTATE, 0, LVIS_FOCUSED | LVIS_SELECTED), LVIS_FOCUSED);
    EXPECT_EQ(::GetFocus(), form->ListView());
    EXPECT_EQ(WindowText(form->ZipCommentsLbl()), "General comment of the test archive");
    EXPECT_EQ(WindowText(form->StatusBar()), FormatMsg(Msg::FilesInArchive, 3));
    EXPECT_EQ(WindowText(form->Handle()), archives.plain);
}

TEST_F(MainFormTest, TypingFindsRowsByTheStartOfTheirName) {
    auto form = Start({archives.plain}, root.Get());
    const std::pair<const char*, int> cases[] = {{"docs\\r", 2}, {"DOCS\\O", 1}, {"d", 0}, {"zzz", -1}};
    for (const auto& [typed, row] : cases) {
        LVFINDINFOA find{};
        find.flags = LVFI_STRING | LVFI_PARTIAL | LVFI_WRAP;
        find.psz = typed;
        EXPECT_EQ(::SendMessageA(form->ListView(), LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)),
                  row)
            << typed;
    }
}

TEST_F(MainFormTest, NoArchiveAnEmptyOneAndAnExeArgument) {
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string caption;
        std::string status;
    };
    const Case cases[] = {
        {"no argument", {}, FormatMsg(Msg::MainCaption), ""},
        {"an .exe argument", {archives.exe}, FormatMsg(Msg::MainCaption), ""},
        {"an empty archive, later arguments ignored", {archives.empty, archives.plain}, archives.empty,
         FormatMsg(Msg::FilesInArchive, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto form = Start(c.arguments, root.Get());
        EXPECT_EQ(WindowText(form->Handle()), c.caption);
        EXPECT_EQ(WindowText(form->StatusBar()), c.status);
        EXPECT_EQ(WindowText(form->ZipCommentsLbl()), "");
        EXPECT_EQ(::SendMessageA(form->ListView(), LVM_GETITEMCOUNT, 0, 0), 0);
    }
}

TEST_F(MainFormTest, InvalidDatesLeaveTheirCellEmptyAndEveryRowListed) {
    auto form = Start({archives.dates}, root.Get());
    const std::vector<ListedRow> rows = ReadList(form->ListView(), ::GetCurrentProcess());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "zero-stamp.txt");
    EXPECT_EQ(rows[0].dateTime, "");
    EXPECT_EQ(rows[1].dateTime, "");
    EXPECT_NE(rows[2].dateTime, "");
    EXPECT_EQ(WindowText(form->StatusBar()), FormatMsg(Msg::FilesInArchive, 3));
}

TEST_F(MainFormTest, AssociationNamesTheProgram) {
    auto form = Start({}, root.Get());
    const std::map<std::string, std::string> expected = {
        {".zip", "zipfile"},
        {"zipfile\\DefaultIcon", ProgramPath() + ",0"},
        {"zipfile\\shell\\open\\command", "\"" + ProgramPath() + "\" \"%1\""},
    };
    for (const auto& [key, value] : expected) EXPECT_EQ(DefaultValue(root.Get(), key), value) << key;
    EXPECT_TRUE(KeyExists(root.Get(), "zipfile"));
    form.reset();
    // A second start writes the same values again.
    auto again = Start({}, root.Get());
    for (const auto& [key, value] : expected) EXPECT_EQ(DefaultValue(root.Get(), key), value) << key;
}

// The association alone: written with the program's path quoted, left alone when it is ours
// already, and under the user's classes when the machine-wide ones cannot be written.
TEST(Association, WrittenOnlyWhereNeededWithThePathQuoted) {
    const std::string program = "C:\\Program Files\\Larkspool\\larkspool.exe";
    const std::map<std::string, std::string> ours = {
        {".zip", "zipfile"},
        {"zipfile\\DefaultIcon", program + ",0"},
        {"zipfile\\shell\\open\\command", "\"" + program + "\" \"%1\""},
    };
    struct Case {
        const char* what;
        bool rootWritable, rootOurs, userWritable;
        bool error, inRoot, inUser;
    };
    const Case cases[] = {
        {"machine-wide classes writable", true, false, true, false, true, false},
        {"ours already, no rights needed", false, true, false, false, true, false},
        {"no rights: the user's classes", false, false, true, false, false, true},
        {"neither can be written", false, false, false, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A volatile key takes no lasting subkeys: the association cannot be written below it.
        TestRegistryRoot root(!c.rootWritable), user(!c.userWritable);
        if (c.rootOurs) {
            for (const auto& [key, value] : ours) {
                HKEY made = nullptr;
                ::RegCreateKeyExA(root.Get(), key.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &made, nullptr);
                platform::win32::RegistryKey owned(made);
                ::RegSetValueExA(made, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1));
            }
        }
        const std::string error = RegisterZipAssociation(root.Get(), user.Get(), program);
        EXPECT_EQ(error, c.error ? FormatMsg(Msg::RegistrySetDataFailed, std::string()) : std::string());
        for (const auto& [key, value] : ours) {
            EXPECT_EQ(DefaultValue(root.Get(), key) == value, c.inRoot) << key;
            EXPECT_EQ(DefaultValue(user.Get(), key) == value, c.inUser) << key;
        }
    }
}

TEST_F(MainFormTest, FailedAssociationIsShownAndTheArchiveStillOpens) {
    struct Case {
        const char* what;
        bool extensionKeyExists;
        std::string message;
    };
    const Case cases[] = {
        {"value cannot be written", false, FormatMsg(Msg::RegistrySetDataFailed, std::string())},
        {"class key cannot be created", true, FormatMsg(Msg::RegistryCreateKeyFailed, std::string("zipfile"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestRegistryRoot readOnly(true);
        if (c.extensionKeyExists) {
            HKEY key = nullptr;
            ::RegCreateKeyExA(readOnly.Get(), ".zip", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr);
            platform::win32::RegistryKey owned(key);
            ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("zipfile"), 8);
        }
        ScriptedUser user;
        std::set<int> enabledDuringBox;
        bool buttonsEnabledDuringBox = true;
        std::unique_ptr<TMainForm> form;
        TMainForm* shown = nullptr;
        user.Answer(platform::kIdOk, [&] {
            // The box comes while FormShow runs: every command is held off, and commands are dropped.
            enabledDuringBox = EnabledCommands(*shown);
            buttonsEnabledDuringBox = ::IsWindowEnabled(shown->Button(IDM_NEW)) != 0;
            ::SendMessageA(shown->Handle(), WM_COMMAND, IDM_CLOSE, 0);
            ::SendMessageA(shown->Handle(), WM_CLOSE, 0, 0);
        });
        TMainFormOptions options;
        options.Arguments = {archives.plain};
        options.AssociationRoot = readOnly.Get();
        options.UserAssociationRoot = readOnly.Get();
        form = std::make_unique<TMainForm>(std::move(options));
        shown = form.get();
        form->Show(SW_SHOWNORMAL);
        PumpUntil([&] { return form->FormShown() && !form->Busy() && user.AnswersLeft() == 0; });
        PumpMessages();
        ASSERT_EQ(user.Shown().size(), 1u);
        EXPECT_EQ(user.Shown()[0].text, c.message);
        EXPECT_EQ(user.Shown()[0].caption, zip::kApplicationTitle);
        EXPECT_TRUE(enabledDuringBox.empty());
        EXPECT_FALSE(buttonsEnabledDuringBox);
        ASSERT_TRUE(::IsWindow(form->Handle())) << "a command ran while another was under way";
        EXPECT_EQ(WindowText(form->Handle()), archives.plain);
        EXPECT_EQ(WindowText(form->StatusBar()), FormatMsg(Msg::FilesInArchive, 3));
        ExpectButtonsEnabled(*form, true);
    }
}

TEST_F(MainFormTest, FailedOpenIsShownAndLeavesTheWindowAsItWas) {
    const std::string notZip = archives.folder.Write("not-a-zip.zip", "this is no archive at all, only text");
    ScriptedUser user;
    user.Answer(platform::kIdOk);
    auto form = Start({notZip}, root.Get());
    PumpUntil([&] { return user.AnswersLeft() == 0; });
    ASSERT_EQ(user.Shown().size(), 1u);
    EXPECT_EQ(user.Shown()[0].text, FormatMsg(Msg::NotValidZip, notZip));
    EXPECT_EQ(WindowText(form->Handle()), FormatMsg(Msg::MainCaption));
    EXPECT_EQ(EnabledCommands(*form), kAlways);
}

TEST_F(MainFormTest, ButtonsCarryTheirCaptions) {
    auto form = Start({}, root.Get());
    const std::pair<int, Msg> buttons[] = {{IDM_NEW, Msg::BtnNewCaption},
                                           {IDM_OPEN, Msg::BtnOpenCaption},
                                           {IDM_ADDFILES, Msg::BtnAddCaption},
                                           {IDM_EXTRACT, Msg::BtnExtractCaption},
                                           {IDM_ABOUT, Msg::BtnHelpCaption}};
    for (const auto& [id, caption] : buttons) EXPECT_EQ(WindowText(form->Button(id)), FormatMsg(caption));
}

TEST_F(MainFormTest, EveryHandleIsReleasedWithTheWindow) {
    using namespace platform::win32;
    const int gdi = GdiObject::LiveCount(), icons = IconHandle::LiveCount(), lists = ImageListHandle::LiveCount();
    {
        auto form = Start({archives.plain}, root.Get());
        EXPECT_GT(GdiObject::LiveCount(), gdi);
        EXPECT_GT(IconHandle::LiveCount(), icons);
    }
    EXPECT_EQ(GdiObject::LiveCount(), gdi);
    EXPECT_EQ(IconHandle::LiveCount(), icons);
    EXPECT_EQ(ImageListHandle::LiveCount(), lists);
}

TEST(ListFormatTest, SizesAndStamps) {
    const std::pair<uint64_t, std::string> sizes[] = {{0, "0"},
                                                      {999, "999"},
                                                      {1000, "1.000"},
                                                      {1234567, "1.234.567"},
                                                      {4294967295u, "4.294.967.295"},
                                                      {4300000000u, "4.300.000.000"},
                                                      {6442450944ull, "6.442.450.944"}};
    for (const auto& [size, text] : sizes) EXPECT_EQ(FormatSize(size, "."), text) << size;
    const std::pair<uint32_t, std::string> stamps[] = {
        {0x2B2C6000u, "12-09-01 12.00"},                       // 12 September 2001, 12:00
        {(uint32_t{(2020 - 1980) << 9 | 2 << 5 | 29} << 16) | (23 << 11 | 59 << 5), "29-02-20 23.59"},
        {0, ""},                                                // month 0, day 0
        {(uint32_t{(2021 - 1980) << 9 | 2 << 5 | 29} << 16), ""},  // 29 February outside a leap year
        {(uint32_t{(2001 - 1980) << 9 | 13 << 5 | 1} << 16), ""},  // month 13
        {0x2B2C0000u | 31u, ""},                                // 62 seconds
        {0x2B2C0000u | (24u << 11), ""},                        // hour 24
    };
    for (const auto& [stamp, text] : stamps) EXPECT_EQ(FormatDosDateTime(stamp, "-", "."), text) << std::hex << stamp;
}

}  // namespace
