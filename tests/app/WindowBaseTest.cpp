// The window skeleton: a throwing WM_CREATE fails the creation with its own error, a throwing handler
// is shown and the window goes on, a throwing WM_INITDIALOG ends the dialog with its error.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/win32/Window.h"
#include "tests/app/GuiTestSupport.h"
#include "tests/support/ScriptedUser.h"

using namespace larktest;

namespace {

constexpr UINT kThrowMessage = WM_APP + 7;

class Probe final : public platform::win32::Window {
public:
    explicit Probe(bool failCreation) : failCreation_(failCreation) {
        Create({"LarkspoolWindowBaseProbe"}, 0, "probe", WS_POPUP, RECT{0, 0, 50, 50}, nullptr);
    }
    ~Probe() override { Destroy(); }
    int handled = 0;

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CREATE && failCreation_) throw std::runtime_error("no room for the probe");
        if (message == kThrowMessage) throw std::runtime_error("the handler failed");
        if (message == WM_APP) return ++handled;
        return DefaultHandling(message, wParam, lParam);
    }
    bool failCreation_;
};

class FailingDialog final : public platform::win32::ModalDialog {
    platform::win32::DialogTemplate MakeTemplate() const override {
        return platform::win32::DialogTemplate(WS_POPUP | WS_CAPTION, 100, 40);
    }
    void OnInitDialog() override { throw std::runtime_error("the dialog cannot start"); }
};

TEST(WindowBase, BarriersStopEveryException) {
    ASSERT_TRUE(DisplayAvailable()) << "no display: run under xvfb-run";
    ScriptedUser user;
    try {
        Probe failing(true);
        ADD_FAILURE() << "the creation did not fail";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "no room for the probe");
    }

    Probe probe(false);
    ASSERT_TRUE(::IsWindow(probe.Handle()));
    user.Answer(platform::kIdOk);
    EXPECT_EQ(::SendMessageA(probe.Handle(), kThrowMessage, 0, 0), 0);
    ASSERT_EQ(user.Shown().size(), 1u);
    EXPECT_EQ(user.Shown()[0].text, "the handler failed");
    EXPECT_EQ(user.Shown()[0].caption, platform::kApplicationTitle);
    EXPECT_EQ(::SendMessageA(probe.Handle(), WM_APP, 0, 0), 1) << "the window goes on";

    FailingDialog dialog;
    try {
        dialog.RunModal(probe.Handle());
        ADD_FAILURE() << "the dialog did not fail";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "the dialog cannot start");
    }
}

}  // namespace
