#include "vfs/wad/wad_dir_node.h"

namespace vfs {

namespace {

bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

// Length of the first component of the `length` bytes at `text`: up to the
// first separator, or all of them.
uint32_t ComponentLength(const char* text, uint32_t length) {
    uint32_t k = 0;
    while (k < length && !IsSeparator(text[k])) {
        ++k;
    }
    return k;
}

}  // namespace

WadDirNode* WadDirNode::FindSubdirectory(const char* name, uint32_t length) const {
    return subdirectoryIndex.Find(subdirectories.head, name, length, WadNameHash(name, length));
}

WadFileEntry* WadDirNode::FindFirstFile(const char* name, uint32_t length) const {
    return fileIndex.Find(files.head, name, length, WadNameHash(name, length));
}

void WadDirNode::AddFile(WadFileEntry* entry) {
    files.PushBack(entry);
    fileIndex.Add(files.head, files.count, entry);
}

// Walks the path one component at a time rather than recursing, so that a
// hostile path with very many components cannot exhaust the stack.
WadDirNode* WadDirNode::FindOrCreateDir(char* path, bool namesInPlace,
                                        WadNodePool<WadDirNode>& pool, NameArena& arena) {
    WadDirNode* node = this;
    char* rest = path;
    for (;;) {
        uint32_t k = 0;
        while (rest[k] != '\0' && !IsSeparator(rest[k])) {
            ++k;
        }
        bool more = rest[k] != '\0';
        WadDirNode* found = node->FindSubdirectory(rest, k);
        if (found == nullptr) {
            if (more) {
                rest[k] = '\0';
            }
            found = pool.Take();
            if (namesInPlace) {
                found->name.SetInPlace(rest, k);
            } else {
                found->name.SetCopy(rest, k, arena);
            }
            node->subdirectories.PushFront(found);
            node->subdirectoryIndex.Add(node->subdirectories.head, node->subdirectories.count,
                                        found);
        }
        if (!more) {
            return found;
        }
        node = found;
        rest += k + 1;
    }
}

WadDirNode* WadDirNode::LookupDir(StringView path, VfsString& prefix) {
    WadDirNode* node = this;
    const char* rest = path.data;
    uint32_t restLength = path.length;
    for (;;) {
        uint32_t k = ComponentLength(rest, restLength);
        node = node->FindSubdirectory(rest, k);
        if (node == nullptr) {
            return nullptr;
        }
        if (k == restLength) {
            prefix.Append(StringView(rest, k));
            prefix.Append('\\');
            return node;
        }
        prefix.Append(StringView(rest, k + 1));
        rest += k + 1;
        restLength -= k + 1;
    }
}

}  // namespace vfs
