// WadFileEntry: a file of an archive's tree.
#pragma once

#include <cstdint>

#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_node_name.h"

namespace vfs {

struct WadFileEntry {
    WadNodeName name;           // last path component, lower case
    uint32_t size = 0;          // reported size (WadEntryRecord::ReportedSize)
    uint32_t recordOffset = 0;  // file offset of the entry's WadEntryRecord
    uint32_t pathHash = 0;      // the record's pathHash
    // The whole record as loaded: opening the entry needs no second read of
    // the record table.
    WadEntryRecord record;
    // Links in the directory's file list.
    WadFileEntry* prev = nullptr;
    WadFileEntry* next = nullptr;
    // The directory's index by name (WadNameIndex): the hash of `name`, the
    // next file of the same name, and, in the first of them, the last one.
    uint32_t nameHash = 0;
    WadFileEntry* nextSameName = nullptr;
    WadFileEntry* lastSameName = nullptr;
};

}  // namespace vfs
