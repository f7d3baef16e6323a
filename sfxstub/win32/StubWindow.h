// sfx.bin's one window: the file list, the destination, Extract and Cancel, and the progress.
#pragma once

#include <string>
#include <vector>

#include "sfxstub/AutoRun.h"
#include "sfxstub/Extraction.h"
#include "abi/SfxSettings.h"

#include "platform/win32/WindowsApi.h"

namespace sfxstub {

struct WindowLibraries;

struct WindowInputs {
    sfxsettings::SfxSettings settings;
    StubArguments arguments;
    std::string defaultDestination;
};

class StubWindow final : private ExtractionHost {
public:
    StubWindow(SfxArchive& archive, WindowInputs inputs) : archive_(archive), inputs_(std::move(inputs)) {}
    // Shows the window until the user is done; returns the exit code.
    int Run();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void HideFileList();
    void FillFileList();
    void OnBrowse();
    void OnExtract();
    void OnCancel();
    void SetBusy(bool busy);
    void ShowOutcome(const std::string& destination, const ExtractResult& result);
    void RunCommand(const std::string& destination);
    std::string ItemText(int id) const;

    bool BeginFile(const std::string& name, int64_t size) override;
    bool Progress(size_t bytes) override;
    bool AskPassword(const std::string& name, std::string& password) override;
    void FileDone(const std::string& name, Failure failure) override;

    SfxArchive& archive_;
    WindowInputs inputs_;
    const WindowLibraries* libraries_ = nullptr;  // while Run shows the window
    HWND window_ = nullptr;
    bool extracting_ = false;
    bool cancelRequested_ = false;
    int64_t total_ = 0;
    int64_t done_ = 0;
    DWORD lastPump_ = 0;
    std::vector<std::string> notExtracted_;
};

}  // namespace sfxstub
