// WadFinder: one lookup or enumeration in an archive's tree.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/find_data.h"
#include "vfs/core/result.h"
#include "vfs/core/vfs_string.h"
#include "vfs/wad/wad_dir_node.h"
#include "vfs/wad/wad_file_entry.h"
#include "vfs/wad/wildcard_pattern.h"

namespace vfs {

class WadDirectory;

// Walks one directory of the tree for the names that pass the last component
// of a lookup path: first its matching subdirectories, then its matching
// files. A path without "*" or "?" is an exact lookup, in which files are
// compared by path hash first and only then by name; it finds the name
// through the directory's indexes, whatever the directory's size. A finder is at its end
// until it is started.
class TARNVFS_API WadFinder {
  public:
    // Begins a lookup of `path` (case-insensitive, "\" or "/" separators, at
    // most one separator trimmed at each end) in `directory`'s tree. When
    // `recordOffset` is given it receives the record offset of the first
    // match if that is a file, else 0.
    void Start(const WadDirectory& directory, const char* path, uint32_t* recordOffset = nullptr);
    // Moves to the next match.
    void Advance();
    // True when there is no current match.
    bool AtEnd() const { return matchDir == nullptr && matchFile == nullptr; }
    // Writes the current match into `out`: attributes, size, zero times, and
    // the path relative to the archive's top followed by the name. -1, with
    // `out` untouched, when there is no match or the path does not fit.
    Result Fill(FindData* out) const;

    // The directory whose entries the lookup goes through; null when the
    // path's directory part names no directory.
    const WadDirNode* Directory() const { return currentDir; }
    // The current match: one of the two, or neither.
    const WadDirNode* MatchedDirectory() const { return matchDir; }
    const WadFileEntry* MatchedFile() const { return matchFile; }
    // An exact lookup's path hash (WadPathHash of the folded path); 0 for a
    // pattern.
    uint32_t PathHash() const { return hash; }
    // After an exact lookup: the first file of the looked-up name in the
    // directory, whatever its path hash. When the lookup matched no file,
    // such a file is one whose record's path hash is not the hash of its
    // path. Null when there is none, and for a pattern.
    const WadFileEntry* FileOfTheName() const;

  private:
    bool PassesPatterns(const char* name) const;
    bool MatchesExactly(const WadFileEntry& entry) const;

    VfsString leafPattern;
    WadDirNode* currentDir = nullptr;
    // The cursor: the next element of the list being walked.
    WadDirNode* cursorDir = nullptr;
    WadFileEntry* cursorFile = nullptr;
    WadDirNode* matchDir = nullptr;
    WadFileEntry* matchFile = nullptr;
    VfsString prefix;
    bool subdirectoryPhase = false;
    bool exactMode = false;
    // Exact mode with a name: the cursors walk the name's entries in the
    // directory's indexes instead of the whole lists.
    bool byName = false;
    uint32_t hash = 0;
    WildcardPattern primaryPattern;
    WildcardPattern noExtensionPattern;
    bool alsoMatchWithoutExtension = false;
};

}  // namespace vfs
