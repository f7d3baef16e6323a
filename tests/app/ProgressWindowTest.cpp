// The progress window: layout, caption and border, positioning, status text, bar, Cancel and the close box.
#include <gtest/gtest.h>

#include "tzip/Zip.h"
#include "engine/win32/ProgressWindow.h"
#include "tests/app/GuiTestSupport.h"

using namespace larktest;
using zip::FormatMsg;
using zip::Msg;

namespace {

RECT ChildRect(HWND parent, HWND child) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT Outer(HWND window) {
    RECT rect;
    ::GetWindowRect(window, &rect);
    return rect;
}

// A plain top-level window standing in for the main window.
class StandIn {
public:
    StandIn(int left, int top, int width, int height)
        : window_(::CreateWindowExA(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, left, top, width, height, nullptr,
                                    nullptr, ::GetModuleHandleA(nullptr), nullptr)) {}
    HWND Get() const { return window_.Get(); }

private:
    platform::win32::WindowHandle window_;
};

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(DisplayAvailable()) << "no display: run under xvfb-run"; }
    TZip zip;
};

TEST_F(ProgressWindowTest, LayoutCaptionAndBorder) {
    TProgressWindow form(zip, nullptr);
    HWND window = form.Handle();
    ASSERT_TRUE(::IsWindow(window));
    EXPECT_FALSE(::IsWindowVisible(window)) << "creating does not show it";
    RECT client;
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 100);
    EXPECT_EQ(WindowText(window), zip::kApplicationTitle);
    const LONG style = ::GetWindowLongA(window, GWL_STYLE);
    const LONG exStyle = ::GetWindowLongA(window, GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);

    EXPECT_EQ(WindowText(form.StatusLabel()), FormatMsg(Msg::ProgressWait));
    EXPECT_EQ(WindowText(form.CancelButton()), FormatMsg(Msg::ProgressCancel));
    EXPECT_TRUE(::GetWindowLongA(form.CancelButton(), GWL_STYLE) & BS_DEFPUSHBUTTON);
    struct Placement {
        HWND child;
        int top;
        int width;  // 0: any
    };
    for (const Placement& p : {Placement{form.StatusLabel(), 15, 280}, Placement{form.ProgressBar(), 35, 280},
                               Placement{form.CancelButton(), 60, 0}}) {
        const RECT rect = ChildRect(window, p.child);
        const int width = rect.right - rect.left;
        EXPECT_EQ(rect.top, p.top);
        if (p.width) {
            EXPECT_EQ(width, p.width);
        }
        EXPECT_EQ(rect.left, (300 - width) / 2) << "centred";
    }
}

TEST_F(ProgressWindowTest, CentresOnTheMainWindowOrTheWorkArea) {
    struct Case {
        const char* what;
        bool mainWindow;
        RECT main;
    };
    const Case cases[] = {
        {"over a wide main window", true, {100, 50, 700, 550}},
        {"over a main window narrower than itself", true, {200, 100, 300, 180}},
        {"no main window", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<StandIn> main;
        RECT area = c.main;
        if (c.mainWindow) {
            main = std::make_unique<StandIn>(c.main.left, c.main.top, c.main.right - c.main.left,
                                             c.main.bottom - c.main.top);
            area = Outer(main->Get());
        } else {
            ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        }
        TProgressWindow form(zip, main ? main->Get() : nullptr);
        const RECT own = Outer(form.Handle());
        const int width = own.right - own.left;
        const int height = own.bottom - own.top;
        EXPECT_EQ(own.left, area.left + (area.right - area.left - width) / 2);
        EXPECT_EQ(own.top, area.top + (area.bottom - area.top - height) / 2);
        if (c.mainWindow && c.main.right - c.main.left < width) {
            EXPECT_LT(own.left, area.left);
        }
    }
}

TEST_F(ProgressWindowTest, StatusTextAndBar) {
    TProgressWindow form(zip, nullptr);
    const std::string longName(400, 'n');
    form.SetStatusText(longName);
    EXPECT_EQ(WindowText(form.StatusLabel()), longName);
    const RECT label = ChildRect(form.Handle(), form.StatusLabel());
    EXPECT_EQ(label.left, 10);
    EXPECT_EQ(label.right - label.left, 280) << "a long name is cut off, the label does not grow";
    form.SetProgressMax(65535);
    form.SetProgressPosition(40000);
    EXPECT_EQ(::SendMessageA(form.ProgressBar(), PBM_GETRANGE, FALSE, 0), 65535);
    EXPECT_EQ(::SendMessageA(form.ProgressBar(), PBM_GETPOS, 0, 0), 40000);
}

TEST_F(ProgressWindowTest, CancelSetsTheFlagAndHides) {
    struct Case {
        const char* what;
        std::function<void(TProgressWindow&)> press;
        bool cancels;
    };
    const Case cases[] = {
        {"click", [](TProgressWindow& f) { ::SendMessageA(f.CancelButton(), BM_CLICK, 0, 0); }, true},
        {"Enter",
         [](TProgressWindow& f) {
             ::PostMessageA(f.CancelButton(), WM_KEYDOWN, VK_RETURN, 0);
             PumpMessages();
         },
         true},
        {"access key",
         [](TProgressWindow& f) {
             ::PostMessageA(f.CancelButton(), WM_SYSCHAR, 'c', 0);
             PumpMessages();
         },
         true},
        {"close box", [](TProgressWindow& f) { ::SendMessageA(f.Handle(), WM_CLOSE, 0, 0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        zip.Cancelled = false;
        TProgressWindow form(zip, nullptr);
        form.Show();
        PumpMessages();
        ASSERT_TRUE(::IsWindowVisible(form.Handle()));
        c.press(form);
        EXPECT_EQ(zip.Cancelled, c.cancels);
        EXPECT_FALSE(::IsWindowVisible(form.Handle()));
    }
}

TEST_F(ProgressWindowTest, FactoryMakesTheRealWindowOwnedByTheMainWindowAndReleasesIt) {
    StandIn main(100, 100, 400, 300);
    HWND made = nullptr;
    {
        std::unique_ptr<TProgressForm> form = ProgressWindowFactory(main.Get())(zip);
        auto* window = dynamic_cast<TProgressWindow*>(form.get());
        ASSERT_NE(window, nullptr);
        made = window->Handle();
        EXPECT_EQ(::GetWindow(made, GW_OWNER), main.Get());
    }
    EXPECT_FALSE(::IsWindow(made));
}

}  // namespace
