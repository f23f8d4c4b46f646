#include "vfs/wad/wad_entry_record.h"

#include <cstring>

#include <string>

#include "vfs/core/last_error.h"
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

Result CheckWadRecordData(uint32_t flags, uint32_t dataOffset, uint32_t storedSize,
                          uint32_t unpackedSize, int64_t archiveSize) {
    const WadCoding coding = WadCodingOf(flags);
    if (coding == WadCoding::REFUSED) {
        SetLastError(ErrorCode::REFUSED, "refused by the archive");
        return Result::Fail();
    }
    // Stored bytes that run past the end of the archive file would read
    // short: such an entry is damaged and does not open.
    const uint64_t dataEnd = uint64_t{dataOffset} + storedSize;
    if (archiveSize < 0 || dataEnd > static_cast<uint64_t>(archiveSize)) {
        SetLastError(ErrorCode::OUTSIDE_FILE,
                     "its data (bytes " + std::to_string(dataOffset) + " to " +
                         std::to_string(dataEnd) + ") lies outside the " +
                         std::to_string(archiveSize < 0 ? 0 : archiveSize) + "-byte file");
        return Result::Fail();
    }
    // A stored entry is its stored bytes, of any 32-bit size, whatever its
    // record gives as its unpacked size; only a decoded one is held, in
    // memory, at that size.
    if (coding != WadCoding::STORED &&
        (storedSize > WAD_MAX_DECODED_SIZE || unpackedSize > WAD_MAX_DECODED_SIZE)) {
        SetLastError(ErrorCode::TOO_LARGE,
                     "too large to decode (" + std::to_string(storedSize) + " bytes stored, " +
                         std::to_string(unpackedSize) +
                         " decoded): coded entries are decoded whole in memory, up to 2 GiB - "
                         "1 bytes");
        return Result::Fail();
    }
    return Result::Ok();
}

}  // namespace vfs
