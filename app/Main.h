// TMainForm: Larkspool's main window, with its list of entries, menu bar, toolbar and status line.
#pragma once

#include "platform/win32/GuiHandles.h"
#include "platform/win32/Window.h"
#include "platform/win32/WindowKit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Dialogs.h"
#include "archive/DiskUtils.h"
#include "tzip/Zip.h"

// One row of the list, formatted from its entry when the list view asks for it.
struct TFileInfo;

struct ListRow {
    int32_t EntryIndex = 0;  // the row's data: its entry's index in the archive object
    int Image = 0;           // kFolderImage or kFileImage
    std::string FileName;
    std::string Size;
    std::string DateTime;    // empty when the stored date or time is not a calendar value
    std::string Comment;
};

struct ListSeparators {
    std::string thousand;
    std::string date;
    std::string time;
};

constexpr int kFolderImage = 0;
constexpr int kFileImage = 1;

// The product's page, shipped beside the program; About and the Help button open it.
constexpr const char* kProductPage = "Larkspool.html";

// What a start hands the window: the command-line arguments, where the association goes and the
// dialogs (tests give a key of their own and scripted dialogs; nullptr: the real ones).
struct TMainFormOptions {
    std::vector<std::string> Arguments;
    HKEY AssociationRoot = HKEY_CLASSES_ROOT;
    HKEY UserAssociationRoot = nullptr;  // where it goes without rights to the first; nullptr: the user's classes
    TDialogs* Dialogs = nullptr;
};

class TMainForm final : public platform::win32::Window {
public:
    explicit TMainForm(TMainFormOptions options);
    ~TMainForm() override;
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Shows the window; the first show runs FormShow once the window is on screen.
    void Show(int showCommand);
    // Hands shortcut keys to the window; true when the message was one.
    bool TranslateShortcut(MSG& message);

    HWND ListView() const { return listView_; }
    HWND StatusBar() const { return statusBar_; }
    HWND ZipCommentsLbl() const { return zipCommentsLbl_; }
    HWND Button(int command) const;
    TZip& ZipArchive() { return *zipArchive_; }
    bool FormShown() const { return formShown_; }
    bool Busy() const { return busyDepth_ > 0; }
    int RowCount() const { return rowCount_; }
    ListRow Row(int index) const;
    // The row's entry; false for a row the list view still counts while the archive object holds
    // fewer entries.
    bool ReadRow(int index, TFileInfo& entry) const;

    std::string ProgramDir;
    TFileDialog OpenDialog;
    TFileDialog SaveDialog;

    void OpenArchive(const std::string& path);
    // The selected rows' entry names, first to last.
    std::vector<std::string> SelectedNames() const;
    // The specs for the selection: every file when none or all rows are selected, else the names.
    std::vector<std::string> SelectionSpecs(bool noneMeansAll) const;

private:
    // Holds every command off while one runs: the commands are disabled and WM_COMMAND is ignored.
    class BusyScope {
    public:
        explicit BusyScope(TMainForm& form);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TMainForm& form_;
    };

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Creation and layout (Main.cpp).
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void CreateControls();
    void CreateToolbarButton(int command, int left, zip::Msg caption, int glyph);
    void LayoutControls();
    void PaintPanels();
    void DrawToolbarButton(const DRAWITEMSTRUCT& item);

    // The list (MainList.cpp).
    void ZipContentsChanged(TZip* Sender);
    void FillListView();
    void SetUpListColumns();
    int StampColumnWidth(int designWidth) const;
    LRESULT OnListNotify(const NMHDR& header);
    void ListViewChange();
    void ListViewDblClick();
    int SelectedCount() const;
    template <typename Item>
    void FillListItem(Item& item) const;  // a row's cell for the list view, in its text form
    LRESULT FindRow(UINT flags, const std::string& typed, int startRow) const;

    // Commands (MainCommands.cpp).
    enum class Needs;
    struct Command;
    static const std::vector<Command>& CommandTable();
    void OnCommand(int command, bool fromButton);
    void UpdateCommandStates();
    void UpdateConvertCommands();
    void SetStatusText(const std::string& text);
    void WMDropFiles(HDROP drop);
    void AddDroppedItem(const std::string& path);
    TDialogs& Dialogs();
    void ChooseArchive(bool OpenExisting);
    void WriteAddStatus(int32_t entriesAdded);
    void NewActionExecute();
    void OpenActionExecute();
    void ExitActionExecute();
    void SelectAllActionExecute();
    void InvertSelectActionExecute();
    void AddFilesActionExecute();
    void AddFolderActionExecute();
    void ExtractActionExecute();
    void TestArchiveActionExecute();
    void DeleteActionExecute();
    void PasswordClick();
    void ConvertSfxtoZipClick();
    void ConvertZiptoSfxClick();
    void SpanArchiveToADriveClick();
    void MergeArchiveFromADriveClick();
    void ModFileComActionExecute();
    void ModZipComActionExecute();
    void AboutClick();
    // The Action menu's comment, conversion and floppy-disk commands (MainActions.cpp).
    int SelectedRow() const;
    void OpenConvertedArchive(const std::string& path);
    void BtnNewClick();
    void BtnOpenClick();
    void BtnAddClick();
    void BtnExtractClick();
    void BtnHelpClick();

    TMainFormOptions options_;
    std::unique_ptr<TDialogs> shellDialogs_;  // the real dialogs, when the options give none
    std::unique_ptr<TZip> zipArchive_;
    TempFolders openedEntryFolders_;  // an opened entry is extracted into a folder of its own
    HWND listView_ = nullptr;
    HWND statusBar_ = nullptr;
    HWND zipCommentsLbl_ = nullptr;
    HWND image1_ = nullptr;
    std::vector<HWND> buttons_;
    // The rows are read from the archive object as the list view asks for them (a million entries
    // formatted ahead would cost a copy of the directory); kept are only the count the list view
    // was given and the user's separators, read once per refill.
    int rowCount_ = 0;
    ListSeparators separators_;
    HACCEL shortcuts_ = nullptr;  // a resource table: freed with the program
    platform::win32::GdiObject font_;
    platform::win32::GdiObject boldFont_;
    platform::win32::GdiObject logo_;
    platform::win32::ImageListHandle imageList_;
    std::vector<platform::win32::IconHandle> glyphs_;

    // The command states of the state table.
    bool archiveOpen_ = false;
    bool sfxArchive_ = false;
    int selectedCount_ = 0;
    int busyDepth_ = 0;
    bool formShown_ = false;
};

// Whether the extension of `path`, in any letter case, is ".zip".
bool HasZipExtension(const std::string& path);

// The ".zip" association under `root`, naming `programPath`, unless it is there already; when `root`
// cannot be written, under `userRoot` (nullptr: HKEY_CURRENT_USER\Software\Classes). Returns the
// error text of the first step that failed under `root` when both failed, else an empty text.
std::string RegisterZipAssociation(HKEY root, HKEY userRoot, const std::string& programPath);

// The list's two formats, with the user's separators passed in.
std::string FormatSize(uint64_t size, const std::string& thousandSeparator);
std::string FormatDosDateTime(uint32_t dosDateTime, const std::string& dateSeparator, const std::string& timeSeparator);
