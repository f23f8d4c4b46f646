// A count with the noun that goes with it, for the texts people read.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwad {

// `count` and the noun that goes with it: "1 file", "2 files", "0 files".
std::string Counted(uint64_t count, const char* singular, const char* plural);

}  // namespace tarnwad
