// FreeSpace: where new bytes may go in an archive file without touching a
// byte that is in use.
#pragma once

#include <cstdint>
#include <vector>

#include "vfs/edit/wad_image.h"

namespace vfs {

class FreeSpace {
  public:
    // The gaps between `used` (in any order, overlapping or not) up to
    // `fileSize`, and everything from there on.
    FreeSpace(std::vector<FileRange> used, uint64_t fileSize);

    // Takes `size` bytes: the first gap that holds them, else at the end.
    uint64_t Take(uint64_t size);
    // Takes [begin, begin + size) if all of it is free; false otherwise.
    bool TakeAt(uint64_t begin, uint64_t size);
    // Where the file would end with what was taken.
    uint64_t End() const { return end; }

  private:
    std::vector<FileRange> gaps;  // in file order, none empty
    uint64_t end;
};

}  // namespace vfs
