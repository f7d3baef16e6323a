// The current user, the busy cursor and the console user's questions.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "platform/ConsoleUser.h"
#include "platform/User.h"
#include "tests/support/ScriptedUser.h"

using platform::Cursor;

namespace {

TEST(BusyCursor, RestoresThePreviousCursorOnEveryWayOut) {
    larktest::ScriptedUser user;
    {
        platform::BusyCursor busy;
        EXPECT_EQ(user.CurrentCursor(), Cursor::Busy);
        {
            platform::BusyCursor nested;
            EXPECT_EQ(user.CurrentCursor(), Cursor::Busy);
        }
        EXPECT_EQ(user.CurrentCursor(), Cursor::Busy) << "the outer one still runs";
    }
    EXPECT_EQ(user.CurrentCursor(), Cursor::Default);
    try {
        platform::BusyCursor busy;
        throw std::runtime_error("fails");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(user.CurrentCursor(), Cursor::Default);
    EXPECT_EQ(user.SetCursorCalls(), 6);
}

TEST(CurrentUser, IsTheInstalledOneWhileItLives) {
    platform::User* native = &platform::CurrentUser();
    {
        larktest::ScriptedUser user;
        EXPECT_EQ(&platform::CurrentUser(), &user);
        user.Answer(platform::kIdYes);
        EXPECT_EQ(platform::CurrentUser().MessageBox("Sure?", "Title", platform::kMbYesNo), platform::kIdYes);
        ASSERT_EQ(user.Shown().size(), 1u);
        EXPECT_EQ(user.Shown()[0].text, "Sure?");
        EXPECT_EQ(user.Shown()[0].caption, "Title");
        EXPECT_EQ(user.Shown()[0].flags, unsigned{platform::kMbYesNo});
    }
    EXPECT_EQ(&platform::CurrentUser(), native);
}

TEST(ScriptedUser, RunsEachActionBeforeItsAnswer) {
    larktest::ScriptedUser user;
    int actions = 0;
    user.Answer(platform::kIdOk, [&] { ++actions; }).Answer(platform::kIdCancel, [&] { actions += 10; });
    EXPECT_EQ(user.MessageBox("one", "", platform::kMbOkCancel), platform::kIdOk);
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(user.MessageBox("two", "", platform::kMbOkCancel), platform::kIdCancel);
    EXPECT_EQ(actions, 11);
    EXPECT_EQ(user.AnswersLeft(), 0u);
}

struct ConsoleCase {
    const char* name;
    unsigned flags;
    const char* input;
    int answer;
    int prompts;  // how often the question was asked
    const char* prompt;
};

class ConsoleQuestions : public testing::TestWithParam<ConsoleCase> {};

TEST_P(ConsoleQuestions, AnswerFromALineOrTheSafeWayOut) {
    const ConsoleCase& c = GetParam();
    std::istringstream input(c.input);
    std::ostringstream output;
    platform::ConsoleUser user(input, output);
    EXPECT_EQ(user.MessageBox("Replace the file?", "Larkspool", c.flags), c.answer);
    const std::string shown = output.str();
    EXPECT_EQ(shown.rfind("Larkspool: Replace the file?\n", 0), 0u) << shown;
    int prompts = 0;
    for (size_t at = shown.find(c.prompt); at != std::string::npos; at = shown.find(c.prompt, at + 1)) ++prompts;
    EXPECT_EQ(prompts, c.prompts) << shown;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConsoleQuestions,
    testing::Values(
        ConsoleCase{"Cancel", platform::kMbOkCancel, "c\n", platform::kIdCancel, 1, "[O]K/[C]ancel? "},
        ConsoleCase{"OkUpperCase", platform::kMbOkCancel | platform::kMbIconInformation, " O\n", platform::kIdOk, 1,
                    "[O]K/[C]ancel? "},
        ConsoleCase{"EndOfInputCancels", platform::kMbOkCancel, "", platform::kIdCancel, 1, "[O]K/[C]ancel? "},
        ConsoleCase{"EndOfInputSaysNo", platform::kMbYesNo, "", platform::kIdNo, 1, "[Y]es/[N]o? "},
        ConsoleCase{"EndOfInputSaysNoOfThree", platform::kMbYesNoCancel, "", platform::kIdNo, 1,
                    "[Y]es/[N]o/[C]ancel? "},
        ConsoleCase{"EndOfInputAcknowledges", platform::kMbOk | platform::kMbIconError, "", platform::kIdOk, 1, "[O]K? "},
        ConsoleCase{"EmptyLineAcknowledges", platform::kMbOk, "\n", platform::kIdOk, 1, "[O]K? "},
        ConsoleCase{"AsksAgainUntilAButton", platform::kMbYesNoCancel, "x\n\nyes\n", platform::kIdYes, 3,
                    "[Y]es/[N]o/[C]ancel? "},
        ConsoleCase{"CancelNotOffered", platform::kMbYesNo, "c\nN\n", platform::kIdNo, 2, "[Y]es/[N]o? "}),
    [](const testing::TestParamInfo<ConsoleCase>& info) { return info.param.name; });

struct InputCase {
    const char* name;
    const char* input;
    const char* defaultText;
    size_t maxLength;
    bool ok;
    const char* answer;
};

class ConsoleInput : public testing::TestWithParam<InputCase> {};

TEST_P(ConsoleInput, ReadsOneLine) {
    const InputCase& c = GetParam();
    std::istringstream input(c.input);
    std::ostringstream output;
    platform::ConsoleUser user(input, output);
    std::string answer = "stale";
    EXPECT_EQ(user.InputBox("Larkspool", "Password?", c.defaultText, c.maxLength, answer), c.ok);
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(output.str().rfind("Larkspool: Password?\n", 0), 0u) << output.str();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConsoleInput,
    testing::Values(InputCase{"Typed", "secret word\n", "", 255, true, "secret word"},
                    InputCase{"CarriageReturnDropped", "pw\r\n", "", 255, true, "pw"},
                    InputCase{"EmptyLineTakesTheDefault", "\n", "old", 255, true, "old"},
                    InputCase{"CutToTheLimit", "0123456789\n", "", 4, true, "0123"},
                    InputCase{"EndOfInputCancels", "", "old", 255, false, ""}),
    [](const testing::TestParamInfo<InputCase>& info) { return info.param.name; });

TEST(ScriptedUser, AnswersInputBoxesFromItsScript) {
    larktest::ScriptedUser user;
    user.Type("typed").CancelInput();
    std::string answer;
    EXPECT_TRUE(user.InputBox("Title", "Prompt", "d", 3, answer));
    EXPECT_EQ(answer, "typ") << "cut to the box's limit";
    EXPECT_FALSE(user.InputBox("Title", "Prompt", "d", 3, answer));
    EXPECT_EQ(answer, "");
    ASSERT_EQ(user.Shown().size(), 2u);
    EXPECT_TRUE(user.Shown()[0].input);
    EXPECT_EQ(user.Shown()[0].text, "Prompt");
    EXPECT_EQ(user.Shown()[0].defaultText, "d");
    EXPECT_EQ(user.Shown()[0].maxLength, 3u);
}

TEST(ConsoleUser, SetCursorReturnsThePreviousOne) {
    std::istringstream input;
    std::ostringstream output;
    platform::ConsoleUser user(input, output);
    EXPECT_EQ(user.SetCursor(Cursor::Busy), Cursor::Default);
    EXPECT_EQ(user.SetCursor(Cursor::Default), Cursor::Busy);
    EXPECT_EQ(output.str(), "");
}

}  // namespace
