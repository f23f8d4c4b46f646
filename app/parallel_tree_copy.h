// ParallelTreeCopy: the in-order tree copy with the file copies spread over
// several threads.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "app/copy_report.h"
#include "app/tree_copy.h"
#include "vfs/core/name_arena.h"

namespace tarnwad {

class MemoryGate;

// Copies `source` into `destination` the way CopyTreeInOrder does (the same
// TreeWalk, the same CopyEntry, the same settings), and gives the same
// report: the same
// directories are created, the same files copied, the same failures
// recorded in the same order, and the status line shows every file copied,
// in the same order. The walk and the directories stay on the calling
// thread; the files are then copied by `jobs` threads (the calling one
// among them), in batches of one directory's files, half of the threads
// taking batches from the front of the walk and half from its back so that
// they seldom create files in the same directory at once; each thread has
// its own copy buffer and its own entry streams
// (entries of one archive may be read on several threads). The status texts
// come one at a time, in order, each once its file and every file before it
// are done. The decoded entries in
// memory at once stay within a budget: an entry of a megabyte or more waits
// while other such entries would take it over kMemoryBudget bytes.
class ParallelTreeCopy {
  public:
    static constexpr uint64_t kMemoryBudget = 64ull << 20;

    ParallelTreeCopy(vfs::FileSystemRef& source, vfs::FileSystemRef& destination,
                     const TreeCopySettings& settings, unsigned jobs)
        : source(source), destination(destination), settings(settings), jobs(jobs) {}

    // Copies the directory `relativePath` (empty for the root, otherwise
    // ending with "\") with everything beneath it.
    CopyReport Run(const std::string& relativePath);

  private:
    static constexpr uint32_t kNoDetail = UINT32_MAX;

    // One line of the report, in the order of the sequential copy: a failure
    // found by the walk, or a file to copy whose outcome its copier fills in.
    // Kept small, since an archive may hold a million files: the path is its
    // directory (an index into `directories`) and its name (in `names`), and
    // the rare texts are in `details`.
    // (24 bytes: the states are bits, and one field holds the size first
    // and the bytes copied after. Each item is written by one thread only.)
    struct Item {
        const char* name = "";
        uint32_t directory = 0;
        // The size the source reports; once the file is copied, the bytes
        // copied.
        uint32_t size = 0;
        uint32_t detail = kNoDetail;
        CopyFailureKind kind = CopyFailureKind::kSkipped;
        bool isFile : 1 = false;
        bool failed : 1 = false;
        bool copied : 1 = false;       // a file, whole in place; an interrupt leaves files neither
        bool kept : 1 = false;         // a file not written: something of its name was kept
        bool warning : 1 = false;      // a warning of the walk, its text in `detail`
        bool showsStatus : 1 = false;  // the copy got as far as showing its name
    };
    static_assert(sizeof(Item) <= 24, "a million items should take 24 MB at most");
    class Queue;

    void CopyFile(Item& item, vfs::FileSystemRef& destination, uint8_t* buffer, MemoryGate& gate);
    std::string PathOf(const Item& item) const { return directories[item.directory] + item.name; }
    // Keeps `text` in `details`; its index. Safe on any thread.
    uint32_t AddDetail(std::string text);
    std::string TakeDetail(const Item& item);

    void ShowStatus(const char* text) const {
        if (settings.showStatus) {
            settings.showStatus(text);
        }
    }

    vfs::FileSystemRef& source;
    vfs::FileSystemRef& destination;
    const TreeCopySettings& settings;
    unsigned jobs;
    // A deque, not a vector: it grows without a moment where the old and
    // the new copy of a million items are both held.
    std::deque<Item> items;
    std::vector<std::string> directories;  // with their trailing "\"; "" for the root
    vfs::NameArena names;
    std::mutex detailMutex;
    std::vector<std::string> details;
};

}  // namespace tarnwad
