// The user: message and input boxes, the cursor and the message pump, and the one user every component talks to.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// The program's name: the caption of every message box it shows.
extern const char* const kApplicationTitle;
// What a failure that is no exception of ours says when it reaches a window's barrier.
extern const char* const kUnexpectedError;

// Message-box flags and answers, with the values the Windows API gives them.
enum MessageBoxFlags : unsigned {
    kMbOk = 0x00,
    kMbOkCancel = 0x01,
    kMbYesNoCancel = 0x03,
    kMbYesNo = 0x04,
    kMbIconError = 0x10,
    kMbIconStop = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30,
    kMbIconInformation = 0x40,
    kMbDefButton1 = 0x000,
    kMbDefButton2 = 0x100,
    kMbDefButton3 = 0x200,
};
enum MessageBoxAnswer : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

enum class Cursor { Default, Busy };

class User {
public:
    virtual ~User() = default;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // A one-line text input: `answer` starts as `defaultText`, at most `maxLength` characters can
    // be typed, and they are shown as typed. False when the user cancels (`answer` is then empty).
    virtual bool InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                          size_t maxLength, std::string& answer) = 0;
    // The same for a text of several lines (line breaks "\r\n"); a user without such a box has the
    // one-line input.
    virtual bool TextBox(const std::string& caption, const std::string& prompt, const std::string& defaultText,
                         size_t maxLength, std::string& answer) {
        return InputBox(caption, prompt, defaultText, maxLength, answer);
    }
    // Shows `cursor` and returns the one shown before.
    virtual Cursor SetCursor(Cursor cursor) = 0;
    virtual void ProcessMessages() = 0;
    virtual void Beep() = 0;
};

// The user every component talks to. Defaults to the platform's own; tests and the console front
// end install theirs. The caller keeps ownership of what it installs.
User& CurrentUser();
void SetCurrentUser(User* user);  // nullptr restores the platform's own
// The platform's own user: message boxes on Windows, the console on the host.
std::unique_ptr<User> MakeNativeUser();

// Shows the busy cursor for its lifetime and restores the previous one on every way out.
class BusyCursor {
public:
    BusyCursor() : previous_(CurrentUser().SetCursor(Cursor::Busy)) {}
    ~BusyCursor() { CurrentUser().SetCursor(previous_); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Cursor previous_;
};

}  // namespace platform
