// Larkspool's entry: the common controls, the main window and its loop.
#include "app/Main.h"
#include "platform/Text.h"

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
        const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
        options.Arguments.assign(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end());
        TMainForm form(std::move(options));
        form.Show(SW_SHOWNORMAL);
        return RunMessageLoop(form);
    } catch (...) {
        platform::win32::ShowFailure(platform::win32::FailureText(std::current_exception()));
    }
    return 1;
}
