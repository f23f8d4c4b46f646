// Reading one file of the packed tree whole and coding it as an entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/pack/tree_reader.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad::pack {

// What one coding thread keeps from one file to the next.
struct PackWorker {
    vfs::FileSystemRef tree;  // the packed directory, opened for this thread
    vfs::WadEntryCoder coder;
    std::unique_ptr<uint8_t[]> buffer;  // the bytes of the file being coded
    size_t bufferSize = 0;
    std::vector<uint8_t> other;  // the zlib-framed candidate of `auto`

    // Room for `size` bytes in `buffer`, without filling it first.
    uint8_t* Room(size_t size);
};

// A file read and coded, ready to be added to the archive.
struct PackedFile {
    bool interrupted = false;  // not read: Ctrl+C came first
    std::string failure;       // why it could not be read; empty when it was
    std::vector<uint8_t> stored;
    uint32_t flags = 0;
    uint32_t size = 0;  // its bytes, as read
};

// Reads `file` through the worker's tree and codes it as `codec` says: the
// smallest of the stored, LZ and zlib-framed forms for "auto" (stored unless
// a coding makes it shorter; LZ when zlib is no shorter), otherwise ("lz",
// "zlib", "stored") as the writer's AddFile codes it.
PackedFile PackOne(const PackFile& file, const std::string& codec, PackWorker& worker);

// Why a file cannot be packed for its size: each is read whole into memory,
// and a read takes at most 2 GiB - 1 bytes (below the format's 4 GiB - 1),
// for pack and for the commands that edit an archive alike.
inline constexpr const char* kTooLargeForArchive =
    "is too large for an archive: a file is packed whole, 2 GiB - 1 bytes at most";

// The two halves of PackOne. Reads `file` whole into the worker's buffer;
// false, with why in `why`, when it cannot be read in full.
bool ReadWholeFile(PackWorker& worker, const PackFile& file, size_t& size, std::string& why);
// Codes the `size` bytes at `bytes` into `packed` (its stored bytes, flags
// and size) as `codec` says.
void CodeBytes(const uint8_t* bytes, size_t size, const std::string& codec, PackWorker& worker,
               PackedFile& packed);

}  // namespace tarnwad::pack
