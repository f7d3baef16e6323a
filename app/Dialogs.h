// What the main window's commands ask of the user and the shell: the file dialogs, the folder browser, input boxes, modal dialogs, opening a file.
#pragma once

#include "platform/win32/WindowsApi.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::win32 {
class ModalDialog;
}

// Options of a file dialog, kept with it between runs.
enum TOpenOption : unsigned {
    ofOverwritePrompt = 0x01,   // save: ask before replacing an existing file
    ofHideReadOnly = 0x02,
    ofPathMustExist = 0x04,
    ofAllowMultiSelect = 0x08,  // open: several files at once
    ofEnableSizing = 0x10,
    ofFileMustExist = 0x20,
};

// One of the window's two file dialogs (SaveDialog, OpenDialog): set before a run, read after it.
struct TFileDialog {
    std::string Title;
    std::string Filter;      // "Description|patterns", the bar part of the text
    std::string InitialDir;  // the first folder shown
    std::string DefaultExt;  // without its dot
    unsigned Options = 0;    // TOpenOption bits, set whole or added to by the commands
    std::vector<std::string> Files;  // after a run: the full path of every chosen file, in the dialog's order

    std::string FileName() const { return Files.empty() ? std::string() : Files.front(); }
};

// The one way the commands reach dialogs and the shell: the program shows the real ones, tests
// answer from a script. Every method runs modally on the user-interface thread.
class TDialogs {
public:
    virtual ~TDialogs() = default;

    // The save dialog, its OK button relabelled "&Open". False on Cancel; else dialog.Files holds the name.
    virtual bool ExecuteSave(TFileDialog& dialog) = 0;
    // The open dialog. False on Cancel; else dialog.Files holds every chosen file.
    virtual bool ExecuteOpen(TFileDialog& dialog) = 0;
    // The folder browser, starting at `folder` (empty: no starting folder). True when a file-system
    // folder was chosen; it is then in `folder`.
    virtual bool BrowseForFolder(std::string& folder, const std::string& title) = 0;
    // A one-line input box: the edited text on OK, `defaultText` unchanged on Cancel.
    virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& defaultText) = 0;
    // The comment commands' box: several lines, as long as the format lets a comment be; the edited
    // text on OK, `defaultText` itself when Cancel is pressed or nothing was changed.
    virtual std::string CommentBox(const std::string& caption, const std::string& prompt,
                                   const std::string& defaultText) = 0;
    // Runs a dialog of the program modally, owned by the main window; returns how it ended (IDOK ...).
    virtual INT_PTR ShowModal(platform::win32::ModalDialog& dialog) = 0;
    // Opens a file or a web address with the program the shell associates with it. Silent on failure.
    virtual void ShellOpen(const std::string& file, const std::string& workingFolder) = 0;
};

// Room for a few hundred names at once in the open dialog; a larger choice grows the buffer.
constexpr size_t kFirstNamesBuffer = 32768;

// The real dialogs, owned by `owner`.
std::unique_ptr<TDialogs> MakeShellDialogs(HWND owner, size_t firstNamesBuffer = kFirstNamesBuffer);

// The folder browser's starting folder: one trailing backslash fewer, except for a drive root.
std::string TrimTrailingBackslash(const std::string& path);
// The names a multiple-selection file dialog hands back (one full path, or a folder followed by
// names, each ending in NUL, the list ending in a second NUL), as full paths. A name that is a
// full path already is taken as it is.
std::vector<std::string> SplitChosenFiles(const std::vector<char>& buffer);
