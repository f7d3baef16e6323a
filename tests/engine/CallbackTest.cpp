// The engine callback: bookkeeping, events, the progress window, the trace file, cancel, and the
// password, CRC and overwrite questions.
#include "tests/engine/EngineTest.h"

using larktest::EngineTest;
using larktest::WindowLog;
using zip::FormatMsg;
using zip::Msg;

namespace {

class Callback : public EngineTest {
protected:
    // Runs an extraction whose engine replays `script`, and returns the engine's replies.
    std::vector<larktest::FakeEngine::Reply> Extract(const std::string& script, uint8_t options = 17) {
        if (zip.Count() == 0) OpenArchive();
        zip.ExtractOptions = options;
        zip.ExtractDir = folder.Path();
        zip.FileSpecs() = {"*.*"};
        unzDll.SetScript(script);
        zip.ExtractFiles();
        return unzDll.Replies();
    }
};

TEST_F(Callback, KeepsTheBatchCountersAndRaisesTheEvents) {
    std::vector<std::string> events;
    zip.OnZEDBeginFileEvent = [&](TZip* sender, const std::string& name, int32_t size, int32_t count, int32_t total) {
        EXPECT_EQ(sender, &zip);
        events.push_back("begin " + name + " " + std::to_string(size) + " " + std::to_string(count) + " " +
                         std::to_string(total));
    };
    zip.OnZEDProgressEvent = [&](TZip*, const std::string& name, int32_t done, int32_t total) {
        events.push_back("progress " + name + " " + std::to_string(done) + " " + std::to_string(total));
    };
    zip.OnZEDEndBatchEvent = [&](TZip*, int32_t skipped, int32_t count, int32_t total) {
        events.push_back("end " + std::to_string(skipped) + " " + std::to_string(count) + " " + std::to_string(total));
    };
    const auto replies = Extract(
        "5 0 3\n6 0 1000\n1 0 400 a.txt\n2 0 100\n2 0 150\n0 0 0\n7 0 0\n12 0 0\n99 0 0\n"
        "11 0 3\n11 0 4\n11 0 9\n11 0 10\n11 0 260\n3 0 0\n");
    ASSERT_EQ(replies.size(), 15u);
    for (const auto& reply : replies) EXPECT_EQ(reply.result, 0);
    EXPECT_EQ(zip.BatchFileCount, 3);
    EXPECT_EQ(zip.BatchTotalBytes, 1000);
    EXPECT_EQ(zip.BatchBytesDone, 250);
    EXPECT_FLOAT_EQ(zip.ProgressScale, 65.535f);
    EXPECT_EQ(zip.CurrentFileName, "a.txt");
    EXPECT_EQ(zip.BatchSkippedCount, 5);
    EXPECT_EQ(zip.ErrorCount(), 3) << "reasons 4 and 9 are errors, 3 and 10 not; 260 is 4 in its low byte";
    EXPECT_EQ(events, (std::vector<std::string>{"begin a.txt 400 3 1000", "progress a.txt 100 1000",
                                                "progress a.txt 150 1000", "end 5 3 1000"}));
    EXPECT_EQ(WindowLog(), (std::vector<std::string>{"show", "max 65535", "text a.txt", "pos 6553", "pos 16383",
                                                     "hide", "free"}));
    EXPECT_EQ(user.ProcessMessagesCalls(), 16) << "once before the call to paint, then once per callback";
    EXPECT_EQ(zip.ProgressForm(), nullptr);
}

TEST_F(Callback, SkippedReasonsCountAsErrorsOnlyFromFourToNine) {
    for (uint32_t reason = 0; reason <= 12; ++reason) {
        Extract("6 0 10\n11 0 " + std::to_string(reason) + "\n");
        EXPECT_EQ(zip.BatchSkippedCount, 1) << reason;
        EXPECT_EQ(zip.ErrorCount(), reason >= 4 && reason <= 9 ? 1 : 0) << reason;
    }
}

TEST_F(Callback, ABatchOfNoBytesScalesByOneAndANewBatchResetsTheCounters) {
    Extract("6 0 0\n2 0 7\n11 0 5\n");
    EXPECT_FLOAT_EQ(zip.ProgressScale, 1.0f);
    EXPECT_EQ(zip.BatchBytesDone, 7);
    EXPECT_EQ(zip.ErrorCount(), 1);
    Extract("6 0 65535\n");
    EXPECT_EQ(zip.BatchBytesDone, 0);
    EXPECT_EQ(zip.BatchSkippedCount, 0);
    EXPECT_EQ(zip.ErrorCount(), 0);
    EXPECT_FLOAT_EQ(zip.ProgressScale, 1.0f);
}

// A batch past 4 GiB: counters and the bar follow its 64-bit numbers; the events' 32-bit numbers
// hold the largest they can.
TEST_F(Callback, ABatchPastFourGibibytesKeepsItsProportions) {
    int32_t eventTotal = 0;
    zip.OnZEDProgressEvent = [&](TZip*, const std::string&, int32_t, int32_t total) { eventTotal = total; };
    Extract("6 0 6442450944\n1 0 5368709120 big.bin\n2 0 3221225472\n");
    EXPECT_EQ(zip.BatchTotalBytes, 6442450944);
    EXPECT_EQ(zip.BatchBytesDone, 3221225472);
    EXPECT_EQ(eventTotal, INT32_MAX);
    EXPECT_EQ(WindowLog().at(3), "pos 32767");
}

TEST_F(Callback, WithoutTheWindowSettingNoWindowIsMadeButTheEventsStillCome) {
    zip.ShowProgressDialog = false;
    int begun = 0;
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) { ++begun; };
    Extract("6 0 10\n1 0 10 a.txt\n2 0 10\n3 0 0\n");
    EXPECT_EQ(begun, 1);
    EXPECT_EQ(larktest::WindowsMade(), 0);
    EXPECT_TRUE(WindowLog().empty());
}

