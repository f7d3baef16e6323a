// The scripted test user: replays queued answers and records the boxes, the cursor and the calls.
#include "tests/support/ScriptedUser.h"

#include <gtest/gtest.h>

namespace larktest {

ScriptedUser::ScriptedUser() { platform::SetCurrentUser(this); }

ScriptedUser::~ScriptedUser() {
    platform::SetCurrentUser(nullptr);
    if (!script_.empty()) {
        ADD_FAILURE() << script_.size() << " scripted answer(s) left over: fewer message boxes than expected";
    }
}

ScriptedUser& ScriptedUser::Answer(int answer, std::function<void()> action) {
    script_.push_back({answer, std::move(action), false, {}});
    return *this;
}

ScriptedUser& ScriptedUser::Type(const std::string& text) {
    script_.push_back({platform::kIdOk, {}, true, text});
    return *this;
}

ScriptedUser& ScriptedUser::CancelInput() {
    script_.push_back({platform::kIdCancel, {}, true, {}});
    return *this;
}

ScriptedUser& ScriptedUser::Otherwise(std::function<int(const ShownBox& box)> responder) {
    otherwise_ = std::move(responder);
    return *this;
}

int ScriptedUser::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    shown_.push_back({text, caption, flags, false, {}, 0});
    if (script_.empty() && otherwise_) return otherwise_(ShownBox(shown_.back()));
    if (script_.empty() || script_.front().input) {
        ADD_FAILURE() << "unexpected message box \"" << text << "\" (" << caption << ", flags 0x" << std::hex << flags
                      << ")";
        return platform::kIdCancel;
    }
    ScriptedAnswer next = std::move(script_.front());
    script_.pop_front();
    if (next.action) next.action();
    return next.answer;
}

bool ScriptedUser::InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                            size_t maxLength, std::string& answer) {
    shown_.push_back({prompt, caption, 0, true, defaultText, maxLength});
    answer.clear();
    if (script_.empty() || !script_.front().input) {
        ADD_FAILURE() << "unexpected input box \"" << prompt << "\" (" << caption << ")";
        return false;
    }
    ScriptedAnswer next = std::move(script_.front());
    script_.pop_front();
    if (next.answer != platform::kIdOk) return false;
    answer = next.typed.substr(0, maxLength);
    return true;
}

platform::Cursor ScriptedUser::SetCursor(platform::Cursor cursor) {
    ++setCursorCalls_;
    const platform::Cursor previous = cursor_;
    cursor_ = cursor;
    return previous;
}

}  // namespace larktest
