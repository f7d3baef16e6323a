// The Windows input box, driven from a second thread as a user would: it must appear, start with
// its default text, and return what was typed (cut to its limit), or nothing on Cancel.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/User.h"

namespace {

constexpr int kPromptId = 100;
constexpr int kEditId = 101;

std::string ItemText(HWND dialog, int id) {
    char text[256] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

struct Seen {
    std::atomic<bool> found{false};
    std::string prompt;
    std::string startText;
};

// Waits for the box by its caption, notes what it shows, types `text` and presses `button`.
std::thread Typist(const char* caption, const std::string& text, int button, Seen& seen) {
    return std::thread([caption, text, button, &seen] {
        // Up to a minute: a loaded machine starts Wine's window slowly.
        for (int i = 0; i < 2400; ++i) {
            if (HWND box = ::FindWindowA(nullptr, caption)) {
                seen.prompt = ItemText(box, kPromptId);
                seen.startText = ItemText(box, kEditId);
                ::SetDlgItemTextA(box, kEditId, text.c_str());
                seen.found = true;
                ::PostMessageA(box, WM_COMMAND, button, 0);
                return;
            }
            ::Sleep(25);
        }
    });
}

struct BoxCase {
    const char* name;
    const char* typed;
    int button;
    bool ok;
    const char* answer;
};

class InputBox : public testing::TestWithParam<BoxCase> {};

TEST_P(InputBox, AppearsAndReturnsTheTypedText) {
    const BoxCase& c = GetParam();
    auto user = platform::MakeNativeUser();
    Seen seen;
    std::thread typist = Typist("Larkspool input test", c.typed, c.button, seen);
    std::string answer = "stale";
    const bool ok = user->InputBox("Larkspool input test", "Type something:", "start", 10, answer);
    typist.join();
    ASSERT_TRUE(seen.found) << "the input box never appeared (is there a display?)";
    EXPECT_EQ(seen.prompt, "Type something:");
    EXPECT_EQ(seen.startText, "start");
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(answer, c.answer);
}

INSTANTIATE_TEST_SUITE_P(Table, InputBox,
                         testing::Values(BoxCase{"Ok", "typed", IDOK, true, "typed"},
                                         BoxCase{"OkEmpty", "", IDOK, true, ""},
                                         BoxCase{"CutToTheLimit", "0123456789ABC", IDOK, true, "0123456789"},
                                         BoxCase{"Cancel", "typed", IDCANCEL, false, ""}),
                         [](const testing::TestParamInfo<BoxCase>& info) { return info.param.name; });

}  // namespace
