// What `tarnwad diff` finds between two sides: entries added, removed,
// changed in content, or changed only in how they are kept.
#pragma once

#include <string>
#include <vector>

#include "tools/diff/compared_tree.h"

namespace tarnwad::cli {

enum class Change {
    kAdded,    // only in the second side
    kRemoved,  // only in the first side
    kContent,  // the decoded content differs
    // The content is equal; what differs is only how it is kept, in this
    // order of precedence (one change per entry):
    kCoding,  // another coding, or the same coding giving other stored bytes
    kFlags,   // flags that name the same coding
    kPlace,   // the same stored bytes and flags at another offset
};

// "added", "removed", "content", "coding", "flags", "place".
const char* ChangeName(Change change);

// Whether `change` is one of content: an entry added, removed or changed.
inline bool ChangesContent(Change change) {
    return change == Change::kAdded || change == Change::kRemoved || change == Change::kContent;
}

struct Difference {
    Change change;
    const ComparedEntry* first = nullptr;   // null when added
    const ComparedEntry* second = nullptr;  // null when removed
};

// An entry that could not be compared: the side it belongs to (as the user
// named it), its path, and why.
struct Trouble {
    std::string side;
    std::string path;
    std::string why;
};

struct Comparison {
    std::vector<Difference> differences;  // the first side's order, then what the second adds
    std::vector<Trouble> troubles;
    size_t compared = 0;  // paths both sides have
};

// Compares every path of the two sides, matched by letter-case-folded path.
// Entries of two archives whose records give the same flags and size and
// whose stored bytes are equal are equal without being decoded; any other
// pair is decoded and the SHA-256 of the contents compared.
Comparison CompareTrees(ComparedTree& first, ComparedTree& second);

}  // namespace tarnwad::cli
