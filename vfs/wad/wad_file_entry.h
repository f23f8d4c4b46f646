// WadFileEntry: a file of an archive's tree.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_node_name.h"

namespace vfs {

struct TARNVFS_API WadFileEntry {
    // The size reported for the file (WadEntryRecord::ReportedSize).
    uint32_t ReportedSize() const { return flags != 0 ? unpackedSize : storedSize; }

    WadNodeName name;  // last path component, lower case
    // What opening the entry needs of its record, kept since loading so that
    // no open reads the record table again; the rest of the record (name
    // fields, reserved bytes) stays in the archive.
    uint32_t dataOffset = 0;
    uint32_t storedSize = 0;
    uint32_t flags = 0;
    uint32_t unpackedSize = 0;
    uint32_t pathHash = 0;      // the record's pathHash
    uint32_t recordOffset = 0;  // file offset of the entry's WadEntryRecord
    // Link in the directory's file list.
    WadFileEntry* next = nullptr;
    // The directory's index by name (WadNameIndex): the next file of the
    // same name.
    WadFileEntry* nextSameName = nullptr;
};

}  // namespace vfs
