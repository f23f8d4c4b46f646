#include "vfs/wad/wad_header.h"

#include <cstring>
#include <string>

#include "vfs/core/last_error.h"
#include "vfs/core/little_endian.h"

namespace vfs {

namespace {

// Byte offsets of the fields inside the header.
constexpr uint32_t MAGIC_AT = 0;
constexpr uint32_t VERSION_AT = 4;
constexpr uint32_t RESERVED_AT = 8;
constexpr uint32_t ENTRY_COUNT_AT = 72;
constexpr uint32_t NAME_TABLE_OFFSET_AT = 76;
constexpr uint32_t NAME_TABLE_SIZE_AT = 80;
constexpr uint32_t RESERVED2_AT = 84;

}  // namespace

WadHeader WadHeader::Decode(const uint8_t* bytes) {
    WadHeader header;
    std::memcpy(header.magic, bytes + MAGIC_AT, sizeof(header.magic));
    header.version = LoadLe32(bytes + VERSION_AT);
    std::memcpy(header.reserved, bytes + RESERVED_AT, sizeof(header.reserved));
    header.entryCount = LoadLe32(bytes + ENTRY_COUNT_AT);
    header.nameTableOffset = LoadLe32(bytes + NAME_TABLE_OFFSET_AT);
    header.nameTableSize = LoadLe32(bytes + NAME_TABLE_SIZE_AT);
    std::memcpy(header.reserved2, bytes + RESERVED2_AT, sizeof(header.reserved2));
    return header;
}

void WadHeader::Encode(uint8_t* bytes) const {
    std::memcpy(bytes + MAGIC_AT, magic, sizeof(magic));
    StoreLe32(bytes + VERSION_AT, version);
    std::memcpy(bytes + RESERVED_AT, reserved, sizeof(reserved));
    StoreLe32(bytes + ENTRY_COUNT_AT, entryCount);
    StoreLe32(bytes + NAME_TABLE_OFFSET_AT, nameTableOffset);
    StoreLe32(bytes + NAME_TABLE_SIZE_AT, nameTableSize);
    std::memcpy(bytes + RESERVED2_AT, reserved2, sizeof(reserved2));
}

Result WadHeader::Parse(const uint8_t* bytes, uint32_t size, WadHeader* out) {
    if (bytes == nullptr || size < WAD_HEADER_SIZE) {
        SetLastError(ErrorCode::NOT_AN_ARCHIVE,
                     "is too short to be a WAD archive (" + std::to_string(size) +
                         " bytes, a header takes " + std::to_string(WAD_HEADER_SIZE) + ")");
        return Result::Fail();
    }
    WadHeader header = Decode(bytes);
    if (!header.HasMagic()) {
        SetLastError(ErrorCode::NOT_AN_ARCHIVE,
                     "is not a WAD archive: it does not begin with \"QARC\"");
        return Result::Fail();
    }
    if (header.version > WAD_MAX_VERSION) {
        SetLastError(ErrorCode::UNKNOWN_VERSION,
                     "is a WAD archive of format version " + std::to_string(header.version) +
                         ", which this tool does not know (it reads versions 0 to " +
                         std::to_string(WAD_MAX_VERSION) + ")");
        return Result::Fail();
    }
    *out = header;
    return Result::Ok();
}

bool WadHeader::HasMagic() const {
    return std::memcmp(magic, WAD_MAGIC, sizeof(magic)) == 0;
}

}  // namespace vfs
