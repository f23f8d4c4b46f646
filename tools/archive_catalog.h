// ArchiveCatalog: every entry of an opened archive with its record, for the
// commands that list, check and select entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/path_selection.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/overlay/overlay_file_system.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_file_system.h"

namespace tarnwad::cli {

// The name of an entry's coding by its record flags, tested in the order the
// archive file system tests them: "refused", "zlib", "lz", else "stored".
const char* CodingName(uint32_t flags);

struct CatalogEntry {
    std::string path;  // as the archive file system reports it: lower case, "\" separated
    uint32_t recordIndex = 0;
    vfs::WadEntryRecord record;
    const vfs::WadFileEntry* file = nullptr;  // the entry in the archive's tree
    // With layers over the archive: the layer that serves the entry (0: the
    // archive, whose entries alone have a record index and `file`). An
    // archive layer's entry has the record that layer reads; a folder
    // layer's file shows as stored, at its size.
    uint32_t layer = 0;
};

// A record whose flags name no coding, yet are not 0 (0x8, say), gives its
// unpacked size as the entry's size, while the entry reads as its stored
// bytes: when those differ, a note saying so ("its record gives its size as
// 10 bytes, ..."), else empty. Not a failure: the entry's bytes are its
// stored bytes, as every reader of the archive takes them.
std::string RecordSizeNote(const vfs::WadEntryRecord& record);

class ArchiveCatalog {
  public:
    // Opens the archive at the absolute host path `path` and reads its tree
    // and record table. Empty on success, otherwise why it failed.
    std::string Open(const std::string& path);
    // Opens the archive at `path` (named `name` in messages) with `layers`
    // above it (OpenLayeredArchive): the entries are then the files of the
    // merged tree, each from the layer that serves it, and FileSystem()
    // opens and finds in the merged tree. Empty on success, otherwise why,
    // with the layer that failed in `failedLayer` (`name` for the archive).
    std::string OpenLayered(const std::string& path, const std::string& name,
                            const std::vector<std::string>& layers, std::string* failedLayer);

    // The archive's file system, or the merged tree when layered.
    vfs::FileSystemRef& FileSystem() { return merged.Get() != nullptr ? merged : archive; }
    bool Layered() const { return merged.Get() != nullptr; }
    vfs::WadFileSystem& Wad() { return *wad; }

    // Every file of the tree, in record-table order.
    const std::vector<CatalogEntry>& Entries() const { return entries; }
    // Records the loader left out of the tree, with the reason.
    const std::vector<vfs::WadRejectedRecord>& Rejected() const {
        return *wad->GetRejectedRecords();
    }
    // Every record of the record table, rejected ones included.
    const std::vector<vfs::WadEntryRecord>& Records() const { return records; }
    // Directories of the tree, the top one not counted.
    uint32_t DirectoryCount() const { return directoryCount; }
    // Size of the archive file in bytes.
    uint64_t FileSize() const { return fileSize; }

    // The entries that `patterns` select (PathPattern), in record-table
    // order; a matching directory selects everything beneath it. Patterns
    // that match no entry are added to `unmatched`. `selection`, when given,
    // receives the same choice as a filter for the tree copy.
    std::vector<const CatalogEntry*> Select(const std::vector<std::string>& patterns,
                                            std::vector<std::string>* unmatched,
                                            PathSelection* selection = nullptr);

  private:
    void Walk(const vfs::WadDirNode& directory, const std::string& prefix);
    // Adds the files of the merged tree below `directory` that a layer
    // above the archive serves.
    void WalkLayers(vfs::OverlayFileSystem& overlay, const std::string& directory,
                    std::vector<CatalogEntry>& out);

    vfs::FileSystemRef archive;
    vfs::FileSystemRef merged;
    vfs::WadFileSystem* wad = nullptr;
    std::vector<CatalogEntry> entries;
    std::vector<vfs::WadEntryRecord> records;
    uint32_t directoryCount = 0;
    uint64_t fileSize = 0;
};

}  // namespace tarnwad::cli
