// MountReader: the bytes of the files of a mounted archive, for the FUSE
// glue of `tarnwad mount` (and its tests, which need no FUSE).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/mount/entry_cache.h"
#include "tools/mount/mount_tree.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/host_file.h"

namespace tarnwad::mount {

// Opens and reads the files of `tree`, whose entries `source` (the archive's
// file system the tree was built from) opens. Every open asks the archive's
// file system first, so that exactly the entries `tarnwad unpack` can write
// open. A stored entry is then read straight from the archive file at its
// offset, one positioned read per request, on any number of threads at
// once. A coded entry is decoded whole through the archive's file system
// and kept in an EntryCache: many opens and small reads of it decode it once
// while it stays cached. An entry larger than the cache's whole budget is
// decoded for each open and held only by that open. An entry that cannot be
// opened or decoded is named once through `complain` and fails every open
// (the FUSE glue answers EIO). A file of a host folder layer (a layered
// mount) is read through that layer's own stream, opened anew for each open.
// Thread-safe after OpenArchiveFile.
class MountReader {
  public:
    // One open file: what its reads come from.
    struct Opened {
        uint32_t node = 0;
        EntryCache::Entry decoded;  // null for a stored entry
        // A file of a host folder layer: its stream, one read at a time.
        struct LayerStream {
            std::mutex lock;
            vfs::StreamRef stream;
        };
        std::unique_ptr<LayerStream> layerStream;
    };

    MountReader(vfs::FileSystemRef& source, const MountTree& tree, uint64_t cacheBudget,
                std::function<void(const std::string& path, const std::string& why)> complain);

    // Opens the archive file at the host path `archivePath` for the
    // positioned reads of stored entries. False when it cannot be opened.
    bool OpenArchiveFile(const std::string& archivePath);
    // The same for the archive layer `layer` of a layered mount, whose
    // stored entries are read from the archive file at `archivePath`.
    bool OpenLayerArchiveFile(uint32_t layer, const std::string& archivePath);

    // Opens the file node `index` into `out`; false when it cannot be
    // opened (named through `complain` the first time).
    bool Open(uint32_t index, Opened* out);
    // Reads up to `size` bytes at `offset` of an opened file into `buffer`:
    // the number read (0 at or past the end), or -1 when the archive file
    // cannot be read, or gives fewer bytes than the entry holds there (the
    // file was cut since it was mounted: named through `complain` once, and
    // the entry opens no more).
    int64_t Read(const Opened& opened, uint8_t* buffer, uint64_t size, uint64_t offset);

    EntryCacheStats CacheStats() const { return cache.Stats(); }

  private:
    void Broken(uint32_t index, const std::string& why);

    vfs::FileSystemRef& source;
    const MountTree& tree;
    EntryCache cache;
    std::function<void(const std::string&, const std::string&)> complain;
    // Per archive layer (one without layers): the archive file stored
    // entries are read from.
    std::vector<std::unique_ptr<vfs::host::File>> archives;
    // Per node: whether it failed to open before (and was named).
    std::unique_ptr<std::atomic<bool>[]> broken;
};

}  // namespace tarnwad::mount
