// A set of items known by their number, whose keys are not kept but made again when needed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace engines {

// Finds items by a key (a folded name) in a few bytes an item, however long the keys: it keeps each
// item's number and a hash of its key, and asks `keyOf` for an item's key only when the hashes agree,
// so two keys are never taken for one.
class KeySet {
public:
    using KeyOf = std::function<std::string(uint32_t item)>;
    using Hash = std::function<uint32_t(const std::string& key)>;

    explicit KeySet(KeyOf keyOf, Hash hash = StandardHash);
    // The first item added with `key`.
    std::optional<uint32_t> Find(const std::string& key) const;
    // Adds `item`, whose key is `key`; false, adding nothing, when an item of that key is there.
    bool Insert(uint32_t item, const std::string& key);
    size_t Size() const { return count_; }

private:
    static constexpr uint32_t kEmpty = UINT32_MAX;
    struct Slot {
        uint32_t hash = 0;
        uint32_t item = kEmpty;
    };
    static uint32_t StandardHash(const std::string& key);
    // The slot of `key`, or the empty slot where it would go.
    size_t Locate(const std::string& key, uint32_t hash) const;
    void Grow();

    KeyOf keyOf_;
    Hash hash_;
    std::vector<Slot> slots_;  // open addressing, a power of two long, at most three quarters full
    size_t count_ = 0;
};

}  // namespace engines
