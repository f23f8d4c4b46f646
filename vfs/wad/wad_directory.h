// WadDirectory: the in-memory tree of an archive's directories and files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vfs/core/export.h"
#include "vfs/core/find_data.h"
#include "vfs/core/result.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/host_limits.h"
#include "vfs/wad/wad_dir_node.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_file_entry.h"
#include "vfs/wad/wad_finder.h"
#include "vfs/wad/wad_node_pool.h"
#include "vfs/wad/wad_rejected_record.h"

namespace vfs {

// Longest path name, in bytes without the NUL, that loading places in the
// tree: the longest path an enumeration record can report.
inline constexpr uint32_t WAD_MAX_PATH_LENGTH = HOST_MAX_PATH - 1;

// Built once from an archive's records and names; afterwards lookups and
// enumerations run on it without touching the archive. Names are folded to
// lower case with "\" separators. A directory lists its subdirectories in
// the reverse order of their first appearance in the record table, then its
// files in record order. Records whose path is unsafe to place in a tree
// ("..", drive letters, wildcards, ...) are left out and listed instead.
class TARNVFS_API WadDirectory {
  public:
    // Most rejected records listed in detail; RejectedCount counts them all.
    static constexpr uint32_t MAX_LISTED_REJECTIONS = 10000;

    WadDirectory() = default;
    WadDirectory(const WadDirectory&) = delete;
    WadDirectory& operator=(const WadDirectory&) = delete;

    // Builds the tree from the archive that `archive` holds, reading its
    // header, record table and names (`namesInTable` for version 2). Replaces
    // any earlier tree and restarts the shared finder. -1 when the header is
    // not an archive's or when the record table, the name table or a name
    // cannot be read in full; the tree then keeps what was added before.
    Result Load(StreamRef& archive, bool namesInTable);
    // Frees the tree, the name table, the shared finder and the list of
    // rejected records. The pools keep their blocks for the next tree.
    void Clear();

    // Starts the shared enumeration of `path` and fills `out` with the first
    // match; -1 when nothing matches.
    Result FirstMatch(const char* path, FindData* out);
    // The next match of the shared enumeration; -1, `out` untouched, when
    // there is none or no enumeration was started.
    Result NextMatch(FindData* out);

    // The top directory; null before Load and after Clear.
    WadDirNode* Root() const { return root.get(); }

    const std::vector<WadRejectedRecord>& RejectedRecords() const { return rejected; }
    uint32_t RejectedCount() const { return rejectedCount; }

  private:
    // Places the `count` records in `records`, the first of them number
    // `firstIndex` of the table.
    Result LoadRecords(StreamRef& archive, const std::vector<uint8_t>& records, uint32_t firstIndex,
                       uint32_t count, uint32_t nameTableOffset, bool namesInTable);
    void PlaceRecord(uint32_t index, const WadEntryRecord& record, char* name, bool namesInPlace);
    void Reject(uint32_t index, const char* rawPath, size_t rawLength, WadRejectReason reason);
    // Skips the matches that Fill cannot write (paths too long for `out`).
    Result FillFromSharedFinder(FindData* out);

    std::unique_ptr<WadDirNode> root;
    std::vector<char> nameTable;  // version 2 only: the names the tree points into
    std::unique_ptr<WadFinder> sharedFinder;
    WadNodePool<WadDirNode> dirPool;
    WadNodePool<WadFileEntry> filePool;
    NameArena nameCopies;  // versions 0 and 1: the names of the tree
    // While loading: the directory the latest record with a directory went
    // to, and that directory's path as the record gave it (folded).
    WadDirNode* lastDirectory = nullptr;
    std::string lastDirectoryPath;
    std::vector<WadRejectedRecord> rejected;
    uint32_t rejectedCount = 0;
};

}  // namespace vfs
