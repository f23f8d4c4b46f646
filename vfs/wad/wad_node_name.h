// WadNodeName: the name of a node of an archive's tree, pointing into the
// archive's name table or at a copy in the tree's name arena.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/keyed_hash.h"
#include "vfs/core/name_arena.h"

namespace vfs {

// The hash by which a directory's index places a name: KeyedHash, so that
// names chosen to share a slot (a hostile archive) cannot be made without
// the process's key, cut to 32 bits (the index takes its low bits). The
// archive's own path hash is a weighted byte sum, under which names that
// differ only in their digits collide in crowds, so it cannot spread a
// directory's names by itself.
inline uint32_t WadNameHash(const char* name, uint32_t length) {
    return static_cast<uint32_t>(KeyedHash(name, length));
}

// The name, its length and its WadNameHash: 16 bytes, since a tree holds one
// for every entry of the archive.
class TARNVFS_API WadNodeName {
  public:
    // Points at `length` bytes of `text`, which must be followed by a NUL
    // and outlive the node (the name table). Not owned.
    void SetInPlace(const char* text, uint32_t length) {
        pointer = text;
        size = length;
        hash = WadNameHash(text, length);
    }
    // Points at a NUL-terminated copy of `length` bytes of `text` made in
    // `arena`, which must outlive the node.
    void SetCopy(const char* text, uint32_t length, NameArena& arena) {
        SetInPlace(arena.Copy(text, length), length);
        size |= kCopied;
    }
    const char* c_str() const { return pointer; }
    uint32_t Length() const { return size & ~kCopied; }
    uint32_t Hash() const { return hash; }
    bool OwnsName() const { return (size & kCopied) != 0; }
    // True when the name is exactly these `length` bytes.
    bool Equals(const char* text, uint32_t length) const {
        if (length != Length()) {
            return false;
        }
        for (uint32_t i = 0; i < length; ++i) {
            if (pointer[i] != text[i]) {
                return false;
            }
        }
        return true;
    }

  private:
    // Set in `size` for a copy; names are far shorter than 2 GiB.
    static constexpr uint32_t kCopied = 0x80000000u;

    const char* pointer = "";
    uint32_t size = 0;
    // Set with the name; a node enters an index only once it is named.
    uint32_t hash = 0;
};

}  // namespace vfs
