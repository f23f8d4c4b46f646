#include "tools/parallel_tree_copy.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "app/entry_names.h"
#include "vfs/core/find_data.h"
#include "vfs/core/path_resolution.h"
#include "vfs/core/stream.h"
#include "vfs/core/stream_ref.h"
#include "vfs/stream/memory_stream.h"
#include "vfs/wad/wad_file_system.h"

namespace tarnwad::cli {

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

bool ParallelTreeCopy::Takes(const std::string& path, bool isDirectory) const {
    if (dialog.filter == nullptr) {
        return true;
    }
    return isDirectory ? dialog.filter->TakesDirectory((path + "\\").c_str())
                       : dialog.filter->TakesFile(path.c_str());
}

void ParallelTreeCopy::Fail(const std::string& path, CopyFailureKind kind, std::string detail) {
    Item item;
    item.path = path;
    item.failed = true;
    item.kind = kind;
    item.detail = std::move(detail);
    items.push_back(std::move(item));
}

// The walk of UnpackDialog::CopyLevel: subdirectories first, created and
// walked depth first, then the directory's files, queued instead of copied.
void ParallelTreeCopy::Walk(const std::string& relativePath) {
    const std::string pattern = relativePath + kListingPattern;
    std::vector<std::string> directories;
    vfs::FindData found;
    for (vfs::Result r = dialog.source.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = dialog.source.FindNext(&found)) {
        if (!IsDirectory(found) || IsDotEntry(found.name) ||
            !Takes(relativePath + found.name, true)) {
            continue;
        }
        if (!IsSafeComponent(found.name)) {
            Fail(relativePath + found.name, CopyFailureKind::kUnsafeName);
            continue;
        }
        directories.emplace_back(found.name);
    }

    for (size_t i = 0; i < directories.size(); ++i) {
        std::string path = relativePath + directories[i];
        vfs::FindData existing;
        const bool exists = dialog.destination.FindFirst(path.c_str(), &existing).Succeeded();
        if (!exists && dialog.destination.CreateDirectory(path.c_str()).Failed()) {
            path += '\\';
            Fail(path, CopyFailureKind::kCreateDirectory);
            const std::string because = "directory " + path + " cannot be created";
            RecordSkippedTree(path, because);
            for (size_t j = i + 1; j < directories.size(); ++j) {
                const std::string sibling = relativePath + directories[j] + "\\";
                Fail(sibling, CopyFailureKind::kSkipped, because);
                RecordSkippedTree(sibling, because);
            }
            for (vfs::Result r = dialog.source.FindFirst(pattern.c_str(), &found); r.Succeeded();
                 r = dialog.source.FindNext(&found)) {
                if (!IsDirectory(found) && IsSafeComponent(found.name) &&
                    Takes(relativePath + found.name, false)) {
                    Fail(relativePath + found.name, CopyFailureKind::kSkipped, because);
                }
            }
            return;
        }
        if (!exists) {
            ++directoriesCreated;
        }
        Walk(path + "\\");
    }

    for (vfs::Result r = dialog.source.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = dialog.source.FindNext(&found)) {
        if (IsDirectory(found) || IsDotEntry(found.name)) {
            continue;
        }
        const std::string path = relativePath + found.name;
        if (!Takes(path, false)) {
            continue;
        }
        if (!IsSafeComponent(found.name)) {
            Fail(path, CopyFailureKind::kUnsafeName);
            continue;
        }
        Item item;
        item.path = path;
        item.isFile = true;
        item.expectedSize = found.size;
        items.push_back(std::move(item));
    }
}

void ParallelTreeCopy::RecordSkippedTree(const std::string& relativeDirectory,
                                         const std::string& because) {
    const std::string pattern = relativeDirectory + kListingPattern;
    std::vector<std::string> directories;
    vfs::FindData found;
    for (vfs::Result r = dialog.source.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = dialog.source.FindNext(&found)) {
        if (IsDotEntry(found.name) || !IsSafeComponent(found.name)) {
            continue;
        }
        const std::string path = relativeDirectory + found.name;
        if (!Takes(path, IsDirectory(found))) {
            continue;
        }
        if (IsDirectory(found)) {
            directories.push_back(path);
        } else {
            Fail(path, CopyFailureKind::kSkipped, because);
        }
    }
    for (const std::string& directory : directories) {
        Fail(directory + "\\", CopyFailureKind::kSkipped, because);
        RecordSkippedTree(directory + "\\", because);
    }
}

void ParallelTreeCopy::CopyFile(Item& item, uint8_t* buffer, MemoryGate& gate) {
    gate.Enter(item.expectedSize);
    vfs::StreamRef input;
    vfs::StreamRef output;
    if (dialog.source.OpenFile(input, item.path.c_str(), kSourceOpenFlags, 0).Failed()) {
        item.failed = true;
        item.kind = CopyFailureKind::kOpenSource;
    } else if (dialog.destination.OpenFile(output, item.path.c_str(), kDestinationOpenFlags, 0)
                   .Failed()) {
        item.failed = true;
        item.kind = CopyFailureKind::kCreateFile;
    } else if (buffer == nullptr) {
        item.showsStatus = true;
        item.failed = true;
        item.kind = CopyFailureKind::kNoBuffer;
    } else {
        item.showsStatus = true;
        uint64_t read = 0;
        uint64_t written = 0;
        // A decoded entry is already whole in memory: its bytes go to the
        // file from there, in the same blocks, without a pass through the
        // copy buffer. (A stored entry's Map would map the archive file.)
        auto* decoded = dynamic_cast<vfs::MemoryStream*>(input.Get());
        const auto* whole = decoded != nullptr ? static_cast<const uint8_t*>(input.Map()) : nullptr;
        if (whole != nullptr) {
            const int32_t size = input.GetSize();
            read = static_cast<uint32_t>(size);
            for (int32_t at = 0; at < size; at += kCopyBlockSize) {
                const int32_t n = std::min(kCopyBlockSize, size - at);
                const int32_t w = output.Write(whole + at, n);
                if (w > 0) {
                    written += static_cast<uint32_t>(w);
                }
            }
        }
        for (int32_t n; whole == nullptr && (n = input.Read(buffer, kCopyBlockSize)) >= 1;) {
            read += static_cast<uint32_t>(n);
            // A short write is noted; the copy still goes on to the end.
            const int32_t w = output.Write(buffer, n);
            if (w > 0) {
                written += static_cast<uint32_t>(w);
            }
        }
        if (written != read) {
            item.failed = true;
            item.kind = CopyFailureKind::kShortWrite;
            item.detail =
                "wrote " + std::to_string(written) + " of " + std::to_string(read) + " bytes";
        } else if (read != item.expectedSize) {
            item.failed = true;
            item.kind = CopyFailureKind::kShortRead;
            item.detail = "read " + std::to_string(read) + " of " +
                          std::to_string(item.expectedSize) + " bytes";
        } else {
            item.bytes = read;
        }
    }
    output.Reset();
    input.Reset();
    gate.Leave(item.expectedSize);
}

CopyReport ParallelTreeCopy::Run() {
    items.clear();
    directoriesCreated = 0;
    Walk("");

    std::vector<size_t> files;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].isFile) {
            files.push_back(i);
        }
    }
    // Work goes out in batches of consecutive files of one directory, so
    // that the threads mostly create files in different directories, whose
    // entries the host updates under a lock per directory.
    std::vector<size_t> batchStarts;
    for (size_t f = 0; f < files.size(); ++f) {
        const std::string& path = items[files[f]].path;
        const size_t cut = path.rfind('\\');
        const bool sameDirectory =
            !batchStarts.empty() && f - batchStarts.back() < kBatchFiles &&
            items[files[f - 1]].path.compare(0, cut + 1, path, 0, cut + 1) == 0 &&
            items[files[f - 1]].path.rfind('\\') == cut;
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
        if (lowBatch == highBatch) {
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
                dialog.SetStatusText(item.path.c_str());
            }
            ++nextStatus;
        }
    };

    // The copy of UnpackDialog::CopyFile, into the file's item.
    auto copyFiles = [&](bool fromBack) {
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyBlockSize]);
        for (size_t b; takeBatch(fromBack, &b);) {
            for (size_t f = batchStarts[b]; f < batchStarts[b + 1]; ++f) {
                CopyFile(items[files[f]], buffer.get(), gate);
                finish(f);
            }
        }
    };
    std::vector<std::thread> threads;
    const size_t batches = batchStarts.size() - 1;
    const unsigned helpers =
        static_cast<unsigned>(std::min<size_t>(std::max(jobs, 1u) - 1, batches));
    for (unsigned j = 0; j < helpers; ++j) {
        threads.emplace_back(copyFiles, j % 2 == 0);
    }
    copyFiles(false);
    for (std::thread& thread : threads) {
        thread.join();
    }
    dialog.SetStatusText("");

    CopyReport report;
    report.directoriesCreated = directoriesCreated;
    for (Item& item : items) {
        if (item.failed) {
            report.failures.push_back(CopyFailure{item.path, item.kind, std::move(item.detail)});
        } else if (item.isFile) {
            ++report.filesCopied;
            report.bytesCopied += item.bytes;
        }
    }
    return report;
}

bool UnpackIntoOnThreads(UnpackDialog& dialog, const char* outputDirectory, unsigned jobs) {
    UnpackOutcome& outcome = dialog.lastOutcome;
    outcome.outputDirectory = outputDirectory;
    vfs::FileSystemRef output;
    if (output.OpenDirectory(outputDirectory).Failed()) {
        outcome.failure = "the output directory cannot be opened";
        return false;
    }
    dialog.destination = output;
    output.Reset();

    ParallelTreeCopy copy(dialog, jobs);
    outcome.copy = copy.Run();
    dialog.SeparateRefusedEntries();
    return outcome.copy.Complete() && outcome.rejected.empty();
}

bool UnpackArchiveOnThreads(UnpackDialog& dialog, unsigned jobs) {
    vfs::VfsString outputPath;
    return dialog.PrepareOutputDirectory(outputPath) &&
           UnpackIntoOnThreads(dialog, outputPath.c_str(), jobs);
}

}  // namespace tarnwad::cli
