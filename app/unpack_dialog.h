// UnpackDialog: the tool's dialog object, with the unpack command and the
// tree copy that runs it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/copy_report.h"
#include "app/dialog_host.h"
#include "app/entry_copy.h"
#include "app/entry_filter.h"
#include "app/game_archive_check.h"
#include "app/unpack_outcome.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/vfs_string.h"

namespace tarnwad {

// The two outcomes of the unpack command: text and caption of its message.
inline constexpr char kSucceededText[] = "Finished unpacking WAD file";
inline constexpr char kSucceededCaption[] = "Succeeded!";
inline constexpr char kFailedText[] = "Unable to unpack WAD file";
inline constexpr char kFailedCaption[] = "Failed!";

class UnpackDialog {
  public:
    explicit UnpackDialog(DialogHost& dialogHost) : host(&dialogHost) {}
    UnpackDialog(const UnpackDialog&) = delete;
    UnpackDialog& operator=(const UnpackDialog&) = delete;
    // Releases `destination` first, then `source`.
    ~UnpackDialog();

    // The "Unpack" command: probes the archive named in the path field,
    // unpacks it beside itself and shows the outcome in a message box.
    // Returns 0, for the dialog framework. `lastOutcome` then tells the
    // details.
    int OnUnpack();
    // Opens the archive named in the path field as `source` and checks that
    // it holds at least one of the probe names at its top level.
    bool ProbeArchive();
    // Opens the archive at the host path `path` as `source`, without the
    // check, and takes its rejected records into the outcome; with `layers`,
    // `source` is the merged tree of the archive and the layers above it.
    // False, with why in `lastOutcome`, when it (or a layer) does not open.
    bool OpenSource(const std::string& path);
    // Derives the output directory from the archive's path (its directory,
    // its name without the extension), creates it if missing, opens it as
    // `destination` and copies the whole archive into it. True only when
    // every entry the archive lets be opened was written in full.
    bool UnpackArchive();
    // Opens the existing directory `outputDirectory` (a host path) as
    // `destination` and copies the whole archive into it. True only when
    // every entry the archive lets be opened was written in full and the
    // archive had no rejected records. UnpackArchive ends with this.
    bool UnpackInto(const char* outputDirectory);

    // Copies one directory of `source` (relative path, empty for the root,
    // otherwise ending with "\"), with everything beneath it, into the same
    // relative directory of `destination`: subdirectories first, depth first,
    // then the directory's files (see TreeWalk and CopyEntry: nothing is
    // written through a link, and a file under an entry's name holds the
    // entry's whole bytes), in order or, when `jobs` is above 1, on that
    // many threads (the same report either way). Skips what it cannot copy
    // and goes on; returns the record of everything skipped or not copied in
    // full.
    CopyReport CopyTree(const vfs::VfsString& relativePath);

    // Shows `text` in the status line, repainted at once.
    void SetStatusText(const char* text);

    vfs::FileSystemRef source;
    vfs::FileSystemRef destination;
    // The archive itself, when layers lie over it in `source` (OpenSource
    // sets it); empty: `source` is the archive. The output directory is
    // named after it, and it is never replaced.
    vfs::FileSystemRef archive;
    // Who the archive files of `source` are (the archive's, then each
    // archive layer's), never replaced by the copy.
    std::vector<vfs::FileIdentity> archiveIdentities;
    UnpackOutcome lastOutcome;
    // Layers unpacked over the archive, later ones winning (host paths as
    // the user gave them: archives, "a.wad*\dir", folders); empty (the
    // dialog's case) unpacks the archive alone.
    std::vector<std::string> layers;
    // When set, the tree copy takes only the entries it accepts; null (the
    // dialog's case) takes everything. Not owned.
    const EntryFilter* filter = nullptr;
    // Whether an existing file (or link) of an entry's name is left as it
    // is instead of replaced; the report names each one kept.
    bool keepExisting = false;
    // Whether the unpack only tells what it would do: everything runs as
    // for a real unpack (every entry is opened and decoded, every obstacle
    // on disk met), but nothing is created or written. `destination` is then
    // a DryRunFileSystem, whose Placed() lists the files a real unpack would
    // write.
    bool dryRun = false;
    // Threads the tree copy runs on: 1 (the dialog's) copies one file after
    // another; more copy files of the walk on that many threads, with the
    // same outcome (see ParallelTreeCopy).
    unsigned jobs = 1;

    // Derives the output directory from the archive's path (its directory,
    // its name without the extension), creates it if missing and opens it,
    // held, into `output`: made and entered within the archive's directory,
    // never through a link. False, with the reason in
    // `lastOutcome.failure`, when no name of a new directory can be made,
    // the path is taken by a file or a link, or it cannot be created.
    bool PrepareOutputDirectory(vfs::FileSystemRef& output);
    // UnpackInto for the output directory held open in `output`, which
    // becomes `destination` (an empty handle: a dry run's output directory
    // that does not exist yet).
    bool UnpackIntoOpened(vfs::FileSystemRef& output);
    // Moves the copy's failures of entries that the archive refuses to open
    // (kRefused) to the outcome's refused list: skipping them is no failure.
    void SeparateRefusedEntries();
    // What the copy must leave in place: existing files when `keepExisting`,
    // and always the archive file itself.
    EntryCopyRules CopyRules();

  private:
    // `archive`, or `source` when that is empty.
    vfs::FileSystemRef& Archive() { return archive.Get() != nullptr ? archive : source; }

    DialogHost* host;
};

}  // namespace tarnwad
