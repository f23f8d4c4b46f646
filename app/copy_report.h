// CopyReport: what a tree copy could not do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwad {

// Why one entry or directory did not arrive in the destination.
enum class CopyFailureKind : uint8_t {
    kOpenSource,       // the source entry could not be opened
    kCreateFile,       // the destination file could not be created or put in place
    kShortRead,        // fewer (or more) bytes were read than the entry's size
    kShortWrite,       // a write took less than it was given
    kCreateDirectory,  // the destination directory was neither found nor created
    kSkipped,          // not tried: a directory above it could not be created
    kUnsafeName,       // the source reported a name that cannot be a path component
    kNoBuffer,         // the copy buffer could not be allocated
    kNameClash,        // the host takes the name for an earlier entry's
    kProtected,        // what has the name must not be replaced (the archive itself, or a
                       // read-only file)
    kRefused,          // the archive refuses to open the entry: skipped, not a failure
};

// A plain-words text for a failure kind, e.g. "cannot be created".
const char* DescribeCopyFailure(CopyFailureKind kind);

struct CopyFailure {
    std::string path;  // relative path, "\" separated; a directory ends with "\"
    CopyFailureKind kind;
    // Extra words, e.g. "read 10 of 20 bytes"; may be empty. For an entry
    // that did not open, the library's reason (EntryFailureText).
    std::string detail;
};

// What a report says after the failure's path: the kind's words and the
// detail; for an entry that did not open, the library's reason alone.
std::string CopyFailureText(const CopyFailure& failure);

// Something the copy noticed that does not make it fail, e.g. an entry hidden
// by an earlier entry of the same path.
struct CopyWarning {
    std::string path;
    std::string text;
};

struct CopyReport {
    std::vector<CopyFailure> failures;
    std::vector<CopyWarning> warnings;
    // Entries not written because a file of their name was kept.
    std::vector<std::string> kept;
    uint32_t filesCopied = 0;
    uint32_t directoriesCreated = 0;
    uint64_t bytesCopied = 0;
    // An interrupt stopped the copy: what was not copied yet is neither
    // copied nor a failure.
    bool interrupted = false;

    bool Complete() const { return failures.empty() && !interrupted; }
};

}  // namespace tarnwad
