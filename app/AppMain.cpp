// Larkspool's entry: the common controls, the main window and its loop.
#include "app/Main.h"

#include <exception>

namespace {

void InitialiseCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

int RunMessageLoop(TMainForm& form) {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (platform::win32::HandleDialogKeys(message) || form.TranslateShortcut(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        InitialiseCommonControls();
        TMainFormOptions options;
        for (int i = 1; i < argc; ++i) options.Arguments.emplace_back(argv[i]);
        TMainForm form(std::move(options));
        form.Show(SW_SHOWNORMAL);
        return RunMessageLoop(form);
    } catch (...) {
        platform::win32::ShowFailure(platform::win32::FailureText(std::current_exception()));
    }
    return 1;
}
