// NameArena: private copies of many short names, without a heap block each.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "vfs/core/export.h"

namespace vfs {

// Copies names back to back into blocks of BLOCK_SIZE bytes (a longer name
// gets a block of its own), so that a copied name costs its bytes and a NUL,
// not a heap block each. Copies live until Reset or the arena's end.
class TARNVFS_API NameArena {
  public:
    static constexpr uint32_t BLOCK_SIZE = 65536;

    NameArena() = default;
    NameArena(const NameArena&) = delete;
    NameArena& operator=(const NameArena&) = delete;

    // A NUL-terminated copy of the `length` bytes at `text`.
    const char* Copy(const char* text, uint32_t length) {
        const size_t needed = size_t{length} + 1;
        char* at;
        if (needed > BLOCK_SIZE) {
            oversized.push_back(std::make_unique<char[]>(needed));
            at = oversized.back().get();
        } else {
            if (blocks.empty() || BLOCK_SIZE - used < needed) {
                blocks.push_back(std::make_unique<char[]>(BLOCK_SIZE));
                used = 0;
            }
            at = blocks.back().get() + used;
            used += static_cast<uint32_t>(needed);
        }
        for (uint32_t i = 0; i < length; ++i) {
            at[i] = text[i];
        }
        at[length] = '\0';
        return at;
    }

    // Frees every copy.
    void Reset() {
        blocks.clear();
        oversized.clear();
        used = 0;
    }

  private:
    std::vector<std::unique_ptr<char[]>> blocks;
    std::vector<std::unique_ptr<char[]>> oversized;
    uint32_t used = 0;  // bytes taken in the newest block
};

}  // namespace vfs
