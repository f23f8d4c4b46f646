// One side of a comparison by content: an archive, or a host folder whose
// files stand for stored entries of their paths.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/archive_catalog.h"
#include "tools/entry_verification.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/host/content_hash.h"
#include "vfs/host/host_file.h"
#include "vfs/wad/wad_entry_record.h"

namespace tarnwad::cli {

// The key of `path` in a comparison: ASCII letters in lower case, as the
// archive folds them.
std::string ComparisonKey(std::string path);

struct ComparedEntry {
    // Lower case, "\" separated: two sides' entries of one path have the
    // same key whatever letter case their names have.
    std::string key;
    std::string path;                     // as the side's file system reports it
    const CatalogEntry* entry = nullptr;  // an archive's entry; null for a folder's file
    vfs::WadEntryRecord record;           // a folder's file: stored, at its size
};

class ComparedTree {
  public:
    // Opens `path` (as the user gave it): a folder when it is one, otherwise
    // an archive. Empty on success, otherwise why.
    std::string Open(const std::string& path);
    bool IsFolder() const { return folder; }

    // Each path once, the entry lookups find (of several records of one
    // path, the first), archives in record order.
    const std::vector<ComparedEntry>& Entries() const { return entries; }
    const ComparedEntry* Find(const std::string& key) const;

    // Whether the archive can open the entry at all, as every command
    // judges it (refused, data outside the file, ...): empty, or the reason.
    std::string Check(const ComparedEntry& entry);
    // Opens, decodes and reads the entry, hashing its content.
    EntryCheck Digest(const ComparedEntry& entry, std::vector<uint8_t>& buffer,
                      vfs::host::ContentHash& hash);
    // Whether the stored bytes of `mine` (an archive's entry that Check
    // passed) equal those of `theirs` in `other` (the same): read and
    // compared without decoding. False with the reason in `why` and the side
    // (its name) in `failedSide` when a read failed.
    bool SameStoredBytes(const ComparedEntry& mine, ComparedTree& other,
                         const ComparedEntry& theirs, std::string* failedSide, std::string* why);
    // The side as the user named it.
    const std::string& Name() const { return name; }

  private:
    void WalkFolder(const std::string& directory);
    void Add(ComparedEntry entry);
    // Reads `count` bytes of the archive file at `offset`; false with why.
    bool ReadStored(uint64_t offset, uint8_t* into, uint32_t count, std::string* why);

    bool folder = false;
    std::string name;
    std::string hostPath;
    ArchiveCatalog catalog;
    vfs::FileSystemRef folderSystem;
    vfs::host::File archiveFile;   // opened for the first comparison of stored bytes
    bool identityChecked = false;  // the file opened again is the archive
    std::vector<ComparedEntry> entries;
    std::unordered_map<std::string, size_t> byKey;
};

}  // namespace tarnwad::cli
