// The console user: shows a message box as text and reads the answer from a line of input.
#include "platform/ConsoleUser.h"

#include <cctype>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

#include "platform/Text.h"

namespace platform {
namespace {

constexpr unsigned kButtonMask = 0x0F;

// The standard error stream as an ostream whose text goes out through WriteText when flushed,
// so that a console window shows names in every script.
class ErrorStreamBuffer final : public std::streambuf {
protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) pending_ += static_cast<char>(c);
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<size_t>(count));
        return count;
    }
    int sync() override {
        WriteText(stderr, pending_);
        std::fflush(stderr);
        pending_.clear();
        return 0;
    }

private:
    std::string pending_;
};

std::ostream& ErrorStream() {
    static ErrorStreamBuffer buffer;
    static std::ostream stream(&buffer);
    return stream;
}

struct Button {
    char key;
    const char* label;
    int answer;
};

constexpr Button kOk{'o', "[O]K", kIdOk};
constexpr Button kCancel{'c', "[C]ancel", kIdCancel};
constexpr Button kYes{'y', "[Y]es", kIdYes};
constexpr Button kNo{'n', "[N]o", kIdNo};

struct ButtonSet {
    Button buttons[3];
    int count;
    int answerAtEnd;  // what an exhausted input answers: the way out that changes nothing
};

ButtonSet ButtonsOf(unsigned flags) {
    switch (flags & kButtonMask) {
        case kMbOkCancel: return {{kOk, kCancel}, 2, kIdCancel};
        // No: the engines' questions (a damaged file, an existing file) then skip the one file.
        case kMbYesNoCancel: return {{kYes, kNo, kCancel}, 3, kIdNo};
        case kMbYesNo: return {{kYes, kNo}, 2, kIdNo};
        default: return {{kOk}, 1, kIdOk};
    }
}

std::string Prompt(const ButtonSet& set) {
    std::string prompt;
    for (int i = 0; i < set.count; ++i) {
        if (i > 0) prompt += '/';
        prompt += set.buttons[i].label;
    }
    return prompt + "? ";
}

// The answer a line gives by its first letter, or 0 when it names none of the buttons.
int AnswerOf(const std::string& line, const ButtonSet& set) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return set.count == 1 ? set.buttons[0].answer : 0;
    const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(line[first])));
    for (int i = 0; i < set.count; ++i) {
        if (set.buttons[i].key == key) return set.buttons[i].answer;
    }
    return 0;
}

}  // namespace

ConsoleUser::ConsoleUser() : ConsoleUser(std::cin, ErrorStream()) {}

ConsoleUser::ConsoleUser(std::istream& input, std::ostream& output) : input_(input), output_(output) {}

int ConsoleUser::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    const ButtonSet set = ButtonsOf(flags);
    if (!caption.empty()) output_ << caption << ": ";
    output_ << text << '\n';
    std::string line;
    for (;;) {
        output_ << Prompt(set) << std::flush;
        if (!std::getline(input_, line)) {
            output_ << '\n';
            return set.answerAtEnd;
        }
        if (const int answer = AnswerOf(line, set)) return answer;
    }
}

// An empty line takes the default; an exhausted input cancels.
bool ConsoleUser::InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                           size_t maxLength, std::string& answer) {
    answer.clear();
    if (!caption.empty()) output_ << caption << ": ";
    output_ << prompt << '\n';
    if (!defaultText.empty()) output_ << '[' << defaultText << "] ";
    output_ << "> " << std::flush;
    std::string line;
    if (!std::getline(input_, line)) {
        output_ << '\n';
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    answer = line.empty() ? defaultText : TextFromConsole(line);
    if (answer.size() > maxLength) answer.resize(maxLength);
    return true;
}

Cursor ConsoleUser::SetCursor(Cursor cursor) {
    const Cursor previous = cursor_;
    cursor_ = cursor;
    return previous;
}

}  // namespace platform
