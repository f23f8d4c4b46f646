#include "app/parallel_tree_copy.h"

#include <algorithm>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "app/close_queue.h"
#include "app/entry_copy.h"
#include "app/tree_walk.h"
#include "vfs/host/host_file.h"
#include "vfs/host/process_signals.h"

namespace tarnwad {

namespace {

constexpr uint64_t kLargeEntry = 1 << 20;

// Items handed to a copier at once, at most; also how many the walk gathers
// before it hands them on within a directory.
constexpr uint64_t kBatchItems = 64;
// A batch ends once its files have this many bytes: a thread should not be
// left with several large files when the others run out of work at the end.
constexpr uint64_t kBatchBytes = 256 << 10;

}  // namespace

// Admits decoded entries into memory within the budget: one entry of any
// size when nothing large is in flight, otherwise while the total fits.
class MemoryGate {
  public:
    explicit MemoryGate(uint64_t budget) : budget(budget) {}

    void Enter(uint64_t bytes) {
        if (bytes < kLargeEntry) {
            return;
        }
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return inFlight == 0 || inFlight + bytes <= budget; });
        inFlight += bytes;
    }

    void Leave(uint64_t bytes) {
        if (bytes < kLargeEntry) {
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        inFlight -= bytes;
        changed.notify_all();
    }

  private:
    const uint64_t budget;
    uint64_t inFlight = 0;
    std::mutex mutex;
    std::condition_variable changed;
};

// The walk's side of the window: its findings go into the slots in its
// order, and are handed on in groups: at the end of each directory, every
// kBatchItems items, and when the window is full. A full window makes the
// walk copy a batch itself, or wait for a slot when every item is taken.
class ParallelTreeCopy::Walk : public TreeWalk::Visitor {
  public:
    Walk(ParallelTreeCopy& copy, vfs::FileSystemRef& output, uint8_t* buffer)
        : copy(copy), output(output), buffer(buffer), room(copy.slots.size()) {}

    void CopyFile(const std::string& path, uint32_t size) override {
        Item& item = Add(path);
        item.isFile = true;
        item.size = size;
        Added();
    }
    void Fail(const std::string& path, CopyFailureKind kind, std::string detail) override {
        Item& item = Add(path);
        item.failed = true;
        item.kind = kind;
        item.detail = std::move(detail);
        Added();
    }
    void Warn(const std::string& path, std::string text) override {
        Item& item = Add(path);
        item.warning = true;
        item.detail = std::move(text);
        Added();
    }
    void DirectoryDone() override {
        if (written != copy.published) {
            std::lock_guard<std::mutex> lock(copy.mutex);
            Publish();
        }
    }

    // The walk is over: hands on the rest, then copies with the others
    // until every item is taken.
    void Finish() {
        {
            std::lock_guard<std::mutex> lock(copy.mutex);
            copy.published = written;
            copy.walkOver = true;
            copy.workReady.notify_all();
        }
        copy.CopyUntilDone(true, output, buffer);
    }

  private:
    // The slot of the next item, cleared (its storage kept).
    Item& Add(const std::string& path) {
        if (written == room) {
            MakeRoom();
        }
        Item& item = copy.Slot(written);
        item.path.assign(path);
        item.detail.clear();
        item.size = 0;
        item.kind = CopyFailureKind::kSkipped;
        item.isFile = item.failed = item.copied = item.kept = item.warning = false;
        item.showsStatus = item.taken = item.done = false;
        return item;
    }

    void Added() {
        ++written;
        if (written - copy.published >= kBatchItems) {
            std::lock_guard<std::mutex> lock(copy.mutex);
            Publish();
        }
    }

    // Under the copy's mutex. (`published` changes on this thread alone.)
    void Publish() {
        copy.published = written;
        if (copy.idleCopiers > 0) {
            copy.workReady.notify_all();
        }
    }

    void MakeRoom() {
        std::unique_lock<std::mutex> lock(copy.mutex);
        Publish();
        while (written - copy.released == copy.slots.size()) {
            uint64_t first = 0;
            uint64_t end = 0;
            if (copy.TakeBatch(true, &first, &end)) {
                copy.CopyBatch(first, end, output, buffer, lock);
                continue;
            }
            copy.walkWaits = true;
            copy.slotFreed.wait(lock);
            copy.walkWaits = false;
        }
        room = copy.released + copy.slots.size();
    }

    ParallelTreeCopy& copy;
    vfs::FileSystemRef& output;
    uint8_t* buffer;
    uint64_t written = 0;  // items in the slots, handed on or not
    uint64_t room;         // where the free slots end, as last seen
};

bool ParallelTreeCopy::TakeBatch(bool fromBack, uint64_t* first, uint64_t* end) {
    // Items taken from the back may have been reported meanwhile, and
    // their slots reused.
    front = std::max(front, released);
    while (front < published && Slot(front).taken) {
        ++front;
    }
    if (front == published) {
        return false;
    }
    if (fromBack) {
        // The newest items not taken, below those taken from the back
        // before.
        *end = published;
        while (Slot(*end - 1).taken) {
            --*end;
        }
        *first = *end - 1;
        uint64_t bytes = Slot(*first).size;
        while (*first > front && *end - *first < kBatchItems && bytes < kBatchBytes &&
               !Slot(*first - 1).taken) {
            bytes += Slot(--*first).size;
        }
    } else {
        *first = front;
        *end = front + 1;
        uint64_t bytes = Slot(*first).size;
        while (*end < published && *end - *first < kBatchItems && bytes < kBatchBytes &&
               !Slot(*end).taken) {
            bytes += Slot((*end)++).size;
        }
        front = *end;
    }
    for (uint64_t n = *first; n < *end; ++n) {
        Slot(n).taken = true;
    }
    return true;
}

