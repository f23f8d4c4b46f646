// ParallelTreeCopy: the in-order tree copy with the file copies spread over
// several threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/copy_report.h"
#include "app/tree_copy.h"

namespace tarnwad {

class CloseQueue;
class MemoryGate;

// Copies `source` into `destination` the way CopyTreeInOrder does (the same
// TreeWalk, the same CopyEntry, the same settings), and gives the same
// report: the same directories are created, the same files copied, the same
// failures recorded in the same order, and the status line shows every file
// copied, in the same order.
//
// The walk and the directories stay on the calling thread, which hands what
// it finds into a window of a fixed number of items; `jobs` threads (the
// calling one among them, whenever the window is full or the walk is over)
// take consecutive items from it in small batches (of a few files, or one
// large one) and copy their files: half of them the oldest items, half (the
// calling thread among them) the newest, so that they seldom create files in
// the same directory at once. Each item is reported, and its slot freed for
// the walk, once it and every item before it are done, so the copy holds at
// most a window of items whatever the size of the tree. Each thread has its
// own copy buffer, its own handle on the destination and its own entry
// streams (entries of one archive may be read on several threads). The status
// texts come one at a time, in order, each once its file and every file
// before it are done. The decoded entries in memory at once stay within a
// budget: an entry of a megabyte or more waits while other such entries would
// take it over kMemoryBudget bytes. Where closing a written file takes long
// (Windows), the files are closed on a close queue once in place, and the
// copy waits for it before it returns.
class ParallelTreeCopy {
  public:
    static constexpr uint64_t kMemoryBudget = 64ull << 20;
    // Items the walk may be ahead of the report.
    static constexpr size_t kWindow = 4096;

    ParallelTreeCopy(vfs::FileSystemRef& source, vfs::FileSystemRef& destination,
                     const TreeCopySettings& settings, unsigned jobs, size_t window = kWindow)
        : source(source),
          destination(destination),
          settings(settings),
          jobs(jobs),
          slots(window < 1 ? 1 : window) {}

    // Copies the directory `relativePath` (empty for the root, otherwise
    // ending with "\") with everything beneath it.
    CopyReport Run(const std::string& relativePath);

  private:
    // One line of the report, in the order of the sequential copy: a failure
    // or warning found by the walk, or a file to copy whose outcome its
    // copier fills in. Between the walk handing it on and its report, an item
    // belongs to the one thread that took it.
    struct Item {
        // Kept in the slot for the next item, so that a slot's storage is
        // allocated once.
        std::string path;
        std::string detail;
        // The size the source reports; once the file is copied, the bytes
        // copied.
        uint64_t size = 0;
        CopyFailureKind kind = CopyFailureKind::kSkipped;
        bool isFile = false;
        bool failed = false;
        bool copied = false;       // a file, whole in place; an interrupt leaves files neither
        bool kept = false;         // a file not written: something of its name was kept
        bool warning = false;      // a warning of the walk, its text in `detail`
        bool showsStatus = false;  // the copy got as far as showing its name
        bool taken = false;        // under `mutex`
        bool done = false;         // under `mutex`
    };
    class Walk;

    Item& Slot(uint64_t sequence) { return slots[sequence % slots.size()]; }
    // Takes a batch of consecutive items handed on and not taken yet,
    // [*first, *end): the oldest ones, or the newest `fromBack`; false when
    // there is none now. Under `mutex`.
    bool TakeBatch(bool fromBack, uint64_t* first, uint64_t* end);
    // Copies the files of a batch taken, marking each done and reporting
    // what is ready as it goes.
    // `lock` holds `mutex` on the way in and out, not while copying.
    void CopyBatch(uint64_t first, uint64_t end, vfs::FileSystemRef& output, uint8_t* buffer,
                   std::unique_lock<std::mutex>& lock);
    void CopyFile(Item& item, vfs::FileSystemRef& output, uint8_t* buffer);
    // Reports the done items that no earlier item holds back, in order, and
    // frees their slots. One thread reports at a time; the others go on.
    // Under `mutex`, which it lets go while it reports.
    void Report(std::unique_lock<std::mutex>& lock);
    void ReportItem(Item& item);
    // The work of a copier thread: batches until the walk is over and every
    // item is taken.
    void CopyUntilDone(bool fromBack, vfs::FileSystemRef& output, uint8_t* buffer);

    void ShowStatus(const char* text) const {
        if (settings.showStatus) {
            settings.showStatus(text);
        }
    }

    vfs::FileSystemRef& source;
    vfs::FileSystemRef& destination;
    const TreeCopySettings& settings;
    unsigned jobs;
    std::vector<Item> slots;
    MemoryGate* gate = nullptr;
    // Where closing a written file takes long (Windows), the files are
    // closed on a thread of their own once in place.
    CloseQueue* closer = nullptr;

    // Items are numbered in the walk's order. [0, released) are reported and
    // their slots free; [released, published) are handed on to the copiers,
    // those below `front` all taken; the walk alone fills the slots from
    // `published` on, as far as released + the window.
    std::mutex mutex;
    std::condition_variable workReady;  // a copier waits for items or the walk's end
    std::condition_variable slotFreed;  // the walk waits for a free slot
    uint64_t released = 0;
    uint64_t front = 0;
    uint64_t published = 0;
    bool walkOver = false;
    bool reporting = false;
    unsigned idleCopiers = 0;
    bool walkWaits = false;
    CopyReport report;
};

}  // namespace tarnwad
