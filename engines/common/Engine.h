// What both engines share around the records: DOS time stamps, the callback reporter, the barrier.
#pragma once

#include <cstdint>
#include <string>

#include "abi/EngineRecords.h"
#include "engines/common/Text.h"
#include "platform/Time.h"

namespace engines {

struct DosStamp {
    uint16_t date = 0;
    uint16_t time = 0;
    uint32_t Combined() const { return (static_cast<uint32_t>(date) << 16) | time; }
};

// Times before 1980 (the first DOS date) are stored as 1980-01-01; odd seconds are rounded down.
DosStamp ToDos(const platform::LocalTime& time);
platform::LocalTime FromDos(uint16_t date, uint16_t time);

// The callback's numbers are 32-bit: larger sizes go out as the largest positive one.

// Calls the component back with one EngineCallbackInfo it owns and keeps the answer fields.
// Once the callback has answered -1 the operation is cancelled and every further Send says so at
// once, without calling back again.
class Reporter {
public:
    // The command record's extension word decides how texts and numbers cross the callback: texts
    // in the run's text (`RunText`: UTF-8 inside, the caller's outside), numbers of 64 bits whole
    // with kExtZip64, else capped at 0x7FFFFFFF as callers of 32-bit numbers expect.
    Reporter(uint32_t callbackWord, uint32_t callerWord, uint32_t extensionWord);

    // False when the operation is cancelled.
    bool Send(uint32_t action, const std::string& text = std::string(), uint64_t number = 0, uint32_t flag = 0);
    bool Skipped(const std::string& name, engine::SkipReason reason);
    // A file not processed, with the reason in words: the action-4 line "name: why" right before
    // action 11 tells the component why.
    bool Skipped(const std::string& name, engine::SkipReason reason, const std::string& why);
    bool Message(const std::string& text) { return Send(engine::kActionMessage, text); }
    // Tells the component of a failure that ends the operation: a message line and action 11.
    void Failed(const std::string& text, engine::SkipReason reason);

    bool Cancelled() const { return cancelled_; }
    uint32_t Flag() const { return info_.U32(engine::EngineCallbackInfo::kFlag); }
    uint32_t Number() const { return info_.U32(engine::EngineCallbackInfo::kNumber); }
    std::string Text() const;

private:
    engine::EngineCallbackFn callback_;
    uint32_t caller_;
    RunText text_;
    bool wideNumbers_;
    engine::EngineCallbackInfo info_;
    bool cancelled_ = false;
};

// The text a command word points at; empty for a null word.
std::string TextAt(uint32_t word);

}  // namespace engines
