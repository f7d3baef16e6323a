// TCustSfxForm: the "Customize Sfx" dialog shown before an archive becomes a self-extracting program.
#pragma once

#include "platform/win32/GuiHandles.h"
#include "platform/win32/Window.h"

#include <string>

#include "app/Dialogs.h"

// Where each control stands, in pixels of the client area: the dialog is laid out in pixels, not
// dialog units, so that it looks the same whatever the system font.
struct TCustSfxControl {
    int id;
    const char* className;
    int left, top, width, height;
};

class TCustSfxForm final : public platform::win32::ModalDialog {
public:
    // `dialogs` runs the file dialog of Change Icon.
    explicit TCustSfxForm(TDialogs& dialogs);

    // Set before the run; on OK they hold what the dialog showed.
    std::string Caption;
    std::string ProductInfo;
    std::string CommandLine;
    bool ShowFileList = true;
    // The file the shown icon came from; empty for the program's own icon or a file without icons.
    std::string IconFileName;

    // OpenDialog1: the file dialog of Change Icon.
    TFileDialog OpenDialog1;

    // Change Icon: the file dialog, then ChooseIcon with the chosen file.
    void btnChangeIconClick();
    // Shows the first icon of `path` (an icon file or a program); no icon leaves the image empty.
    void ChooseIcon(const std::string& path);
    HICON ShownIcon() const;

    static constexpr int kClientWidth = 430;
    static constexpr int kClientHeight = 290;

private:
    platform::win32::DialogTemplate MakeTemplate() const override;
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnInitDialog() override;
    bool OnOk() override;
    void FormCreate();
    void LayOut();

    TDialogs& dialogs_;
    platform::win32::GdiObject font_;
    platform::win32::IconHandle chosenIcon_;  // the icon taken from a file; the program's own is shared
};
