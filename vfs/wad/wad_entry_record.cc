#include "vfs/wad/wad_entry_record.h"

#include <cstring>

#include "vfs/core/little_endian.h"

namespace vfs {

WadEntryRecord WadEntryRecord::Decode(const uint8_t* bytes) {
    WadEntryRecord record;
    record.pathHash = LoadLe32(bytes + 0);
    record.nameOffset = LoadLe32(bytes + 4);
    record.nameLength = LoadLe32(bytes + 8);
    record.dataOffset = LoadLe32(bytes + 12);
    record.storedSize = LoadLe32(bytes + 16);
    record.flags = LoadLe32(bytes + 20);
    record.unpackedSize = LoadLe32(bytes + 24);
    std::memcpy(record.reserved, bytes + 28, sizeof(record.reserved));
    return record;
}

void WadEntryRecord::Encode(uint8_t* bytes) const {
    StoreLe32(bytes + 0, pathHash);
    StoreLe32(bytes + 4, nameOffset);
    StoreLe32(bytes + 8, nameLength);
    StoreLe32(bytes + 12, dataOffset);
    StoreLe32(bytes + 16, storedSize);
    StoreLe32(bytes + 20, flags);
    StoreLe32(bytes + 24, unpackedSize);
    std::memcpy(bytes + 28, reserved, sizeof(reserved));
}

}  // namespace vfs
