// A user for tests: answers message boxes and input boxes from a script and records everything it was shown.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/User.h"

namespace larktest {

struct ShownBox {
    std::string text;
    std::string caption;
    unsigned flags = 0;
    bool input = false;        // an input box: `text` is its prompt
    std::string defaultText;   // input boxes only
    size_t maxLength = 0;      // input boxes only
};

// Installs itself as the current user for its lifetime. A message box beyond the script fails the
// test and is answered Cancel, unless an Otherwise responder takes it; an answer left over at the
// end fails it too, since the code showed fewer boxes than the test expected.
class ScriptedUser final : public platform::User {
public:
    ScriptedUser();
    ~ScriptedUser() override;
    ScriptedUser(const ScriptedUser&) = delete;
    ScriptedUser& operator=(const ScriptedUser&) = delete;

    // Queues the answer to the next box; `action` runs before the answer is given (to insert the
    // next disk, say).
    ScriptedUser& Answer(int answer, std::function<void()> action = {});
    // Queues the answer to the next input box: the typed text, or a Cancel.
    ScriptedUser& Type(const std::string& text);
    ScriptedUser& CancelInput();
    // Runs at every ProcessMessages, as a click handled while messages are pumped would.
    std::function<void()> OnProcessMessages;

    // Answers every box the script has no answer for, for runs whose number of boxes a test does
    // not fix in advance (a prompt per disk of a large set).
    ScriptedUser& Otherwise(std::function<int(const ShownBox& box)> responder);

    const std::vector<ShownBox>& Shown() const { return shown_; }
    size_t AnswersLeft() const { return script_.size(); }
    platform::Cursor CurrentCursor() const { return cursor_; }
    int SetCursorCalls() const { return setCursorCalls_; }
    int ProcessMessagesCalls() const { return processMessagesCalls_; }
    int BeepCalls() const { return beepCalls_; }

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    platform::Cursor SetCursor(platform::Cursor cursor) override;
    bool InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                  size_t maxLength, std::string& answer) override;
    void ProcessMessages() override {
        ++processMessagesCalls_;
        if (OnProcessMessages) OnProcessMessages();
    }
    void Beep() override { ++beepCalls_; }

private:
    struct ScriptedAnswer {
        int answer;
        std::function<void()> action;
        bool input = false;
        std::string typed;
    };

    std::deque<ScriptedAnswer> script_;
    std::function<int(const ShownBox& box)> otherwise_;
    std::vector<ShownBox> shown_;
    platform::Cursor cursor_ = platform::Cursor::Default;
    int setCursorCalls_ = 0;
    int processMessagesCalls_ = 0;
    int beepCalls_ = 0;
};

}  // namespace larktest
