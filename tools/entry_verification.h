// The check `verify` makes of one entry of an archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/archive_catalog.h"

namespace tarnwad::cli {

// What opening, decoding and reading one entry found out.
struct EntryCheck {
    enum Outcome { kReadInFull, kRefused, kHidden, kFailed } outcome = kReadInFull;
    std::string text;  // why it failed, or the warning about it; may be empty
};

// The size of the buffer VerifyEntry reads through.
inline constexpr int32_t kVerifyBlockSize = 1 << 20;

// Opens `entry` as unpack opens it, decodes it and reads it to the end
// through `buffer` (kVerifyBlockSize bytes): the checks the format allows. A
// zlib-framed entry's stream carries a checksum, which zlib checks as it
// decodes; stored and LZ-coded data carry none.
EntryCheck VerifyEntry(ArchiveCatalog& catalog, const CatalogEntry& entry,
                       std::vector<uint8_t>& buffer);

}  // namespace tarnwad::cli
