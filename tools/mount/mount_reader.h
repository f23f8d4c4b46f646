// MountReader: the bytes of the files of a mounted archive, for the FUSE
// glue of `tarnwad mount` (and its tests, which need no FUSE).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/mount/ahead_pool.h"
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
//
// Once StartAhead is called, files are also made ready ahead: when the
// files of a directory are opened one after the other, the next few files
// of that directory are decoded on other threads, and every small file
// (coded or stored, up to kDeliverLimit bytes) is handed whole, once, to
// `deliver` (the FUSE glue puts it in the kernel's page cache, which spares
// the read requests): an opened one before Open returns, the others when
// made ready. A decode ahead fails quietly; the entry is named when it is
// opened, from the reason that decode gave, and is not decoded again.
// Thread-safe after OpenArchiveFile.
class MountReader {
  public:
    // Files up to this size are handed to `deliver` whole: what a read
    // from their start makes the kernel ask for anyway (its readahead).
    static constexpr uint64_t kDeliverLimit = 128 << 10;
    // How many files after an opened one are made ready ahead, and at most
    // how many bytes of them (a share of the cache's budget; none larger).
    static constexpr uint32_t kAheadFiles = 8;
    static constexpr uint64_t kAheadBudgetShare = 8;
    using Deliver = std::function<void(uint32_t index, const uint8_t* data, uint64_t size)>;

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

    // Starts `threads` threads that make files ready ahead (see above).
    void StartAhead(unsigned threads, Deliver deliver);
    // Stops them: what is not begun is dropped. Also done on destruction.
    void StopAhead() { ahead.reset(); }

    EntryCacheStats CacheStats() const { return cache.Stats(); }
    // Files made ready ahead, and files handed to `deliver`.
    uint64_t AheadCount() const { return madeReady.load(); }
    uint64_t DeliveredCount() const { return delivered.load(); }

  private:
    enum State : uint8_t {
        kFine,
        kFailedAhead,  // a decode ahead failed: named at the next open
        kNamed,        // failed and named: every open fails
    };

    void Broken(uint32_t index, const std::string& why);
    // The decoded entry of the coded file `index`: null, with the reason in
    // LastError when this call decoded it, when it does not decode. A
    // failed decode `ahead` keeps its reason for the next open.
    EntryCache::Entry Decode(uint32_t index, bool ahead);
    // Names the entry when a decode ahead failed.
    void NameFailedAhead(uint32_t index);
    // Checks the record of a stored entry or a layer's file as an open does
    // (false with the reason in LastError).
    bool CheckRecord(uint32_t index);
    // Hands the file's bytes to `deliver` once, when it is small enough.
    void DeliverOnce(uint32_t index, const uint8_t* data, uint64_t size);
    // After an open of `index`: notes it, and when the files of its
    // directory are being opened in order, queues the next ones.
    void QueueAhead(uint32_t index);
    // Makes one file ready (on a thread of `ahead`).
    void MakeReady(uint32_t index);

    vfs::FileSystemRef& source;
    const MountTree& tree;
    EntryCache cache;
    std::function<void(const std::string&, const std::string&)> complain;
    // Per archive layer (one without layers): the archive file stored
    // entries are read from.
    std::vector<std::unique_ptr<vfs::host::File>> archives;
    // Per node: a State.
    std::unique_ptr<std::atomic<uint8_t>[]> state;
    // Reasons of failed decodes ahead, until named.
    std::mutex failuresLock;
    std::unordered_map<uint32_t, std::string> failures;
    // Per node: its place among its parent's children; per directory: the
    // place of the file opened last (~0u: none yet) in the high half, and
    // in the low half how many opens in a row followed the one before (at
    // most 2); per file: whether it was handed to `deliver`.
    std::vector<uint32_t> place;
    std::unique_ptr<std::atomic<uint64_t>[]> lastOpened;
    std::unique_ptr<std::atomic<bool>[]> handedOver;
    Deliver deliver;
    std::atomic<uint64_t> madeReady{0};
    std::atomic<uint64_t> delivered{0};
    // Last: stopped first, before what its jobs use goes.
    std::unique_ptr<AheadPool> ahead;
};

}  // namespace tarnwad::mount
