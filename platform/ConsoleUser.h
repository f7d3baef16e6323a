// A user on a terminal: message and input boxes become a question on the error stream, answered by a line.
#pragma once

#include <iosfwd>

#include "platform/User.h"

namespace platform {

class ConsoleUser final : public User {
public:
    ConsoleUser();  // the process's standard input and error streams
    ConsoleUser(std::istream& input, std::ostream& output);

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    bool InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                  size_t maxLength, std::string& answer) override;
    Cursor SetCursor(Cursor cursor) override;
    void ProcessMessages() override {}
    void Beep() override {}

private:
    std::istream& input_;
    std::ostream& output_;
    Cursor cursor_ = Cursor::Default;
};

}  // namespace platform