TEST_F(Callback, OnceCancelledEveryCallbackReturnsMinusOneAndTouchesNothing) {
    // The Cancel click arrives while the second callback pumps messages.
    int pumped = 0;
    user.OnProcessMessages = [&] {
        if (++pumped == 3) zip.Cancelled = true;
    };
    int events = 0;
    zip.OnZEDProgressEvent = [&](TZip*, const std::string&, int32_t, int32_t) { ++events; };
    const auto replies = Extract("keepgoing\n6 0 100\n2 0 10\n2 0 20\n6 0 5\n5 0 9\n11 0 4\n8 0 3 a.txt\n9 0 0 a.txt\n"
                                 "10 0 0 a.txt\n1 0 3 b.txt\n3 0 0\n");
    ASSERT_EQ(replies.size(), 11u);
    EXPECT_EQ(replies[0].result, 0);
    EXPECT_EQ(replies[1].result, 0) << "the click takes effect at the next callback";
    for (size_t i = 2; i < replies.size(); ++i) EXPECT_EQ(replies[i].result, -1) << i;
    EXPECT_EQ(events, 1);
    EXPECT_EQ(zip.BatchBytesDone, 10);
    EXPECT_EQ(zip.BatchTotalBytes, 100);
    EXPECT_EQ(zip.BatchFileCount, 0);
    EXPECT_EQ(zip.BatchSkippedCount, 0);
    EXPECT_EQ(zip.CurrentFileName, "");
    EXPECT_EQ(replies[6].number, 3) << "no password question was asked";
    EXPECT_TRUE(user.Shown().empty());
    EXPECT_TRUE(zip.Cancelled) << "kept until the next operation";
}

