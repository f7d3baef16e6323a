// The window tests' dialogs: answers from a script, and a note of how each dialog was set up.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Dialogs.h"

namespace larktest {

// A dialog beyond the script fails the test and is cancelled.
class ScriptedDialogs final : public TDialogs {
public:
    struct Shown {
        std::string kind, title, start, filter;  // input boxes: title is "caption|prompt"
        unsigned options = 0;
    };
    std::deque<std::optional<std::vector<std::string>>> files;  // nullopt: Cancel
    std::deque<std::optional<std::string>> folders;
    std::deque<std::optional<std::string>> typed;
    std::function<INT_PTR(platform::win32::ModalDialog&)> onModal;  // none: a modal dialog fails the test
    std::vector<Shown> shown;
    std::vector<std::pair<std::string, std::string>> opened;  // file, working folder
    int modals = 0;

    bool ExecuteSave(TFileDialog& dialog) override { return File("save", dialog); }
    bool ExecuteOpen(TFileDialog& dialog) override { return File("open", dialog); }
    bool BrowseForFolder(std::string& folder, const std::string& title) override {
        shown.push_back({"folder", title, folder, "", 0});
        const auto answer = Take(folders);
        if (answer) folder = *answer;
        return answer.has_value();
    }
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& defaultText) override {
        shown.push_back({"input", caption + "|" + prompt, defaultText, "", 0});
        return Take(typed).value_or(defaultText);
    }
    std::string CommentBox(const std::string& caption, const std::string& prompt,
                           const std::string& defaultText) override {
        return InputBox(caption, prompt, defaultText);
    }
    INT_PTR ShowModal(platform::win32::ModalDialog& dialog) override {
        ++modals;
        if (onModal) return onModal(dialog);
        ADD_FAILURE() << "no modal dialog expected";
        return IDCANCEL;
    }
    void ShellOpen(const std::string& file, const std::string& workingFolder) override {
        opened.emplace_back(file, workingFolder);
    }

private:
    bool File(const char* kind, TFileDialog& dialog) {
        shown.push_back({kind, dialog.Title, dialog.InitialDir, dialog.Filter, dialog.Options});
        const auto answer = Take(files);
        if (answer) dialog.Files = *answer;
        return answer.has_value();
    }
    template <typename T>
    std::optional<T> Take(std::deque<std::optional<T>>& queue) {
        if (queue.empty()) {
            ADD_FAILURE() << "a dialog the script did not expect";
            return std::nullopt;
        }
        std::optional<T> answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

}  // namespace larktest
