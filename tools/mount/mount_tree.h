// MountTree: the directories and files that `tarnwad mount` shows, looked up
// by path; built once when the archive is mounted and only read afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "vfs/core/file_system_ref.h"
#include "vfs/core/keyed_hash.h"
#include "vfs/overlay/overlay_file_system.h"
#include "vfs/wad/wad_entry_record.h"

namespace tarnwad::mount {

struct MountNode {
    // The node's path in the mount: "/" for the top, else "/" then the
    // components, "/" separated ("/maps/level1/layout.txt"). Points at the
    // tree's own copy.
    const std::string* path = nullptr;
    uint32_t parent = 0;
    bool directory = false;
    // Directories: the subdirectories, then the files, in the order of
    // `tarnwad unpack`'s walk; and how many of them are directories.
    std::vector<uint32_t> children;
    uint32_t subdirectories = 0;
    // Files: the bytes a read gives (the decoded size of a coded entry, the
    // stored size of a stored one), how its stored bytes are coded (never
    // REFUSED: refused entries are left out) and where they lie.
    uint64_t size = 0;
    vfs::WadCoding coding = vfs::WadCoding::STORED;
    uint32_t dataOffset = 0;
    uint32_t storedSize = 0;
    // Files of a layered mount: the layer that serves the file (0 without
    // layers), and whether it is read through that layer's own stream (a
    // file of a host folder) instead of as an archive entry.
    uint32_t layer = 0;
    bool layerStream = false;

    // The last component; empty for the top.
    std::string Name() const { return path->substr(path->rfind('/') + 1); }
};

class MountTree {
  public:
    // A tree of the top directory alone, index 0.
    MountTree();
    MountTree(const MountTree&) = delete;
    MountTree& operator=(const MountTree&) = delete;

    // Adds the directory at the archive path `path` ("\" or "/" separated,
    // relative to the top) with its missing parents, and gives its index; an
    // existing directory's index when there is one. A file in the place of a
    // component stays, and the directory is not added (~0u).
    uint32_t AddDirectory(const std::string& path);
    // Adds the file at the archive path `path` with the record it opens as,
    // its missing directories first. False, nothing added, when something of
    // that path is there already or a file holds the place of a directory.
    bool AddFile(const std::string& path, const vfs::WadEntryRecord& record, uint32_t layer = 0);
    // The same for a file of a host folder layer, read through its stream.
    bool AddStreamFile(const std::string& path, uint64_t size, uint32_t layer);

    // The node at the mount path `mountPath` ("/", "/maps/level1"), or null.
    const MountNode* Find(const char* mountPath) const;
    const MountNode& Node(uint32_t index) const { return nodes[index]; }
    uint32_t IndexOf(const MountNode& node) const {
        return static_cast<uint32_t>(&node - nodes.data());
    }
    size_t NodeCount() const { return nodes.size(); }
    uint32_t FileCount() const { return files; }
    // Directories below the top.
    uint32_t DirectoryCount() const { return static_cast<uint32_t>(nodes.size()) - files - 1; }

    // The node's path as the archive's file system takes it
    // ("maps\level1\layout.txt"; empty for the top).
    std::string ArchivePath(uint32_t index) const;

  private:
    uint32_t Add(std::string mountPath, uint32_t parent, bool directory);
    // Adds the file node of `path` with its missing directories; ~0u when
    // something holds its place.
    uint32_t AddFileNode(const std::string& path);

    // Keys stay where they are while the table grows: nodes point at them.
    // Keyed: with the standard hash, whose seed is fixed, paths can be
    // chosen that all hash alike, and every lookup would compare them all.
    std::unordered_map<std::string, uint32_t, vfs::KeyedStringHash> table;
    std::vector<MountNode> nodes;
    uint32_t files = 0;
};

// A file the mount leaves out, and why, in the words unpack gives.
struct LeftOutFile {
    std::string path;
    std::string reason;

    bool operator==(const LeftOutFile&) const = default;
};

// What the mount leaves out of an archive, as `tarnwad unpack` leaves it
// out: archive paths, "\" separated.
struct MountTreeReport {
    std::vector<std::string> refused;  // entries the archive refuses to open
    std::vector<std::string> unsafe;   // names that cannot be one host path component
    std::vector<std::string> hidden;   // later records of a path an earlier record gives
    // Files whose path does not open them: a directory of the path is found
    // first, or the record's path hash is not the hash of its path.
    std::vector<LeftOutFile> unreachable;
};

// Fills `tree` with what `tarnwad unpack` would write of `source`, an
// archive's file system (opened below an inner root when only a sub-tree is
// wanted): the same walk (TreeWalk), so the same directories, empty ones
// included, and the same files, each with the record that opening its path
// reads. Entries the archive refuses, unsafe names, hidden later records of
// one path and files their path does not open are left out and listed in
// `report`. When `source` is `overlay` (layers over an archive), each file
// comes from the layer that serves it: an archive layer's with the record
// that layer reads, a host folder's at its size, read through its stream.
void BuildMountTree(vfs::FileSystemRef& source, MountTree& tree, MountTreeReport& report,
                    const vfs::OverlayFileSystem* overlay = nullptr);

}  // namespace tarnwad::mount
