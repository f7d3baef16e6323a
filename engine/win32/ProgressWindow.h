// Windows only: the real progress window, built at run time, shown during an engine call.
#pragma once

#include "platform/win32/GuiHandles.h"

#include <memory>
#include <string>

#include "engine/ProgressForm.h"
#include "platform/win32/Window.h"

// The factory the main window gives its archive object: progress windows owned by, and centred
// on, `ownerWindow` (nullptr: no owner, centred on the desktop work area).
ProgressFormFactory ProgressWindowFactory(HWND ownerWindow);

class TProgressWindow final : public TProgressForm, public platform::win32::Window {
public:
    static constexpr int kClientWidth = 300;
    static constexpr int kClientHeight = 100;

    TProgressWindow(engine::EngineOperations& owner, HWND ownerWindow);
    ~TProgressWindow() override;
    TProgressWindow(const TProgressWindow&) = delete;
    TProgressWindow& operator=(const TProgressWindow&) = delete;

    void Show() override;
    void Hide() override;
    void SetProgressMax(int32_t n) override;
    void SetProgressPosition(int32_t n) override;
    void SetStatusText(const std::string& text) override;

    HWND StatusLabel() const { return statusLabel_; }
    HWND ProgressBar() const { return progressBar_; }
    HWND CancelButton() const { return cancelButton_; }

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void CreateChildren();
    void Position();
    void CentreOnWorkArea();
    void CancelButtonClick();

    engine::EngineOperations& owner_;
    HWND ownerWindow_;
    HWND statusLabel_ = nullptr;
    HWND progressBar_ = nullptr;
    HWND cancelButton_ = nullptr;
};
