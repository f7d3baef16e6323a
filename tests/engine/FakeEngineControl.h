// The tests' handle on a fake engine library: its script, its result and what it was handed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Library.h"

namespace larktest {

class FakeEngine {
public:
    enum class Kind { Zip, Unz };

    // Loads the fake (it stays loaded while this lives, whatever the bridge does) and resets it.
    explicit FakeEngine(Kind kind);

    // The folder of both fakes, without a trailing backslash.
    static std::string Folder();

    void SetVersion(uint32_t version);
    void SetResult(int32_t result);
    // Lines "ACTION FLAG NUMBER TEXT"; a line "keepgoing" makes it call on after a -1.
    void SetScript(const std::string& script);

    int32_t ExecCount() const;
    std::vector<uint8_t> Command() const;
    std::vector<std::vector<uint8_t>> Specs() const;
    // The text a record word named during the call; nullopt when the word was 0.
    std::optional<std::string> CommandText(uint32_t offset) const;
    std::optional<std::string> SpecText(int32_t index, uint32_t offset) const;

    struct Reply {
        int32_t result = 0;
        uint32_t flag = 0;
        int32_t number = 0;
        std::string text;
    };
    std::vector<Reply> Replies() const;
    // The process's current directory during the call, in the operating system's form.
    std::string CurrentDirectory() const;

    const platform::LibraryHandle& Library() const { return library_; }

private:
    template <typename Function>
    Function Control(const char* name) const;

    platform::LibraryHandle library_;
};

}  // namespace larktest
