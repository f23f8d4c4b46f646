// WadEdit: changes an archive where it lies (adds, replaces, removes and
// renames entries), so that at every moment the file reads as the archive
// before the edit or the archive after it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "vfs/core/export.h"
#include "vfs/core/result.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"

namespace vfs {

class WadImage;

// One entry of the archive as the edit leaves it.
struct TARNVFS_API WadEditEntry {
    std::string name;       // as stored: not folded, separators as written
    WadEntryRecord record;  // path hash, flags, sizes and reserved bytes
    bool named = true;      // false: a record the reader leaves out of the tree
    bool removed = false;
    bool newName = false;  // renamed or added
    bool newData = false;  // `data` holds its stored bytes
    std::vector<uint8_t> data;
};

// How the edit ended up on the disk, for reports and measurements.
struct TARNVFS_API WadEditStats {
    uint64_t bytesWritten = 0;  // into the archive (or the new archive), journal apart
    uint64_t journalBytes = 0;
    uint64_t archiveSize = 0;  // after the edit
};

// How an edit goes to the disk. In place (Commit): the new data, names and
// tables go where the archive refers to nothing, and are flushed; then one
// write switches the header and the record table over, kept in a journal
// beside the archive ("<name>.tarnwad-journal") until it is on the disk, so
// that the next edit (or Open) completes a switch that a crash tore; space
// the edit frees is reused by later ones. As a copy (CommitCopy): a new
// archive of the same version, header, record order and reserved bytes,
// holding nothing but what the entries refer to, written beside and renamed
// over the old one (what `compact` is).
//
// An edit serves one thread at a time, and nothing else may write the
// archive while it is open.
class TARNVFS_API WadEdit {
  public:
    WadEdit();
    ~WadEdit();
    WadEdit(const WadEdit&) = delete;
    WadEdit& operator=(const WadEdit&) = delete;

    // Opens the archive at `path` (a host path) for reading and writing,
    // completes an earlier edit that a journal beside it tells of, and
    // reads its records and names. -1 with the reason in LastError: the
    // file cannot be opened or written, is not an archive the reader opens,
    // or has a journal that does not fit it.
    Result Open(const char* path);
    void Close();

    uint32_t Version() const { return header.version; }
    const WadHeader& Header() const { return header; }
    // Every record, in record order, removed ones included (marked).
    const std::vector<WadEditEntry>& Entries() const { return entries; }
    // The entry that a lookup of `path` ("\" or "/" separators, any letter
    // case) finds: the first record of that path that is not removed and
    // whose path hash is its name's; -1 when there is none.
    int64_t Find(const std::string& path);

    // The content of entry `index` as a reader would open it, into `out`:
    // its new bytes decoded, or its stored bytes read and decoded. -1 with
    // the reader's reason (refused, data outside the file, does not decode,
    // path hash that lookups do not find).
    Result ReadContent(size_t index, std::vector<uint8_t>& out);

    void Remove(size_t index);
    // Gives entry `index` the name `name` (stored as given) and its path
    // hash; a name the reader cannot place in its tree leaves the entry out
    // of Find, as the reader leaves it out.
    void Rename(size_t index, std::string name);
    // Gives entry `index` new stored bytes, flags and unpacked size.
    void SetData(size_t index, std::vector<uint8_t> stored, uint32_t flags, uint32_t unpackedSize);
    // Adds an entry after the others.
    void Add(std::string name, std::vector<uint8_t> stored, uint32_t flags, uint32_t unpackedSize);
    bool Changed() const { return changed; }

    // Writes the edit into the archive in place. On success the edit is
    // the archive's state and further changes may follow; -1 with the
    // reason otherwise, the archive still reading as before the edit (or,
    // after a failure in the switch itself, as the journal completes it).
    Result Commit();
    // Writes the archive as edited to a new file beside it and renames that
    // over it. -1 with the reason, the archive untouched.
    Result CommitCopy();
    const WadEditStats& Stats() const { return stats; }

  private:
    // Reads the archive's state into `image` and `entries`.
    Result Load();
    // The file bytes of entry `entry`'s stored data, as the archive holds it.
    Result ReadStored(const WadEditEntry& entry, std::vector<uint8_t>& out);

    struct Place;  // the archive's directory and the archive, held open
    std::unique_ptr<Place> place;
    std::string archiveName;
    std::unique_ptr<WadImage> image;  // the archive as it lies on the disk
    WadHeader header;
    std::vector<WadEditEntry> entries;
    std::unordered_map<std::string, size_t> lookup;  // folded path: first entry
    bool lookupStale = true;
    bool changed = false;
    WadEditStats stats;
};

}  // namespace vfs
