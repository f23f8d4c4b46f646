// Host directories held open, under which names are resolved without ever
// following a symbolic link: what keeps a tree copy inside its output
// directory whatever another process does to the tree meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vfs/host/file_identity.h"

namespace vfs::host {

// A directory held open. Operations on a name in it act on that very
// directory, even when the path that led there has changed meanwhile, and
// never through a symbolic link (on Windows, a reparse point) in the name's
// place: a link there is refused (or, for a rename or a removal, acted on
// itself). On POSIX the directory is held as a descriptor and every call is
// relative to it; on Windows every directory from the one first opened down
// to this one is held without delete sharing, so that none of them can be
// renamed, removed or replaced while it is held, and calls go by path.
//
// Names given to the operations are single components that the host takes
// literally (see host_names.h); any other name fails. Copies share the held
// directory, which is let go with the last copy. Copies may be used from
// several threads at once.
class HeldDirectory {
  public:
    HeldDirectory() = default;

    // Opens and holds the directory at `path` (a library host path); links
    // on the way to it, and the last component itself, are followed as the
    // host follows them: this is the place the caller chose. Fails on
    // anything that is not a directory.
    bool Open(const char* path);
    // Opens and holds the directory `relative` beneath `base`: components
    // separated by "\" or "/", each an existing directory reached without
    // a link, none "." or ".."; an empty `relative` holds `base` again.
    // With the host's own error left for the failure (a link in the way
    // fails as ELOOP on POSIX, ERROR_CANT_ACCESS_FILE on Windows).
    bool OpenBeneath(const HeldDirectory& base, const char* relative);
    bool IsOpen() const { return node != nullptr; }
    // Whether a held directory, and every one above it up to the one first
    // opened, stays where it is while held (Windows), so that a path
    // resolved once keeps leading to it; on POSIX another process may move
    // it meanwhile.
    static bool StaysInPlace();
    void Close() { node.reset(); }
    // The directory's host path as it was opened (a library host path), for
    // messages and, on Windows, for the calls themselves.
    const std::string& Path() const;

    // Attributes of `name` in the directory, as host_directory.h gives them
    // for a path (a link: the reparse-point bit with the attributes of what
    // it leads to); INVALID_ATTRIBUTES when nothing has that name.
    uint32_t Attributes(const char* name) const;
    // The identity of `name` itself (a link's own, not its target's).
    bool Identity(const char* name, vfs::FileIdentity* out) const;
    // Creates the directory `name`; fails when anything has that name.
    bool MakeDirectory(const char* name) const;
    // Removes the file or link `name` (never a directory).
    bool RemoveFile(const char* name) const;
    // Removes the empty directory `name` (never a link to one).
    bool RemoveEmptyDirectory(const char* name) const;
    // Makes the names created, renamed or removed in the directory durable
    // on the disk where the host needs to be told (POSIX); Windows file
    // systems keep their own journal of names.
    bool Flush() const;
    // Applies the read-only bit to `name`, as SetPathAttributes does; fails
    // on a link.
    bool SetAttributes(const char* name, uint32_t attributes) const;
    // Renames `from` in `fromDirectory` to `to` in `toDirectory` (one
    // volume). Without `replace` it fails when anything has the name `to`;
    // with it, a file or link of that name is replaced at once (the link
    // itself), never a directory.
    static bool Rename(const HeldDirectory& fromDirectory, const char* from,
                       const HeldDirectory& toDirectory, const char* to, bool replace);

    // The host's handle of the directory (a descriptor on POSIX, a HANDLE
    // on Windows), valid while this object or a copy holds it; -1 when none
    // is held.
    intptr_t NativeHandle() const;

  private:
    struct Node;
    std::shared_ptr<const Node> node;
};

}  // namespace vfs::host
