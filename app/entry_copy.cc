#include "app/entry_copy.h"

#include <algorithm>

#include "app/close_queue.h"
#include "app/entry_failure.h"
#include "app/tree_walk.h"
#include "vfs/core/find_data.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/core/temporary_file.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_error.h"
#include "vfs/host/process_signals.h"
#include "vfs/stream/memory_stream.h"

namespace tarnwad {

namespace {

EntryCopyResult Placed() {
    EntryCopyResult result;
    result.copied = true;
    return result;
}

// A regular file or a symbolic link: what an entry's file may replace, or
// keep. A directory, a FIFO, a device or a socket is neither.
bool IsFileOrLink(uint32_t attributes) {
    return (attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
           (attributes & (vfs::FILE_ATTRIBUTE_DIRECTORY | vfs::FILE_ATTRIBUTE_DEVICE)) == 0;
}

EntryCopyResult Kept() {
    EntryCopyResult result;
    result.kept = true;
    return result;
}

EntryCopyResult Failure(CopyFailureKind kind, std::string detail = {}) {
    EntryCopyResult result;
    result.kind = kind;
    result.detail = std::move(detail);
    return result;
}

// Writes every byte of `input` to `output`, unless an interrupt stops it
// between blocks (false); the counts of bytes read and written tell how it
// went.
// The host's reason for the first short write goes to `writeError`.
bool Transfer(vfs::StreamRef& input, vfs::StreamRef& output, uint8_t* buffer, uint64_t* read,
              uint64_t* written, std::string* writeError) {
    auto count = [](uint64_t* total, int32_t n) {
        if (n > 0) {
            *total += static_cast<uint32_t>(n);
        }
    };
    auto write = [&](const uint8_t* bytes, int32_t n) {
        vfs::host::ClearLastError();
        const int32_t done = output.Write(bytes, n);
        if (done != n && writeError->empty()) {
            *writeError = vfs::host::LastErrorText();
        }
        count(written, done);
    };
    // A decoded entry is whole in memory already: its bytes go to the file
    // from there, in the same blocks, without a pass through the buffer. (A
    // stored entry's Map would map the archive file.)
    if (dynamic_cast<vfs::MemoryStream*>(input.Get()) != nullptr) {
        if (const auto* whole = static_cast<const uint8_t*>(input.Map())) {
            const int32_t size = input.GetSize();
            count(read, size);
            for (int32_t at = 0; at < size; at += kCopyBlockSize) {
                if (vfs::host::InterruptRequested()) {
                    return false;
                }
                write(whole + at, std::min(kCopyBlockSize, size - at));
            }
            return true;
        }
    }
    for (int32_t n; (n = input.Read(buffer, kCopyBlockSize)) >= 1;) {
        if (vfs::host::InterruptRequested()) {
            return false;
        }
        count(read, n);
        // A short write is noted; the copy still reads to the end.
        write(buffer, n);
    }
    return true;
}

// Gives the finished temporary file the entry's name. Nothing there: a plain
// move. A file or a link there: replaced, unless it is a read-only file or
// the file that must never be replaced. Anything else stays, and fails the
// entry.
EntryCopyResult MoveIntoPlace(vfs::FileSystemRef& destination, vfs::TemporaryFile& temporary,
                              const std::string& path, const EntryCopyRules& rules,
                              vfs::StreamRef* stillOpen) {
    if (temporary.PutInPlace(false, stillOpen).Succeeded()) {
        return Placed();
    }
    vfs::FindData existing;
    if (destination.FindFirst(path.c_str(), &existing).Failed()) {
        return Failure(CopyFailureKind::kCreateFile,
                       "the finished file cannot be moved into place");
    }
    const uint32_t attributes = existing.attributes;
    if (!IsFileOrLink(attributes)) {
        return Failure(CopyFailureKind::kCreateFile,
                       DescribeObstacle(attributes) + " is in its place");
    }
    const bool link = (attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!link && (attributes & vfs::host::ATTRIBUTE_READONLY) != 0) {
        return Failure(CopyFailureKind::kProtected, "a read-only file of its name is kept");
    }
    vfs::FileIdentity identity;
    if (!rules.neverReplace.empty() &&
        destination.GetFileIdentity(path.c_str(), &identity).Succeeded() &&
        std::find(rules.neverReplace.begin(), rules.neverReplace.end(), identity) !=
            rules.neverReplace.end()) {
        return Failure(CopyFailureKind::kProtected,
                       "the archive being unpacked has its name, and is kept");
    }
    vfs::host::ClearLastError();
    if (temporary.PutInPlace(true, stillOpen).Failed()) {
        const std::string why = vfs::host::LastErrorText();
        return Failure(CopyFailureKind::kCreateFile, "the file in its place cannot be replaced" +
                                                         (why.empty() ? "" : ": " + why));
    }
    return Placed();
}

}  // namespace

EntryCopyResult CopyEntry(vfs::FileSystemRef& source, vfs::FileSystemRef& destination,
                          const std::string& path, uint8_t* buffer,
                          const std::function<void()>& onStart, const EntryCopyRules& rules,
                          CloseQueue* closer) {
    const bool keepExisting = rules.keepExisting;
    if (vfs::host::InterruptRequested()) {
        EntryCopyResult result;
        result.interrupted = true;
        return result;
    }
    vfs::FindData existing;
    if (keepExisting && destination.FindFirst(path.c_str(), &existing).Succeeded() &&
        IsFileOrLink(existing.attributes)) {
        return Kept();
    }
    vfs::StreamRef input;
    vfs::ClearLastError();
    if (source.OpenFile(input, path.c_str(), kSourceOpenFlags, 0).Failed()) {
        const vfs::ErrorReason& why = vfs::LastError();
        return Failure(why.code == vfs::ErrorCode::REFUSED ? CopyFailureKind::kRefused
                                                           : CopyFailureKind::kOpenSource,
                       EntryFailureText(why));
    }
    vfs::TemporaryFile temporary;
    if (temporary.CreateUnnamedWherePossible(destination, path, vfs::OPEN_READ).Failed()) {
        return Failure(CopyFailureKind::kCreateFile, vfs::host::LastErrorText());
    }
    vfs::StreamRef& output = temporary.Stream();
    if (onStart) {
        onStart();
    }

    EntryCopyResult result;
    result.started = true;
    uint64_t read = 0;
    uint64_t written = 0;
    if (buffer == nullptr && dynamic_cast<vfs::MemoryStream*>(input.Get()) == nullptr) {
        result.kind = CopyFailureKind::kNoBuffer;
    } else {
        const int64_t size = input.GetSize64();
        std::string writeError;
        vfs::ClearLastError();
        const bool whole = Transfer(input, output, buffer, &read, &written, &writeError);
        // Why a read fell short, as the stream beneath said it.
        const vfs::ErrorReason readFailure = vfs::LastError();
        if (!whole) {
            result.interrupted = true;
        } else if (written != read) {
            result.kind = CopyFailureKind::kShortWrite;
            result.detail = "wrote " + std::to_string(written) + " of " + std::to_string(read) +
                            " bytes" + (writeError.empty() ? "" : " (" + writeError + ")");
        } else if (size < 0 || read != static_cast<uint64_t>(size)) {
            result.kind = CopyFailureKind::kShortRead;
            result.detail =
                ShortReadText(read, static_cast<uint64_t>(std::max<int64_t>(size, 0)), readFailure);
        } else {
            result.copied = true;
        }
    }
    // The output stays open: a file without a name yet is named through it.
    input.Reset();

    // A file named while open, for `closer` to close.
    vfs::StreamRef stillOpen;
    if (result.copied && keepExisting) {
        // Something may have taken the name meanwhile: a plain move never
        // replaces it.
        if (temporary.PutInPlace(false, &stillOpen).Failed()) {
            temporary.Discard();
            return destination.FindFirst(path.c_str(), &existing).Succeeded()
                       ? Kept()
                       : Failure(CopyFailureKind::kCreateFile,
                                 "the finished file cannot be moved into place");
        }
    } else if (result.copied) {
        EntryCopyResult placed = MoveIntoPlace(destination, temporary, path, rules, &stillOpen);
        result.copied = placed.copied;
        result.kind = placed.kind;
        result.detail = std::move(placed.detail);
    }
    if (!result.copied) {
        temporary.Discard();
        return result;
    }
    if (closer != nullptr) {
        closer->Push(stillOpen);
    }
    result.bytes = read;
    return result;
}

}  // namespace tarnwad
