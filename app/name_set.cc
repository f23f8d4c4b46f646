#include "app/name_set.h"

#include <cstring>
#include <limits>

#include "vfs/core/keyed_hash.h"

namespace tarnwad {

uint64_t NameSet::Hash(std::string_view name) {
    // Keyed: the names come from the archive, and names chosen to share the
    // table's low bits would make every insertion walk one long run.
    return vfs::KeyedHash(name.data(), name.size());
}

bool NameSet::Matches(uint32_t slot, std::string_view name) const {
    const size_t at = slot - 1;
    return text.size() - at > name.size() &&
           std::memcmp(&text[at], name.data(), name.size()) == 0 && text[at + name.size()] == '\0';
}

void NameSet::Grow() {
    std::vector<uint32_t> old = std::move(slots);
    slots.assign(old.empty() ? 16 : old.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (uint32_t slot : old) {
        if (slot != 0) {
            const char* stored = &text[slot - 1];
            size_t i = Hash(std::string_view(stored, std::strlen(stored))) & mask;
            while (slots[i] != 0) {
                i = (i + 1) & mask;
            }
            slots[i] = slot;
        }
    }
}

bool NameSet::Insert(std::string_view name) {
    if (full) {
        return true;
    }
    if (2 * (count + 1) > slots.size()) {
        Grow();
    }
    const size_t mask = slots.size() - 1;
    size_t i = Hash(name) & mask;
    for (; slots[i] != 0; i = (i + 1) & mask) {
        if (Matches(slots[i], name)) {
            return false;
        }
    }
    // Offsets (plus one) must fit a slot.
    if (text.size() + name.size() + 1 >= std::numeric_limits<uint32_t>::max()) {
        full = true;
        return true;
    }
    slots[i] = static_cast<uint32_t>(text.size() + 1);
    text.insert(text.end(), name.begin(), name.end());
    text.push_back('\0');
    ++count;
    return true;
}

}  // namespace tarnwad