TEST_F(Callback, WritesTheTraceFileOnlyWhileEnabled) {
    const std::string traceFile = TZip::TraceFileName();
    EXPECT_EQ(traceFile, ChangeFileExt(platform::ModuleFileName(), ".trace"));
    platform::DeleteFile(traceFile);
    Extract("4 0 0 first line\n4 0 0\n4 0 0 second\n");
    EXPECT_FALSE(platform::FileExists(traceFile)) << "not enabled";
    zip.TraceEnabled = true;
    bool openDuringCall = false;
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
        openDuringCall = zip.TraceStream() != nullptr;
    };
    Extract("4 0 0 first line\n4 0 0\n1 0 0 a\n4 0 0 second\n");
    EXPECT_TRUE(openDuringCall);
    EXPECT_EQ(zip.TraceStream(), nullptr);
    EXPECT_EQ(larktest::ReadFileBytes(traceFile), "first line\r\nsecond\r\n");
    Extract("4 0 0 again\n");
    EXPECT_EQ(larktest::ReadFileBytes(traceFile), "again\r\n") << "each call starts the file afresh";
    platform::DeleteFile(traceFile);
}

// ---------------------------------------------------------------------------------------------
// Questions

struct PasswordCase {
    const char* name;
    int32_t attemptsLeft;
    Msg prompt;
    std::string typed;
    int32_t numberAfter;
};

class PasswordQuestion : public Callback, public testing::WithParamInterface<PasswordCase> {};

TEST_P(PasswordQuestion, PromptsByAttemptsLeftAndPassesTheAnswerAsTyped) {
    const PasswordCase& c = GetParam();
    OpenArchive();
    zip.SetPassword("stored");
    user.Type(c.typed);
    const auto replies = Extract("8 0 " + std::to_string(c.attemptsLeft) + " secret.txt\n");
    ASSERT_EQ(user.Shown().size(), 1u);
    const auto& box = user.Shown()[0];
    EXPECT_TRUE(box.input);
    EXPECT_EQ(box.caption, zip::kApplicationTitle);
    EXPECT_EQ(box.text, c.prompt == Msg::NewPasswordRequired ? FormatMsg(c.prompt, "secret.txt") : FormatMsg(c.prompt));
    EXPECT_EQ(box.defaultText, "") << "every request starts empty";
    EXPECT_EQ(box.maxLength, 255u);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].result, 0);
    EXPECT_EQ(replies[0].text, c.typed);
    EXPECT_EQ(replies[0].flag, 1u);
    EXPECT_EQ(replies[0].number, c.numberAfter);
    EXPECT_EQ(zip.Password(), "stored") << "the answer goes to the engine only";
    EXPECT_EQ(WindowLog(), (std::vector<std::string>{"show", "hide", "show", "free"}));
}

INSTANTIATE_TEST_SUITE_P(Table, PasswordQuestion,
                         testing::Values(PasswordCase{"New", 3, Msg::NewPasswordRequired, "pw", 2},
                                         PasswordCase{"Retry", 2, Msg::PasswordInvalid, "pw", 1},
                                         PasswordCase{"LastTry", 1, Msg::PasswordInvalid, "pw", 0},
                                         PasswordCase{"NoneLeft", 0, Msg::PasswordInvalid, "pw", 0},
                                         PasswordCase{"Longer80", 3, Msg::NewPasswordRequired, std::string(81, 'p'), 2},
                                         PasswordCase{"Longest", 3, Msg::NewPasswordRequired, std::string(255, 'q'),
                                                      2}),
                         [](const testing::TestParamInfo<PasswordCase>& info) { return info.param.name; });

TEST_F(Callback, AnEmptyPasswordThenYesGoesOnAndNoCancels) {
    user.Type("").Answer(platform::kIdYes).CancelInput().Answer(platform::kIdNo);
    const auto replies = Extract("8 1 3 a.txt\n8 1 2 b.txt\n8 1 3 c.txt\n");
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].result, 0);
    EXPECT_EQ(replies[0].flag, 0u);
    EXPECT_EQ(replies[0].number, 0);
    EXPECT_EQ(replies[1].result, -1) << "a cancelled box is an empty answer; No cancels";
    EXPECT_EQ(replies[1].flag, 0u);
    EXPECT_EQ(replies[1].number, 0);
    EXPECT_TRUE(zip.Cancelled);
    ASSERT_EQ(user.Shown().size(), 4u);
    EXPECT_EQ(user.Shown()[1].text, FormatMsg(Msg::NoPasswordEntered));
    EXPECT_EQ(user.Shown()[1].flags, unsigned{platform::kMbYesNo | platform::kMbIconQuestion});
    EXPECT_EQ(WindowLog(), (std::vector<std::string>{"show", "hide", "show", "hide", "free"}))
        << "not shown again after the cancelling answer";
}

