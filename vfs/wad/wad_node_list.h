// WadNodeList: the doubly linked lists of subdirectories and files that each
// directory node of an archive's tree keeps.
#pragma once

#include <cstdint>

namespace vfs {

// A list threaded through the `prev` and `next` links of its nodes. The list
// does not own its nodes (the tree's pools do), and a node is in one list at
// most.
template <class Node>
struct WadNodeList {
    Node* head = nullptr;
    Node* tail = nullptr;
    uint32_t count = 0;

    void PushFront(Node* node) {
        node->prev = nullptr;
        node->next = head;
        if (head != nullptr) {
            head->prev = node;
        } else {
            tail = node;
        }
        head = node;
        ++count;
    }

    void PushBack(Node* node) {
        node->next = nullptr;
        node->prev = tail;
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
