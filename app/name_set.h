// NameSet: the names a walk has already met in one directory.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tarnwad {

// A set of names kept compactly, for directories of a million files: the
// names back to back in one buffer, each ended by a NUL, and an open-
// addressing table of their offsets, at most half full. A name costs its
// bytes, one NUL and two to four table slots of 4 bytes, where a set of
// strings costs a node, a hash and a string object (with a heap block for a
// long name) for each.
class NameSet {
  public:
    // Adds `name`; false when it was already there. Names hold no NUL.
    bool Insert(std::string_view name);
    size_t Size() const { return count; }

  private:
    // Slot values are 1 + the name's offset in `text`; 0 is an empty slot.
    static uint64_t Hash(std::string_view name);
    bool Matches(uint32_t slot, std::string_view name) const;
    void Grow();

    std::vector<char> text;
    std::vector<uint32_t> slots;
    size_t count = 0;
    // Set once the buffer can take no more names (4 GiB of them): from then
    // on every name counts as new.
    bool full = false;
};

}  // namespace tarnwad
