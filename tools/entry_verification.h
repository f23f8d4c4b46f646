// The check `verify` makes of one entry of an archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/archive_catalog.h"
#include "vfs/host/content_hash.h"

namespace tarnwad::cli {

// What opening, decoding and reading one entry found out.
struct EntryCheck {
    enum Outcome { kReadInFull, kRefused, kHidden, kFailed } outcome = kReadInFull;
    std::string text;  // why it failed, or the warning about it; may be empty
    // With a hash given: the SHA-256 of the decoded content, when read in full.
    bool hashed = false;
    vfs::host::Sha256Digest digest{};
};

// The size of the buffer VerifyEntry reads through.
inline constexpr int32_t kVerifyBlockSize = 1 << 20;

// Opens `entry` as unpack opens it, decodes it and reads it to the end
// through `buffer` (kVerifyBlockSize bytes): the checks the format allows. A
// zlib-framed entry's stream carries a checksum, which zlib checks as it
// decodes; stored and LZ-coded data carry none.
// With `hash`, the content read also goes through it and the check carries
// its digest.
EntryCheck VerifyEntry(ArchiveCatalog& catalog, const CatalogEntry& entry,
                       std::vector<uint8_t>& buffer, vfs::host::ContentHash* hash = nullptr);

// VerifyEntry of each of `entries`, with a hash, on `jobs` threads: the
// checks in the order of `entries`.
std::vector<EntryCheck> HashEntries(ArchiveCatalog& catalog,
                                    const std::vector<const CatalogEntry*>& entries, unsigned jobs);

// The reading part of VerifyEntry, for any file system (a folder's files
// too): opens `path`, reads it to its end through `buffer` and feeds `hash`
// when given. Read in full, or failed with the reason.
EntryCheck ReadEntryContent(vfs::FileSystemRef& fileSystem, const std::string& path,
                            std::vector<uint8_t>& buffer, vfs::host::ContentHash* hash);

}  // namespace tarnwad::cli