TEST_F(Callback, CrcErrorYesNoCancel) {
    user.Answer(platform::kIdYes).Answer(platform::kIdNo).Answer(platform::kIdCancel);
    const auto replies = Extract("9 5 0 one.txt\n9 5 0 two.txt\n9 5 0 three.txt\n");
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0].flag, 1u);
    EXPECT_EQ(replies[1].flag, 0u);
    EXPECT_EQ(replies[2].flag, 5u) << "Cancel leaves the flag";
    EXPECT_EQ(replies[2].result, -1);
    ASSERT_EQ(user.Shown().size(), 3u);
    EXPECT_EQ(user.Shown()[0].text, FormatMsg(Msg::CrcError, "one.txt"));
    EXPECT_EQ(user.Shown()[0].caption, zip::kApplicationTitle);
    EXPECT_EQ(user.Shown()[0].flags,
              unsigned{platform::kMbYesNoCancel | platform::kMbIconQuestion | platform::kMbDefButton2});
}

struct OverwriteCase {
    const char* name;
    uint8_t options;
    uint32_t flag;             // bit 0: the existing file is older
    int answer;                // 0: no question expected
    int32_t number;
    bool cancelled;
};

class OverwriteQuestion : public Callback, public testing::WithParamInterface<OverwriteCase> {};

TEST_P(OverwriteQuestion, IsAnsweredByOptionsAgeOrTheUser) {
    const OverwriteCase& c = GetParam();
    if (c.answer) user.Answer(c.answer);
    const auto replies = Extract("10 " + std::to_string(c.flag) + " 7 old.txt\n", c.options);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].number, c.number);
    EXPECT_EQ(replies[0].result, c.cancelled ? -1 : 0);
    EXPECT_EQ(zip.Cancelled, c.cancelled);
    if (!c.answer) {
        EXPECT_TRUE(user.Shown().empty());
        return;
    }
    ASSERT_EQ(user.Shown().size(), 1u);
    const bool older = c.flag & 1;
    EXPECT_EQ(user.Shown()[0].text, FormatMsg(older ? Msg::OverwriteOlder : Msg::OverwriteNewer, "old.txt"));
    EXPECT_EQ(user.Shown()[0].flags,
              older ? unsigned{platform::kMbYesNoCancel | platform::kMbIconInformation | platform::kMbDefButton1}
                    : unsigned{platform::kMbYesNoCancel | platform::kMbIconStop | platform::kMbDefButton2});
}

INSTANTIATE_TEST_SUITE_P(
    Table, OverwriteQuestion,
    testing::Values(OverwriteCase{"NoOptionOverwrites", 0, 0, 0, 1, false},
                    OverwriteCase{"FoldersOnlyOverwrites", 16, 0, 0, 1, false},
                    OverwriteCase{"OlderByAge", 17, 1, 0, 1, false},
                    OverwriteCase{"NewerByAge", 17, 0, 0, 0, false},
                    OverwriteCase{"OlderByAge2", 2, 3, 0, 1, false},
                    OverwriteCase{"NewerByAge2", 2, 2, 0, 0, false},
                    OverwriteCase{"AgeWinsOverAsking", 9, 0, 0, 0, false},
                    OverwriteCase{"AskedOlderYes", 8, 1, platform::kIdYes, 1, false},
                    OverwriteCase{"AskedOlderNo", 8, 1, platform::kIdNo, 0, false},
                    OverwriteCase{"AskedNewerYes", 24, 0, platform::kIdYes, 1, false},
                    OverwriteCase{"AskedNewerCancel", 8, 0, platform::kIdCancel, 0, true}),
    [](const testing::TestParamInfo<OverwriteCase>& info) { return info.param.name; });

}  // namespace
