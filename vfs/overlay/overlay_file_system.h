// OverlayFileSystem: several file systems seen as one tree, later layers
// winning.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vfs/core/export.h"
#include "vfs/core/file_system.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/last_error.h"

namespace vfs {

// One layer's version of a path.
struct TARNVFS_API OverlayVersion {
    uint32_t layer = 0;        // index in the order the layers were added (0: the base)
    bool isDirectory = false;  // what the path is in that layer
    uint32_t size = 0;         // a file's size in that layer (0 for a directory)
    std::string spelled;       // the path as that layer spells it ('\' separated, below its top)
};

// A path supplied by more than one layer (files; a file in one layer and a
// directory in another counts too): its versions, lowest layer first, the
// winner last.
struct TARNVFS_API OverlayConflict {
    std::string path;  // lower case, '\' separated, below the top
    std::vector<OverlayVersion> versions;
};

// Two names of one host folder layer that differ only in letter case: the
// first in host order serves, the other is hidden.
struct TARNVFS_API OverlayCaseClash {
    uint32_t layer = 0;
    std::string kept;    // as spelled, '\' separated, below the layer's top
    std::string hidden;  // as spelled
};

// Several layers (any file systems: archives, inner roots of archives, host
// folders, other overlays) seen as one read-only tree. The last layer added
// wins for a file; directories merge. Lookups and enumeration ignore ASCII
// letter case across every layer, as archives do. Where a path is a file in
// one layer and a directory in another, the higher layer's kind wins and
// everything of the other kind below it in lower layers is hidden (and
// reported in Conflicts()).
//
// The merged tree is indexed once, when a layer is added (an archive's
// tree is walked directly, every other layer's with FindFirst/FindNext):
// lookups afterwards cost one probe of one merged index, whatever the
// number of layers. A layer that changes afterwards (a host folder) is not
// looked at again, and a layer must not be closed or opened again while it
// is in an overlay.
//
// Within one layer the first of two names of one path serves, as the
// layer's own lookups find it: in an archive a directory before a file of
// its name and the first of repeated records; in a host folder the first in
// host order of names that differ only in case (reported in CaseClashes()).
// Symbolic links and special files of host folders are left out, since a
// held folder does not open them.
//
// Entry streams come from the winning layer and stay valid after the
// overlay is released (counted, as everywhere).
//
// Threads: once the layers are added, OpenFile, Serving, Versions and
// Conflicts may run on several threads at once (opening files in one host
// folder layer takes turns, since a host folder serves one thread at a
// time); one enumeration (FindFirst/FindNext) runs at a time; AddLayer and
// Close run alone.
class TARNVFS_API OverlayFileSystem : public FileSystem {
  public:
    OverlayFileSystem();
    ~OverlayFileSystem() override;

    // Adds `layer` above every layer added before. `name` is how reports
    // name it (the path the user gave). Fails, leaving the overlay as it
    // was, when the layer's tree cannot be walked (LastError says why).
    Result AddLayer(const FileSystemRef& layer, const std::string& name);
    // Opens the host path `path` as a layer and adds it: an archive file
    // (with an optional inner root after "*\"), or a host folder (held, so
    // that nothing swapped in beneath it is followed). On failure `why`
    // (when given) receives the reason, a clause that reads after the path
    // ("cannot be opened: no such file or directory", "is not a WAD
    // archive: ...").
    Result AddLayerPath(const char* path, ErrorReason* why = nullptr);

    uint32_t LayerCount() const;
    const std::string& LayerName(uint32_t layer) const;
    // The layer's own file system (for its records, e.g. an archive's
    // ReadRecord/GetArchiveIdentity).
    FileSystemRef Layer(uint32_t layer) const;

    // FileSystem: OpenFile opens the winning layer's file (read-only flags
    // only), with that layer's reason when it fails ("no such entry" where
    // no layer has the path, "is a directory" for a directory);
    // FindFirst/FindNext list each merged name once, sorted by its
    // lower-case form (a defined order), with the winning layer's size and
    // kind, spelled in lower case as archives report names; "." and ".."
    // are not listed. Patterns are "dir\*"-style as for
    // archives (the name part may hold * and ?). SetAttributes, Delete, Move
    // fail with UNSUPPORTED; CreateDirectory succeeds and does nothing, as
    // on an archive. ReadRecord forwards to the layer that serves the path
    // (and fails where it is not an archive). GetArchiveIdentity is the base
    // answer (it fails): an overlay shows several archives, which Layer()
    // gives one by one.
    Result OpenFile(StreamRef& out, const char* path, uint32_t flags, uint32_t reserved) override;
    Result FindFirst(const char* pattern, FindData* out) override;
    Result FindNext(FindData* out) override;
    Result SetAttributes(const char* path, uint32_t attributes) override;
    Result CreateDirectory(const char* path) override;
    Result Delete(const char* path) override;
    Result Move(const char* from, const char* to) override;
    void Close() override;
    // True for every directory of the merged tree: merged names are unique.
    bool ListsEachFileNameOnce(const char* directory) override;
    Result ReadRecord(const char* path, WadEntryRecord* out) override;

    // Provenance. The layer that serves `path` (a file or directory), and
    // how that layer spells it; -1 (NOT_FOUND) when no layer has it.
    Result Serving(const char* path, OverlayVersion* out) const;
    // Every layer that has `path`, lowest first (the winner last; for a
    // directory, every layer whose directory merges into it). A version
    // that a higher layer's other kind hides stays among them (the hidden
    // side of a kind clash); what lay beneath a hidden directory is gone
    // from the tree, and has no versions.
    std::vector<OverlayVersion> Versions(const char* path) const;
    // Every path that more than one layer supplies as a file, or as a file
    // in one and a directory in another, in the merged tree's path order.
    std::vector<OverlayConflict> Conflicts() const;
    // Names in host folder layers that differ only in case.
    const std::vector<OverlayCaseClash>& CaseClashes() const;

  private:
    struct Index;
    std::unique_ptr<Index> index;
};

}  // namespace vfs
