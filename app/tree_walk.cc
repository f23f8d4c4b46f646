#include "app/tree_walk.h"

#include <map>
#include <utility>
#include <vector>

#include "app/entry_names.h"
#include "app/name_set.h"
#include "vfs/core/find_data.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_names.h"
#include "vfs/host/process_signals.h"

namespace tarnwad {

// One directory on the walk's stack: its subdirectories, and how many of
// them have been walked.
struct TreeWalk::Level {
    std::string path;
    std::vector<std::string> directories;
    size_t next = 0;
    // Where the host takes names of different bytes for one entry: the keys
    // it looks this level's names up by, so far, with the first name of
    // each (files and directories alike).
    std::map<std::string, std::string> hostKeys;
};

namespace {

// Why `name` cannot become one component of a host path, or empty: the
// library's separators, and what the host itself would not take literally.
std::string UnusableName(const char* name) {
    if (!IsSafeComponent(name)) {
        return {};  // worded by the failure's kind alone
    }
    const char* why = vfs::host::UnusableNameReason(name);
    return why == nullptr ? std::string() : std::string(why);
}

}  // namespace

bool TreeWalk::ClaimHostName(Level& level, const std::string& path, const char* name,
                             bool isDirectory) {
    if (!vfs::host::HostFoldsNames()) {
        return true;
    }
    auto [at, added] = level.hostKeys.emplace(vfs::host::HostNameKey(name), name);
    if (added) {
        return true;
    }
    visitor.Fail(isDirectory ? path + "\\" : path, CopyFailureKind::kNameClash,
                 "this system takes it for " + level.path + at->second);
    return false;
}

std::string DescribeObstacle(uint32_t attributes) {
    if ((attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return "a symbolic link";
    }
    if ((attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "a directory";
    }
    if ((attributes & vfs::FILE_ATTRIBUTE_DEVICE) != 0) {
        return "a FIFO, device or socket";
    }
    return "a file";
}

bool TreeWalk::Takes(const std::string& path, bool isDirectory) const {
    if (filter == nullptr) {
        return true;
    }
    return isDirectory ? filter->TakesDirectory((path + "\\").c_str())
                       : filter->TakesFile(path.c_str());
}

TreeWalk::Level TreeWalk::ReadLevel(const std::string& relativePath) {
    // A file system keeps a single enumeration: the names are collected
    // before any directory is entered.
    Level level;
    level.path = relativePath;
    const std::string pattern = relativePath + kListingPattern;
    vfs::FindData found;
    for (vfs::Result r = source.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = source.FindNext(&found)) {
        if (!IsDirectory(found) || IsDotEntry(found.name) ||
            !Takes(relativePath + found.name, true)) {
            continue;
        }
        if (!IsSafeComponent(found.name) || vfs::host::UnusableNameReason(found.name) != nullptr) {
            visitor.Fail(relativePath + found.name, CopyFailureKind::kUnsafeName,
                         UnusableName(found.name));
            continue;
        }
        level.directories.emplace_back(found.name);
    }
    if (vfs::host::HostFoldsNames()) {
        // A directory the host would take for an earlier one is left out
        // with all beneath it (the listing is over: it can be read again).
        std::vector<std::string> kept;
        for (std::string& name : level.directories) {
            const std::string path = relativePath + name;
            if (ClaimHostName(level, path, name.c_str(), true)) {
                kept.push_back(std::move(name));
            } else {
                SkipTree(path + "\\", "its name is taken for another entry's");
            }
        }
        level.directories = std::move(kept);
    }
    return level;
}

bool TreeWalk::EnsureDirectory(const std::string& path, bool* created) {
    *created = false;
    vfs::FindData existing;
    if (destination.FindFirst(path.c_str(), &existing).Succeeded()) {
        const uint32_t attributes = existing.attributes;
        if (IsDirectory(existing) && (attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            return true;
        }
        visitor.Fail(path + "\\", CopyFailureKind::kCreateDirectory,
                     DescribeObstacle(attributes) + " is in its place");
        return false;
    }
    vfs::host::ClearLastError();
    if (destination.CreateDirectory(path.c_str()).Failed()) {
        const std::string why = vfs::host::LastErrorText();
        // Another process (another unpack of the same archive) may have made
        // it just now: a real directory there is all the walk needs.
        if (destination.FindFirst(path.c_str(), &existing).Succeeded() && IsDirectory(existing) &&
            (existing.attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            return true;
        }
        visitor.Fail(path + "\\", CopyFailureKind::kCreateDirectory, why);
        return false;
    }
    *created = true;
    return true;
}

void TreeWalk::HandFiles(Level& level) {
    const std::string& relativePath = level.path;
    const std::string pattern = relativePath + kListingPattern;
    // Names already handed on at this level: a later entry of the same path
    // could only ever be read as the first one. Not kept where the source
    // says that no name comes twice (an archive's tree knows), which spares
    // a copy of every name of a large directory.
    const bool namesMayRepeat = !source.ListsEachFileNameOnce(relativePath.c_str());
    NameSet seen;
    vfs::FindData found;
    for (vfs::Result r = source.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = source.FindNext(&found)) {
        if (IsDirectory(found) || IsDotEntry(found.name)) {
            continue;
        }
        std::string path = relativePath + found.name;
        if (!Takes(path, false)) {
            continue;
        }
        if (!IsSafeComponent(found.name) || vfs::host::UnusableNameReason(found.name) != nullptr) {
            visitor.Fail(path, CopyFailureKind::kUnsafeName, UnusableName(found.name));
            continue;
        }
        if (namesMayRepeat && !seen.Insert(found.name)) {
            visitor.Warn(path, kHiddenEntryWarning);
            continue;
        }
        if (!ClaimHostName(level, path, found.name, false)) {
            continue;
        }
        visitor.CopyFile(path, found.size);
    }
}

void TreeWalk::SkipTree(const std::string& relativeDirectory, const std::string& because) {
    // Each directory's files, then each of its subdirectories with all
    // beneath it, depth first; the stack holds the subdirectories still due.
    std::vector<std::pair<std::vector<std::string>, size_t>> stack;
    std::string directory = relativeDirectory;
    for (;;) {
        std::vector<std::string> subdirectories;
        const std::string pattern = directory + kListingPattern;
        vfs::FindData found;
        for (vfs::Result r = source.FindFirst(pattern.c_str(), &found); r.Succeeded();
             r = source.FindNext(&found)) {
            if (IsDotEntry(found.name) || !IsSafeComponent(found.name) ||
                vfs::host::UnusableNameReason(found.name) != nullptr) {
                continue;
            }
            std::string path = directory + found.name;
            if (!Takes(path, IsDirectory(found))) {
                continue;
            }
            if (IsDirectory(found)) {
                subdirectories.push_back(path + "\\");
            } else {
                visitor.Fail(path, CopyFailureKind::kSkipped, because);
            }
        }
        stack.emplace_back(std::move(subdirectories), 0);
        while (!stack.empty() && stack.back().second == stack.back().first.size()) {
            stack.pop_back();
        }
        if (stack.empty()) {
            return;
        }
        auto& [pending, next] = stack.back();
        directory = pending[next++];
        visitor.Fail(directory, CopyFailureKind::kSkipped, because);
    }
}

uint32_t TreeWalk::Run(const std::string& relativePath) {
    uint32_t created = 0;
    std::vector<Level> stack;
    stack.push_back(ReadLevel(relativePath));
    // An interrupt ends the walk before its next step.
    while (!stack.empty() && !vfs::host::InterruptRequested()) {
        Level& level = stack.back();
        if (level.next == level.directories.size()) {
            HandFiles(level);
            visitor.DirectoryDone();
            stack.pop_back();
            continue;
        }
        const size_t index = level.next++;
        const std::string path = level.path + level.directories[index];
        bool made = false;
        if (!EnsureDirectory(path, &made)) {
            // Only what lies beneath it is lost; its level goes on.
            SkipTree(path + "\\", "directory " + path + "\\ cannot be created");
            continue;
        }
        created += made ? 1 : 0;
        // `level` is not used past this point: the push may move it.
        stack.push_back(ReadLevel(path + "\\"));
    }
    return created;
}

}  // namespace tarnwad
