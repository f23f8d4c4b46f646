#include "app/parallel_tree_copy.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "app/entry_copy.h"
#include "app/tree_walk.h"
#include "vfs/host/process_signals.h"

namespace tarnwad {

namespace {

constexpr uint64_t kLargeEntry = 1 << 20;

// Files handed to a thread at once, at most.
constexpr size_t kBatchFiles = 64;

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

// The walk's findings, in its order: failures and warnings as they come,
// files queued for the copiers.
class ParallelTreeCopy::Queue : public TreeWalk::Visitor {
  public:
    explicit Queue(ParallelTreeCopy& copy) : copy(copy) {}

    void CopyFile(const std::string& path, uint32_t size) override {
        Item& item = Add(path);
        item.isFile = true;
        item.size = size;
    }
    void Fail(const std::string& path, CopyFailureKind kind, std::string detail) override {
        Item& item = Add(path);
        item.failed = true;
        item.kind = kind;
        item.detail = copy.AddDetail(std::move(detail));
    }
    void Warn(const std::string& path, std::string text) override {
        Item& item = Add(path);
        item.warning = true;
        item.detail = copy.AddDetail(std::move(text));
    }

  private:
    // A new item for `path`: its directory is the last one's, as the walk
    // hands on a directory's files together, or a new one.
    Item& Add(const std::string& path) {
        const size_t cut = path.rfind('\\');
        const size_t nameAt = cut == std::string::npos ? 0 : cut + 1;
        std::vector<std::string>& directories = copy.directories;
        if (directories.empty() || directories.back().size() != nameAt ||
            path.compare(0, nameAt, directories.back()) != 0) {
            directories.push_back(path.substr(0, nameAt));
        }
        Item& item = copy.items.emplace_back();
        item.directory = static_cast<uint32_t>(directories.size() - 1);
        item.name =
            copy.names.Copy(path.c_str() + nameAt, static_cast<uint32_t>(path.size() - nameAt));
        return item;
    }

    ParallelTreeCopy& copy;
};

uint32_t ParallelTreeCopy::AddDetail(std::string text) {
    if (text.empty()) {
        return kNoDetail;
    }
    std::lock_guard<std::mutex> lock(detailMutex);
    details.push_back(std::move(text));
    return static_cast<uint32_t>(details.size() - 1);
}

std::string ParallelTreeCopy::TakeDetail(const Item& item) {
    return item.detail == kNoDetail ? std::string() : std::move(details[item.detail]);
}

void ParallelTreeCopy::CopyFile(Item& item, vfs::FileSystemRef& output, uint8_t* buffer,
                                MemoryGate& gate) {
    // The walk hands on one file per path, so the size it reports is the
    // size of the entry that opening the path decodes.
    gate.Enter(item.size);
    EntryCopyResult copied = CopyEntry(source, output, PathOf(item), buffer, {}, settings.rules);
    gate.Leave(item.size);
    item.showsStatus = copied.started;
    if (copied.copied) {
        item.copied = true;
        item.size = static_cast<uint32_t>(copied.bytes);
    } else if (copied.kept) {
        item.kept = true;
    } else if (!copied.interrupted) {
        item.failed = true;
        item.kind = copied.kind;
        item.detail = AddDetail(std::move(copied.detail));
    }
}

CopyReport ParallelTreeCopy::Run(const std::string& relativePath) {
    items.clear();
    directories.clear();
    details.clear();
    names.Reset();
    Queue queue(*this);
    const uint32_t directoriesCreated =
        TreeWalk(source, destination, settings.filter, queue).Run(relativePath);

    std::vector<uint32_t> files;
    files.reserve(static_cast<size_t>(
        std::count_if(items.begin(), items.end(), [](const Item& item) { return item.isFile; })));
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].isFile) {
            files.push_back(static_cast<uint32_t>(i));
        }
    }
    // Work goes out in batches of consecutive files of one directory, so
    // that the threads mostly create files in different directories, whose
    // entries the host updates under a lock per directory.
    std::vector<size_t> batchStarts;
    for (size_t f = 0; f < files.size(); ++f) {
        const bool sameDirectory = !batchStarts.empty() && f - batchStarts.back() < kBatchFiles &&
                                   items[files[f - 1]].directory == items[files[f]].directory;
        if (!sameDirectory) {
            batchStarts.push_back(f);
        }
    }
    batchStarts.push_back(files.size());

    // Batches still to take: [lowBatch, highBatch). Half the threads take
    // from the front, half from the back, so that they mostly work in
    // different directories.
    std::mutex batchMutex;
    size_t lowBatch = 0;
    size_t highBatch = batchStarts.size() - 1;
    auto takeBatch = [&](bool fromBack, size_t* batch) {
        std::lock_guard<std::mutex> lock(batchMutex);
        if (lowBatch == highBatch || vfs::host::InterruptRequested()) {
            return false;
        }
        *batch = fromBack ? --highBatch : lowBatch++;
        return true;
    };
    std::vector<char> done(files.size(), 0);
    std::mutex statusMutex;
    size_t nextStatus = 0;
    MemoryGate gate(kMemoryBudget);

    // Marks file f done, and shows the names of the done files that no
    // earlier file still holds back, in order.
    auto finish = [&](size_t f) {
        std::lock_guard<std::mutex> lock(statusMutex);
        done[f] = 1;
        while (nextStatus < files.size() && done[nextStatus] != 0) {
            const Item& item = items[files[nextStatus]];
            if (item.showsStatus) {
                ShowStatus(PathOf(item).c_str());
            }
            ++nextStatus;
        }
    };

    // Each copier has its own buffer, and its own handle on the output
    // directory (the very directory the walk holds, whatever its path now
    // leads to), since a file system enumerates for one thread at a time.
    auto copyFiles = [&](bool fromBack, bool isCaller) {
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyBlockSize]);
        vfs::FileSystemRef output;
        if (output.OpenHeldDirectory(destination, "").Failed()) {
            // It cannot be held again: the calling thread alone goes on,
            // with the walk's handle.
            if (!isCaller) {
                return;
            }
            output = destination;
        }
        for (size_t b; takeBatch(fromBack, &b);) {
            for (size_t f = batchStarts[b]; f < batchStarts[b + 1]; ++f) {
                CopyFile(items[files[f]], output, buffer.get(), gate);
                finish(f);
            }
        }
    };
    std::vector<std::thread> threads;
    const size_t batches = batchStarts.size() - 1;
    const unsigned helpers =
        static_cast<unsigned>(std::min<size_t>(std::max(jobs, 1u) - 1, batches));
    for (unsigned j = 0; j < helpers; ++j) {
        threads.emplace_back(copyFiles, j % 2 == 0, false);
    }
    copyFiles(false, true);
    for (std::thread& thread : threads) {
        thread.join();
    }
    ShowStatus("");

    CopyReport report;
    report.directoriesCreated = directoriesCreated;
    report.interrupted = vfs::host::InterruptRequested();
    for (Item& item : items) {
        if (item.warning) {
            report.warnings.push_back(CopyWarning{PathOf(item), TakeDetail(item)});
        } else if (item.failed) {
            report.failures.push_back(CopyFailure{PathOf(item), item.kind, TakeDetail(item)});
        } else if (item.kept) {
            report.kept.push_back(PathOf(item));
        } else if (item.copied) {
            ++report.filesCopied;
            report.bytesCopied += item.size;
        }
    }
    return report;
}

}  // namespace tarnwad
