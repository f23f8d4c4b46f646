// ArchiveEdit: one edit of an archive as the tool's edit commands make it:
// every change worked out and checked first, then all of them written at
// once, or nothing when any of them cannot be made.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "tools/pack/entry_coder.h"
#include "vfs/edit/wad_edit.h"

namespace tarnwad::edit {

// One thing the user is told: what it concerns and why.
struct EditMessage {
    std::string subject;
    std::string text;
};

struct EditChange {
    enum Kind { kAdded, kReplaced, kRemoved, kRenamed, kUnchanged } kind;
    std::string path;   // in the archive, "\" separated, as stored
    std::string to;     // kRenamed: the new path
    uint64_t size = 0;  // kAdded, kReplaced: the content's bytes
};

struct EditOptions {
    std::string codec = "auto";  // for new data, as `pack --codec`
    bool copy = false;           // write a new archive and rename it over
};

class ArchiveEdit {
  public:
    // `shown`: the archive as the user named it; `path`: its absolute host
    // path.
    ArchiveEdit(std::string shown, std::string path, EditOptions options);
    ~ArchiveEdit();

    // The paths of the entries that `patterns` select, as list and unpack
    // select them, with the patterns that select nothing in `unmatched`.
    // Call before Open. Why not, when the archive cannot be read.
    std::optional<EditMessage> Select(const std::vector<std::string>& patterns,
                                      std::vector<std::string>* paths,
                                      std::vector<std::string>* unmatched);
    // Opens the archive for editing; why not, when it cannot be.
    std::optional<EditMessage> Open();

    // `add` (or `replace`, with `replacing`): each of `files` (host paths as
    // given; a directory brings its tree) at its name; with `as`, one file
    // (or directory) at that path, several in the directory `as`.
    void Put(const std::vector<std::string>& files, const std::string& as, bool replacing);
    // Removes every record of each of `paths`.
    void Remove(const std::vector<std::string>& paths);
    // Renames the file `from`, or every file beneath the directory `from`;
    // onto a directory of the archive, into it.
    void Move(const std::string& from, const std::string& to);
    // Makes the archive hold exactly the tree of `directory`. With
    // `keepUnreadable`, entries no reader could have unpacked (refused,
    // damaged, left out of the tree, hidden by an earlier record of their
    // path) stay when the tree lacks them: what rebuilding an archive from
    // its unpacked tree wants.
    void Update(const std::string& directory, bool keepUnreadable = false);

    // Writes the changes, unless a failure was found: then nothing. With
    // `compact`, the archive is written anew even when nothing changed,
    // holding only what its entries refer to. The reasons of failures, in
    // order; empty when written.
    std::vector<EditMessage> Commit(bool compact = false);

    // Lets go of the archive.
    void Close() { editor.Close(); }

    const std::vector<EditChange>& Changes() const { return changes; }
    const std::vector<EditMessage>& Failures() const { return failures; }
    const std::vector<std::string>& Warnings() const { return warnings; }
    const vfs::WadEditStats& Stats() const { return editor.Stats(); }
    bool Interrupted() const { return interrupted; }

  private:
    // The problem of putting a file at `path`: a file on its way, a
    // directory of that path; nothing when there is none.
    std::optional<std::string> PathInTheWay(const std::string& path);
    // Reads `file` through `worker` and adds it (`index` -1) or gives entry
    // `index` its content; with `keepEqual`, an entry whose content is
    // equal is left as it is.
    void PutOne(const pack::PackFile& file, pack::PackWorker& worker, int64_t index,
                const std::string& shown, bool keepEqual);
    void Fail(const std::string& subject, const std::string& text) {
        failures.push_back({subject, text});
    }
    // The folded paths of every directory that entries lie in.
    const std::unordered_set<std::string>& Directories();

    const std::string shown;
    const std::string path;
    const EditOptions options;
    vfs::WadEdit editor;
    std::vector<EditChange> changes;
    std::vector<EditMessage> failures;
    std::vector<std::string> warnings;
    std::unordered_set<std::string> directories;
    bool directoriesKnown = false;
    bool interrupted = false;
};

}  // namespace tarnwad::edit