void ParallelTreeCopy::CopyBatch(uint64_t first, uint64_t end, vfs::FileSystemRef& output,
                                 uint8_t* buffer, std::unique_lock<std::mutex>& lock) {
    // Each file is reported as soon as it is copied (and no earlier item
    // holds it back); the walk's own items go with the next file.
    uint64_t undone = first;
    auto markDone = [&](uint64_t until) {
        for (; undone < until; ++undone) {
            Slot(undone).done = true;
        }
        Report(lock);
    };
    lock.unlock();
    for (uint64_t n = first; n < end; ++n) {
        Item& item = Slot(n);
        if (!item.isFile) {
            continue;
        }
        // After an interrupt the rest is only reported, as neither copied
        // nor failed.
        if (!vfs::host::InterruptRequested()) {
            CopyFile(item, output, buffer);
        }
        lock.lock();
        markDone(n + 1);
        lock.unlock();
    }
    lock.lock();
    markDone(end);
}

void ParallelTreeCopy::CopyFile(Item& item, vfs::FileSystemRef& output, uint8_t* buffer) {
    // The walk hands on one file per path, so the size it reports is the
    // size of the entry that opening the path decodes.
    const uint64_t size = item.size;
    gate->Enter(size);
    EntryCopyResult copied =
        CopyEntry(source, output, item.path, buffer, {}, settings.rules, closer);
    gate->Leave(size);
    item.showsStatus = copied.started;
    if (copied.copied) {
        item.copied = true;
        item.size = copied.bytes;
    } else if (copied.kept) {
        item.kept = true;
    } else if (!copied.interrupted) {
        item.failed = true;
        item.kind = copied.kind;
        item.detail = std::move(copied.detail);
    }
}

void ParallelTreeCopy::Report(std::unique_lock<std::mutex>& lock) {
    if (reporting) {
        return;  // the thread reporting now finds these items done too
    }
    reporting = true;
    while (released < published && Slot(released).done) {
        uint64_t end = released + 1;
        while (end < published && Slot(end).done) {
            ++end;
        }
        // Done and not yet released: no other thread touches these slots.
        lock.unlock();
        for (uint64_t n = released; n < end; ++n) {
            ReportItem(Slot(n));
        }
        lock.lock();
        released = end;
        if (walkWaits) {
            slotFreed.notify_one();
        }
    }
    reporting = false;
}

void ParallelTreeCopy::ReportItem(Item& item) {
    if (item.showsStatus) {
        ShowStatus(item.path.c_str());
    }
    if (item.warning) {
        report.warnings.push_back(CopyWarning{item.path, std::move(item.detail)});
    } else if (item.failed) {
        report.failures.push_back(CopyFailure{item.path, item.kind, std::move(item.detail)});
    } else if (item.kept) {
        report.kept.push_back(item.path);
    } else if (item.copied) {
        ++report.filesCopied;
        report.bytesCopied += item.size;
    }
}

void ParallelTreeCopy::CopyUntilDone(bool fromBack, vfs::FileSystemRef& output, uint8_t* buffer) {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        uint64_t first = 0;
        uint64_t end = 0;
        if (TakeBatch(fromBack, &first, &end)) {
            CopyBatch(first, end, output, buffer, lock);
        } else if (walkOver) {
            return;
        } else {
            ++idleCopiers;
            workReady.wait(lock);
            --idleCopiers;
        }
    }
}

CopyReport ParallelTreeCopy::Run(const std::string& relativePath) {
    report = CopyReport();
    released = front = published = 0;
    walkOver = reporting = walkWaits = false;
    idleCopiers = 0;
    MemoryGate memoryGate(kMemoryBudget);
    gate = &memoryGate;
    std::unique_ptr<CloseQueue> closeQueue;
    if (vfs::host::File::ClosingTakesLong()) {
        closeQueue = std::make_unique<CloseQueue>();
    }
    closer = closeQueue.get();

    // Each copier has its own handle on the output directory (the very
    // directory the walk holds, whatever its path now leads to), since a
    // file system enumerates for one thread at a time. They are made here,
    // before the walk uses `destination`. Where none can be held, the
    // calling thread alone copies, through the walk's handle.
    std::vector<vfs::FileSystemRef> outputs(std::max(jobs, 1u));
    size_t held = 0;
    while (held < outputs.size() && outputs[held].OpenHeldDirectory(destination, "").Succeeded()) {
        ++held;
    }
    if (held == 0) {
        outputs[0] = destination;
        held = 1;
    }
    std::vector<std::thread> threads;
    for (size_t j = 1; j < held; ++j) {
        threads.emplace_back([this, &outputs, j] {
            std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyBlockSize]);
            CopyUntilDone(j % 2 == 0, outputs[j], buffer.get());
        });
    }

    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyBlockSize]);
    Walk walk(*this, outputs[0], buffer.get());
    report.directoriesCreated =
        TreeWalk(source, destination, settings.filter, walk).Run(relativePath);
    walk.Finish();
    for (std::thread& thread : threads) {
        thread.join();
    }
    gate = nullptr;
    // Every file closed before the copy says it is done.
    if (closeQueue != nullptr) {
        closeQueue->Drain();
    }
    closer = nullptr;
    ShowStatus("");
    report.interrupted = vfs::host::InterruptRequested();
    return std::move(report);
}

}  // namespace tarnwad
