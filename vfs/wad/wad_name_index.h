// WadNameIndex: the index by name of the files or subdirectories of one
// directory of an archive's tree.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "vfs/wad/wad_node_name.h"

namespace vfs {

// Finds a directory's nodes by name without walking its list: an open-
// addressing table of the first node of each name, the later nodes of the
// same name chained behind it in the order they were added (an archive may
// hold one path in several records). A directory with few nodes has no
// table; Find then walks its list, which is as fast there. The hash is
// keyed (WadNameHash), so that probe runs stay short whatever names an
// archive holds: names chosen to share one run cannot be made without the
// process's key.
//
// Node must have `name` (a WadNodeName, with its hash), `next` (the
// directory's list) and `nextSameName` (the chain of its name).
template <class Node>
class WadNameIndex {
  public:
    // Directories with at most this many nodes have no table.
    static constexpr uint32_t kTableThreshold = 8;

    // The first node named `name` (`hash` = WadNameHash of it) in the list
    // that begins at `head`, or null.
    Node* Find(Node* head, const char* name, uint32_t length, uint32_t hash) const {
        if (slots == nullptr) {
            for (Node* node = head; node != nullptr; node = node->next) {
                if (node->name.Hash() == hash && node->name.Equals(name, length)) {
                    return node;
                }
            }
            return nullptr;
        }
        for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
            Node* node = slots[i];
            if (node == nullptr) {
                return nullptr;
            }
            if (node->name.Hash() == hash && node->name.Equals(name, length)) {
                return node;
            }
        }
    }

    // True once two nodes of one name have been added.
    bool HasRepeatedNames() const { return lastOfChain != nullptr; }

    // Records `node`, just appended to the list that begins at `head` and
    // now holds `count` nodes; its name is set.
    void Add(Node* head, uint32_t count, Node* node) {
        node->nextSameName = nullptr;
        Node* first = Find(head, node->name.c_str(), node->name.Length(), node->name.Hash());
        if (first != nullptr && first != node) {
            // Chains are rare (one path in several records), so their ends
            // are kept aside rather than in every node.
            if (lastOfChain == nullptr) {
                lastOfChain = std::make_unique<std::unordered_map<Node*, Node*>>();
            }
            Node*& last = (*lastOfChain)[first];
            (last == nullptr ? first : last)->nextSameName = node;
            last = node;
            return;
        }
        if (slots == nullptr) {
            if (count > kTableThreshold) {
                Rebuild(head, 32);
            }
            return;
        }
        if (2 * (used + 1) > mask + 1) {
            Rebuild(head, 2 * (mask + 1));
            return;
        }
        Place(node);
    }

  private:
    // A table of `capacity` slots (a power of two) holding the first node of
    // every name of the list.
    void Rebuild(Node* head, uint32_t capacity) {
        slots = std::make_unique<Node*[]>(capacity);
        mask = capacity - 1;
        used = 0;
        // In list order, the first node of each name comes before the others
        // of its name, which are then found and left out.
        for (Node* node = head; node != nullptr; node = node->next) {
            if (Find(head, node->name.c_str(), node->name.Length(), node->name.Hash()) == nullptr) {
                Place(node);
            }
        }
    }

    void Place(Node* node) {
        uint32_t i = node->name.Hash() & mask;
        while (slots[i] != nullptr) {
            i = (i + 1) & mask;
        }
        slots[i] = node;
        ++used;
    }

    std::unique_ptr<Node*[]> slots;
    uint32_t mask = 0;
    uint32_t used = 0;
    // The last node of each chain of two or more, by its first node.
    std::unique_ptr<std::unordered_map<Node*, Node*>> lastOfChain;
};

}  // namespace vfs
