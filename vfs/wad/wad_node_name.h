// WadNodeName: the name of a node of an archive's tree, either pointing into
// the archive's name table or a private copy.
#pragma once

#include <cstdint>
#include <memory>

namespace vfs {

class WadNodeName {
  public:
    // Points at `length` bytes of `text`, which must be followed by a NUL
    // and outlive the node (the name table). Not owned.
    void SetInPlace(const char* text, uint32_t length) {
        copy.reset();
        pointer = text;
        size = length;
    }
    // Keeps a private, NUL-terminated copy of `length` bytes of `text`.
    void SetCopy(const char* text, uint32_t length) {
        copy = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
        for (uint32_t i = 0; i < length; ++i) {
            copy[i] = text[i];
        }
        copy[length] = '\0';
        pointer = copy.get();
        size = length;
    }

    const char* c_str() const { return pointer; }
    uint32_t Length() const { return size; }
    bool OwnsName() const { return copy != nullptr; }
    // True when the name is exactly these `length` bytes.
    bool Equals(const char* text, uint32_t length) const {
        if (length != size) {
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
    const char* pointer = "";
    uint32_t size = 0;
    std::unique_ptr<char[]> copy;
};

}  // namespace vfs
