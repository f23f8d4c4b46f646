// WadDirNode: a directory of an archive's tree.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/string_view.h"
#include "vfs/core/vfs_string.h"
#include "vfs/wad/wad_file_entry.h"
#include "vfs/wad/wad_name_index.h"
#include "vfs/wad/wad_node_list.h"
#include "vfs/wad/wad_node_name.h"
#include "vfs/wad/wad_node_pool.h"

namespace vfs {

// A directory: its own name (none for the root), its subdirectories, newest
// first, and its files, in the order they were added.
class TARNVFS_API WadDirNode {
  public:
    // The directory for the "\" or "/" separated `path` below this node,
    // creating the missing ones from `pool` in front of their parent's
    // subdirectory list. Used only while loading. The separators that end a
    // newly created component are overwritten with NUL; with `namesInPlace`
    // the new nodes point into `path`, which must outlive the tree, otherwise
    // they keep copies in `arena`. Components are compared byte for byte.
    WadDirNode* FindOrCreateDir(char* path, bool namesInPlace, WadNodePool<WadDirNode>& pool,
                                NameArena& arena);

    // The existing directory for `path` below this node, or null. Each
    // matched component is appended to `prefix`, followed by "\". Wildcard
    // characters have no meaning here.
    WadDirNode* LookupDir(StringView path, VfsString& prefix);

    // The subdirectory named exactly `name`, or null (names are unique
    // within a directory). Does not walk the list.
    WadDirNode* FindSubdirectory(const char* name, uint32_t length) const;
    // The first of the files named exactly `name`, in list order, or null;
    // the others of that name follow through nextSameName.
    WadFileEntry* FindFirstFile(const char* name, uint32_t length) const;

    // True when two of the files have one name.
    bool FileNamesRepeat() const { return fileIndex.HasRepeatedNames(); }

    // Appends `entry`, whose name is set, to the files.
    void AddFile(WadFileEntry* entry);

    WadNodeName name;
    WadNodeList<WadDirNode> subdirectories;
    WadNodeList<WadFileEntry> files;
    // Link in the parent's subdirectory list.
    WadDirNode* next = nullptr;
    // The parent's index by name (see WadFileEntry).
    WadDirNode* nextSameName = nullptr;

  private:
    WadNameIndex<WadDirNode> subdirectoryIndex;
    WadNameIndex<WadFileEntry> fileIndex;
};

}  // namespace vfs
