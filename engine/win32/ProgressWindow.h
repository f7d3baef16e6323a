// Windows only: the real progress window, built at run time, shown during an engine call.
#pragma once

#include "platform/win32/GuiHandles.h"

#include <memory>
#include <string>

#include "engine/ProgressForm.h"

// The application's main window, which the progress window centres on; nullptr (no main window):
// the desktop work area.
void SetProgressMainWindow(HWND mainWindow);

// The factory the program installs for the bridge.
std::unique_ptr<TProgressForm> MakeProgressWindow(TZip& owner);

class TProgressWindow final : public TProgressForm {
public:
    static constexpr int kClientWidth = 300;
    static constexpr int kClientHeight = 100;

    explicit TProgressWindow(TZip& owner);
    ~TProgressWindow() override;
    TProgressWindow(const TProgressWindow&) = delete;
    TProgressWindow& operator=(const TProgressWindow&) = delete;

    void Show() override;
    void Hide() override;
    void SetProgressMax(int32_t n) override;
    void SetProgressPosition(int32_t n) override;
    void SetStatusText(const std::string& text) override;

    HWND Handle() const { return window_.Get(); }
    HWND StatusLabel() const { return statusLabel_; }
    HWND ProgressBar() const { return progressBar_; }
    HWND CancelButton() const { return cancelButton_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateChildren(HWND window);
    void Position();
    void CentreOnWorkArea();
    void CancelButtonClick();

    TZip& owner_;
    platform::win32::WindowHandle window_;
    HWND statusLabel_ = nullptr;
    HWND progressBar_ = nullptr;
    HWND cancelButton_ = nullptr;
};
