// DOS time stamps and the reporter that talks to the component's callback.
#include "engines/common/Engine.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace engines {

using engine::EngineCallbackInfo;

DosStamp ToDos(const platform::LocalTime& time) {
    DosStamp stamp;
    if (time.year < 1980) {
        stamp.date = (1 << 5) | 1;
        return stamp;
    }
    const int year = std::min(time.year, 2107) - 1980;
    stamp.date = static_cast<uint16_t>((year << 9) | (time.month << 5) | time.day);
    stamp.time = static_cast<uint16_t>((time.hour << 11) | (time.minute << 5) | (time.second / 2));
    return stamp;
}

platform::LocalTime FromDos(uint16_t date, uint16_t time) {
    platform::LocalTime local;
    local.year = 1980 + (date >> 9);
    local.month = std::clamp((date >> 5) & 0x0F, 1, 12);
    local.day = std::clamp(date & 0x1F, 1, 31);
    local.hour = std::min(time >> 11, 23);
    local.minute = std::min((time >> 5) & 0x3F, 59);
    local.second = std::min((time & 0x1F) * 2, 59);
    return local;
}

std::string TextAt(uint32_t word) {
    const char* text = engine::WordAddress<const char>(word);
    return text ? std::string(text) : std::string();
}

Reporter::Reporter(uint32_t callbackWord, uint32_t callerWord, uint32_t extensionWord)
    : callback_(engine::WordAddress<std::remove_pointer_t<engine::EngineCallbackFn>>(callbackWord)),
      caller_(callerWord),
      text_(RunText::FromExtensionWord(extensionWord)),
      wideNumbers_((engine::ExtensionBits(extensionWord) & engine::kExtZip64) != 0) {}

bool Reporter::Send(uint32_t action, const std::string& utf8, uint64_t number, uint32_t flag) {
    if (cancelled_) return false;
    const std::string text = text_.ToCaller(utf8);
    if (!callback_) return true;
    info_ = EngineCallbackInfo();
    info_.SetU32(EngineCallbackInfo::kCaller, caller_);
    info_.SetU32(EngineCallbackInfo::kAction, action);
    info_.SetU32(EngineCallbackInfo::kFlag, flag);
    if (wideNumbers_) {
        info_.SetU32(EngineCallbackInfo::kNumber, static_cast<uint32_t>(number));
        info_.SetU32(EngineCallbackInfo::kNumberHigh, static_cast<uint32_t>(number >> 32));
    } else {
        info_.SetU32(EngineCallbackInfo::kNumber, static_cast<uint32_t>(std::min<uint64_t>(number, 0x7FFFFFFF)));
    }
    const size_t length = std::min(text.size(), engine::kCallbackTextSize - 1);
    std::memcpy(info_.data() + EngineCallbackInfo::kText, text.data(), length);
    if (callback_(info_.data()) == -1) cancelled_ = true;
    return !cancelled_;
}

bool Reporter::Skipped(const std::string& name, engine::SkipReason reason) {
    return Send(engine::kActionSkipped, name, reason);
}

bool Reporter::Skipped(const std::string& name, engine::SkipReason reason, const std::string& why) {
    if (!why.empty() && !Message(name + ": " + why)) return false;
    return Skipped(name, reason);
}

void Reporter::Failed(const std::string& text, engine::SkipReason reason) {
    Message(text);
    Skipped(text, reason);
}

std::string Reporter::Text() const {
    const char* text = reinterpret_cast<const char*>(info_.data() + EngineCallbackInfo::kText);
    return text_.FromCaller(std::string(text, strnlen(text, engine::kCallbackTextSize)));
}

}  // namespace engines
