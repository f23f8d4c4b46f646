// The tree copy of UnpackDialog: copies a file-system tree into another.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/entry_names.h"
#include "app/unpack_dialog.h"
#include "vfs/core/find_data.h"
#include "vfs/core/path_resolution.h"
#include "vfs/core/stream_ref.h"

namespace tarnwad {

namespace {

// One block shared by every file copy of the process, made at the first copy
// and kept until exit. Null when it cannot be allocated.
uint8_t* CopyBuffer() {
    static std::unique_ptr<uint8_t[]> buffer;
    if (buffer == nullptr) {
        buffer.reset(new (std::nothrow) uint8_t[kCopyBlockSize]);
    }
    return buffer.get();
}

vfs::VfsString Join(const vfs::VfsString& directory, const char* name) {
    vfs::VfsString path(directory);
    path.Append(name);
    return path;
}

void Record(CopyReport& report, const vfs::VfsString& path, CopyFailureKind kind,
            std::string detail = {}) {
    report.failures.push_back(CopyFailure{path.c_str(), kind, std::move(detail)});
}

}  // namespace

const char* DescribeCopyFailure(CopyFailureKind kind) {
    switch (kind) {
        case CopyFailureKind::kOpenSource:
            return "cannot be opened for reading";
        case CopyFailureKind::kCreateFile:
            return "cannot be created";
        case CopyFailureKind::kShortRead:
            return "could not be read in full";
        case CopyFailureKind::kShortWrite:
            return "could not be written in full";
        case CopyFailureKind::kCreateDirectory:
            return "directory cannot be created";
        case CopyFailureKind::kSkipped:
            return "skipped";
        case CopyFailureKind::kUnsafeName:
            return "has a name that cannot be used as a file name";
        case CopyFailureKind::kNoBuffer:
            return "no memory for the copy buffer";
    }
    return "failed";
}

UnpackDialog::~UnpackDialog() {
    destination.Reset();
    source.Reset();
}

void UnpackDialog::SetStatusText(const char* text) {
    host->SetStatusLine(text);
}

CopyReport UnpackDialog::CopyTree(const vfs::VfsString& relativePath) {
    CopyReport report;
    CopyLevel(relativePath, report);
    return report;
}

void UnpackDialog::CopyLevel(vfs::VfsString relativePath, CopyReport& report) {
    vfs::VfsString pattern = Join(relativePath, kListingPattern);

    // First pass: collect the subdirectories. A file system keeps a single
    // enumeration, so the recursion waits until this one has ended.
    std::vector<vfs::VfsString> directories;
    vfs::FindData found;
    for (vfs::Result r = source.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = source.FindNext(&found)) {
        if (!IsDirectory(found) || IsDotEntry(found.name) ||
            !Takes(Join(relativePath, found.name), true)) {
            continue;
        }
        if (!IsSafeComponent(found.name)) {
            Record(report, Join(relativePath, found.name), CopyFailureKind::kUnsafeName);
            continue;
        }
        directories.emplace_back(found.name);
    }

    for (size_t i = 0; i < directories.size(); ++i) {
        vfs::VfsString path = Join(relativePath, directories[i].c_str());
        vfs::FindData existing;
        bool exists = destination.FindFirst(path.c_str(), &existing).Succeeded();
        if (!exists && destination.CreateDirectory(path.c_str()).Failed()) {
            // The rest of this level is given up; the level above goes on.
            path.Append('\\');
            Record(report, path, CopyFailureKind::kCreateDirectory);
            std::string because = std::string("directory ") + path.c_str() + " cannot be created";
            RecordSkippedTree(path, because, report);
            for (size_t j = i + 1; j < directories.size(); ++j) {
                vfs::VfsString sibling = Join(relativePath, directories[j].c_str());
                sibling.Append('\\');
                Record(report, sibling, CopyFailureKind::kSkipped, because);
                RecordSkippedTree(sibling, because, report);
            }
            for (vfs::Result r = source.FindFirst(pattern.c_str(), &found); r.Succeeded();
                 r = source.FindNext(&found)) {
                if (!IsDirectory(found) && IsSafeComponent(found.name) &&
                    Takes(Join(relativePath, found.name), false)) {
                    Record(report, Join(relativePath, found.name), CopyFailureKind::kSkipped,
                           because);
                }
            }
            return;
        }
        if (!exists) {
            ++report.directoriesCreated;
        }
        path.Append('\\');
        CopyLevel(path, report);
    }

    // Second pass: the files of this directory.
    for (vfs::Result r = source.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = source.FindNext(&found)) {
        if (IsDirectory(found) || IsDotEntry(found.name)) {
            continue;
        }
        vfs::VfsString path = Join(relativePath, found.name);
        if (!Takes(path, false)) {
            continue;
        }
        if (!IsSafeComponent(found.name)) {
            Record(report, path, CopyFailureKind::kUnsafeName);
            continue;
        }
        CopyFile(path, found.size, report);
    }
    SetStatusText("");
}

bool UnpackDialog::Takes(const vfs::VfsString& path, bool isDirectory) const {
    if (filter == nullptr) {
        return true;
    }
    if (!isDirectory) {
        return filter->TakesFile(path.c_str());
    }
    vfs::VfsString directory(path);
    directory.Append('\\');
    return filter->TakesDirectory(directory.c_str());
}

void UnpackDialog::CopyFile(const vfs::VfsString& path, uint32_t expectedSize, CopyReport& report) {
    vfs::StreamRef input;
    if (source.OpenFile(input, path.c_str(), kSourceOpenFlags, 0).Failed()) {
        Record(report, path, CopyFailureKind::kOpenSource);
        return;
    }
    vfs::StreamRef output;
    if (destination.OpenFile(output, path.c_str(), kDestinationOpenFlags, 0).Failed()) {
        Record(report, path, CopyFailureKind::kCreateFile);
        return;
    }
    SetStatusText(path.c_str());

    uint8_t* buffer = CopyBuffer();
    if (buffer == nullptr) {
        Record(report, path, CopyFailureKind::kNoBuffer);
        return;
    }
    uint64_t read = 0;
    uint64_t written = 0;
    for (;;) {
        int32_t n = input.Read(buffer, kCopyBlockSize);
        if (n < 1) {
            break;
        }
        read += static_cast<uint32_t>(n);
        // A short write is noted; the copy still goes on to the end.
        int32_t w = output.Write(buffer, n);
        if (w > 0) {
            written += static_cast<uint32_t>(w);
        }
    }
    output.Reset();
    input.Reset();

    if (written != read) {
        Record(report, path, CopyFailureKind::kShortWrite,
               "wrote " + std::to_string(written) + " of " + std::to_string(read) + " bytes");
    } else if (read != expectedSize) {
        Record(report, path, CopyFailureKind::kShortRead,
               "read " + std::to_string(read) + " of " + std::to_string(expectedSize) + " bytes");
    } else {
        ++report.filesCopied;
        report.bytesCopied += read;
    }
}

void UnpackDialog::RecordSkippedTree(const vfs::VfsString& relativeDirectory,
                                     const std::string& because, CopyReport& report) {
    vfs::VfsString pattern = Join(relativeDirectory, kListingPattern);
    std::vector<vfs::VfsString> directories;
    vfs::FindData found;
    for (vfs::Result r = source.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = source.FindNext(&found)) {
        if (IsDotEntry(found.name) || !IsSafeComponent(found.name)) {
            continue;
        }
        vfs::VfsString path = Join(relativeDirectory, found.name);
        if (!Takes(path, IsDirectory(found))) {
            continue;
        }
        if (IsDirectory(found)) {
            directories.push_back(path);
        } else {
            Record(report, path, CopyFailureKind::kSkipped, because);
        }
    }
    for (vfs::VfsString& directory : directories) {
        directory.Append('\\');
        Record(report, directory, CopyFailureKind::kSkipped, because);
        RecordSkippedTree(directory, because, report);
    }
}

}  // namespace tarnwad
