// Larkspool's entry: the common controls, the progress window for the engines, the main window and its loop.
#include "app/Main.h"

#include <exception>

#include "engine/win32/ProgressWindow.h"
#include "platform/Platform.h"

namespace {

void InitialiseCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

int RunMessageLoop(TMainForm& form) {
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (form.TranslateShortcut(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

void ShowFatal(const std::string& text) {
    platform::CurrentUser().MessageBox(text, zip::kApplicationTitle, platform::kMbOk | platform::kMbIconError);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        InitialiseCommonControls();
#ifdef LARK_HAVE_PROGRESS_FACTORY
        SetProgressFormFactory(&MakeProgressWindow);
#endif
        TMainFormOptions options;
        for (int i = 1; i < argc; ++i) options.Arguments.emplace_back(argv[i]);
        TMainForm form(std::move(options));
        form.Show(SW_SHOWNORMAL);
        return RunMessageLoop(form);
    } catch (const std::exception& error) {
        ShowFatal(error.what());
    } catch (...) {
        ShowFatal(zip::FormatMsg(zip::Msg::UnexpectedError));
    }
    return 1;
}
