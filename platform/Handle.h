// One move-only owner for every kind of system handle, with a count of live handles per kind.
#pragma once

#include <utility>

namespace platform {

// Policy: `using Value`, `static Value Invalid()` and `static void Close(Value)`. The count lets a
// test check that every way out of an operation released what it opened; Wine's own resource
// counters always answer 0, so the handles count themselves.
template <typename Policy>
class UniqueHandle {
public:
    using Value = typename Policy::Value;

    UniqueHandle() noexcept : value_(Policy::Invalid()) {}
    explicit UniqueHandle(Value value) noexcept : value_(value) {
        if (IsValid()) ++liveCount_;
    }
    ~UniqueHandle() { Reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : value_(std::exchange(other.value_, Policy::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            value_ = std::exchange(other.value_, Policy::Invalid());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Value Get() const noexcept { return value_; }
    bool IsValid() const noexcept { return value_ != Policy::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Closes the handle held, if any, and takes `value` instead.
    void Reset(Value value = Policy::Invalid()) noexcept {
        if (IsValid()) {
            Policy::Close(value_);
            --liveCount_;
        }
        value_ = value;
        if (IsValid()) ++liveCount_;
    }

    // Gives the handle up without closing it; the caller closes it.
    Value Release() noexcept {
        if (IsValid()) --liveCount_;
        return std::exchange(value_, Policy::Invalid());
    }

    static int LiveCount() noexcept { return liveCount_; }

private:
    Value value_;
    static inline int liveCount_ = 0;  // one thread only, so a plain counter serves
};

}  // namespace platform
