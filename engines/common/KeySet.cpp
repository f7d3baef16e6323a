// Open addressing with linear probing: two words a slot, no node per item.
#include "engines/common/KeySet.h"

namespace engines {

KeySet::KeySet(KeyOf keyOf, Hash hash) : keyOf_(std::move(keyOf)), hash_(std::move(hash)) {}

uint32_t KeySet::StandardHash(const std::string& key) { return static_cast<uint32_t>(std::hash<std::string>()(key)); }

size_t KeySet::Locate(const std::string& key, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.item == kEmpty || (slot.hash == hash && keyOf_(slot.item) == key)) return at;
    }
}

std::optional<uint32_t> KeySet::Find(const std::string& key) const {
    if (count_ == 0) return std::nullopt;
    const uint32_t item = slots_[Locate(key, hash_(key))].item;
    return item == kEmpty ? std::nullopt : std::optional<uint32_t>(item);
}

bool KeySet::Insert(uint32_t item, const std::string& key) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
    const uint32_t hash = hash_(key);
    Slot& slot = slots_[Locate(key, hash)];
    if (slot.item != kEmpty) return false;
    slot = Slot{hash, item};
    ++count_;
    return true;
}

// Moves the slots into a table twice as long, by the hashes they keep: no key is made again.
void KeySet::Grow() {
    std::vector<Slot> old(std::max<size_t>(16, slots_.size() * 2));
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.item == kEmpty) continue;
        size_t at = slot.hash & mask;
        while (slots_[at].item != kEmpty) at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

}  // namespace engines
