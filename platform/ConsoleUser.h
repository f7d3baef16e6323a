// A user on a terminal: message boxes become a question on the error stream answered by a line of input.
#pragma once

#include <iosfwd>

#include "platform/Platform.h"

namespace platform {

class ConsoleUser final : public User {
public:
    ConsoleUser();  // the process's standard input and error streams
    ConsoleUser(std::istream& input, std::ostream& output);

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    Cursor SetCursor(Cursor cursor) override;
    void ProcessMessages() override {}
    void Beep() override {}

private:
    std::istream& input_;
    std::ostream& output_;
    Cursor cursor_ = Cursor::Default;
};

}  // namespace platform
