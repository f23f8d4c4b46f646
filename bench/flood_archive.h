// Archives of one directory of names chosen to collide in one of the hash
// tables that loading, walking or mounting an archive fills, and of
// ordinary names to set against them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

enum class FloodKind {
    kOrdinary,    // random names
    kWadIndex,    // one 32-bit FNV-1a value (FnvCollidingNames, kFnv1a32)
    kWalkSet,     // one value of the low 32 bits of 64-bit FNV-1a
    kMountTable,  // one std::hash value of the mount's path "/flood/NAME"
    // SipHash-1-3 under the all-zero key: the tree's index hash without its
    // process key, every name in one slot of an index of that many names;
    // as long as the names of kWadIndex
    kKeylessIndex,
};

// The number of slots of the tree's name index for a directory of `count`
// names (more than 8): the least power of two, 32 at least, that keeps the
// index at most half full.
uint32_t IndexSlots(uint32_t count);

// "ordinary", "wad-index", "walk-set", "mount-table" or "keyless-index";
// false for anything else.
bool ParseFloodKind(const std::string& text, FloodKind* kind);

// The directory all the names of a flood archive lie in.
inline constexpr char kFloodDirectory[] = "flood";

// `count` names of `kind`; ordinary ones are `ordinaryLength` bytes long.
std::vector<std::string> FloodNames(FloodKind kind, uint32_t count, uint32_t ordinaryLength);

// Writes an archive (version 2) of one byte at flood\NAME for each of
// `names`, in that order, and the first of them once more at the end: an
// archive that holds one path twice, so that a walk of the tree keeps its
// set of the names it has met. False if it cannot be written.
bool WriteFloodArchive(const std::string& path, const std::vector<std::string>& names);

}  // namespace bench
