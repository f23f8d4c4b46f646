// WadNodeList: the singly linked lists of subdirectories and files that each
// directory node of an archive's tree keeps.
#pragma once

#include <cstdint>

namespace vfs {

// A list threaded through the `next` links of its nodes, with its tail
// kept for appending. The list
// does not own its nodes (the tree's pools do), and a node is in one list at
// most.
template <class Node>
struct WadNodeList {
    Node* head = nullptr;
    Node* tail = nullptr;
    uint32_t count = 0;

    void PushFront(Node* node) {
        node->next = head;
        if (head == nullptr) {
            tail = node;
        }
        head = node;
        ++count;
    }

    void PushBack(Node* node) {
        node->next = nullptr;
        if (tail != nullptr) {
            tail->next = node;
        } else {
            head = node;
        }
        tail = node;
        ++count;
    }
};

}  // namespace vfs
