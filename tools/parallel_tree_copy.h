// ParallelTreeCopy: the dialog's tree copy with the file copies spread over
// several threads, for `tarnwad unpack -j N`.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "app/copy_report.h"
#include "app/unpack_dialog.h"
#include "vfs/core/name_arena.h"

namespace tarnwad::cli {

class MemoryGate;

// Copies `dialog.source` into `dialog.destination` the way
// UnpackDialog::CopyTree(root) does (the same TreeWalk, the same CopyEntry),
// and gives the same report: the same
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

    ParallelTreeCopy(UnpackDialog& dialog, unsigned jobs) : dialog(dialog), jobs(jobs) {}

    CopyReport Run();

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

    UnpackDialog& dialog;
    unsigned jobs;
    EntryCopyRules rules;
    // A deque, not a vector: it grows without a moment where the old and
    // the new copy of a million items are both held.
    std::deque<Item> items;
    std::vector<std::string> directories;  // with their trailing "\"; "" for the root
    vfs::NameArena names;
    std::mutex detailMutex;
    std::vector<std::string> details;
};

// UnpackDialog::UnpackInto with the copy on `jobs` threads: opens the
// existing `outputDirectory` as the destination, copies, and moves the
// failures of entries the archive refuses to the refused list. True only
// when every entry the archive lets be opened was written in full and the
// archive had no rejected records.
bool UnpackIntoOnThreads(UnpackDialog& dialog, const char* outputDirectory, unsigned jobs);

// The same into the output directory already held open in `output` (taken
// over by the dialog as its destination).
bool UnpackIntoOpenedOnThreads(UnpackDialog& dialog, vfs::FileSystemRef& output, unsigned jobs);

// UnpackDialog::UnpackArchive with the copy on `jobs` threads: the output
// directory beside the archive, named after it, created if missing.
bool UnpackArchiveOnThreads(UnpackDialog& dialog, unsigned jobs);

}  // namespace tarnwad::cli
