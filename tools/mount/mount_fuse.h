// The FUSE side of `tarnwad mount` and `tarnwad umount`. Its one source,
// mount_fuse.cc, is the only file of the tool that includes FUSE's header
// (its low-level interface, where nodes are known by number rather than by
// path) and the POSIX headers that daemonising needs; it is built only where
// libfuse3 is found, which defines TARNWAD_HAVE_FUSE for the tool.
#pragma once

#include <string>

#include "tools/mount/mount_reader.h"
#include "tools/mount/mount_tree.h"

namespace tarnwad::mount {

struct MountSetup {
    std::string shownArchive;    // the archive as the user typed it, for messages
    std::string fileSystemName;  // what `mount` and `df` show as the source
    std::string archivePath;     // absolute host path of the archive file: its times
    std::string mountPoint;      // absolute host path of the empty directory
    bool foreground = false;
    // When not empty, a file that gets one line of the cache's figures when
    // the mount ends (TARNWAD_MOUNT_STATS).
    std::string statsFile;
    const MountTree* tree = nullptr;
    MountReader* reader = nullptr;
};

// Why the FUSE device cannot be used, in plain words ("/dev/fuse cannot be
// opened: ..."), or empty when it opens. The FUSE library opens it itself,
// for every user, before it turns to fusermount3 to mount.
std::string FuseDeviceProblem();

// Mounts `setup.tree` on `setup.mountPoint` (read-only, multi-threaded) and
// serves it until it is unmounted or the process gets SIGINT, SIGTERM or
// SIGHUP, then unmounts. In the background (not `foreground`) the process
// forks first: the parent returns kExitSuccess only once the mount has
// answered the kernel, or the child's failure; the child leaves the
// terminal's session, works from "/" with its standard streams on /dev/null,
// and returns when the mount ends. Returns the exit code for the calling
// process.
int ServeMount(const MountSetup& setup);

// The mount point as the kernel records the mount (/proc/self/mountinfo):
// absolute, with the symbolic links on its way resolved, the point itself
// included when it is a link. Mount and umount both take this path, so that
// umount finds what mount mounted through a link. What a mount point leads
// to is never looked into, so a dead mount resolves too.
std::string ResolveMountPoint(const std::string& mountPoint);

// Unmounts the tarnwad mount at `mountPoint` (through fusermount3 -u, or
// umount(2) itself where there is no fusermount3 and it may). Empty on
// success, otherwise why not, in plain words.
std::string UnmountDirectory(const std::string& mountPoint);

}  // namespace tarnwad::mount
