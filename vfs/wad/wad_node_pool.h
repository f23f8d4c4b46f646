// WadNodePool: the block allocator behind the nodes of an archive's tree.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace vfs {

// Hands out default-constructed nodes in order from blocks of BLOCK_SIZE and
// starts a new block when the newest one is full. Nodes are never given back
// one by one: Reset makes every node handed out so far unused at once (so the
// next tree reuses the blocks), and the blocks are freed with the pool.
template <class Node>
class WadNodePool {
  public:
    static constexpr uint32_t BLOCK_SIZE = 100;

    WadNodePool() { AddBlock(); }
    WadNodePool(const WadNodePool&) = delete;
    WadNodePool& operator=(const WadNodePool&) = delete;

    Node* Take() {
        if (usedInNewest == BLOCK_SIZE) {
            if (blocks.size() == inUseBlocks) {
                AddBlock();
            }
            ++inUseBlocks;
            usedInNewest = 0;
        }
        Node* node = &blocks[inUseBlocks - 1][usedInNewest++];
        *node = Node();
        return node;
    }

    // Every node handed out so far becomes unused; the blocks stay. Nodes
    // already handed out must no longer be used.
    void Reset() {
        for (uint32_t b = 0; b < inUseBlocks; ++b) {
            uint32_t used = b + 1 == inUseBlocks ? usedInNewest : BLOCK_SIZE;
            for (uint32_t i = 0; i < used; ++i) {
                blocks[b][i] = Node();
            }
        }
        inUseBlocks = 1;
        usedInNewest = 0;
    }

    uint32_t BlockCount() const { return static_cast<uint32_t>(blocks.size()); }
    // Nodes handed out since construction or the latest Reset.
    uint64_t UsedCount() const {
        return static_cast<uint64_t>(inUseBlocks - 1) * BLOCK_SIZE + usedInNewest;
    }

  private:
    void AddBlock() { blocks.push_back(std::make_unique<Node[]>(BLOCK_SIZE)); }

    std::vector<std::unique_ptr<Node[]>> blocks;
    uint32_t inUseBlocks = 1;
    uint32_t usedInNewest = 0;
};

}  // namespace vfs
