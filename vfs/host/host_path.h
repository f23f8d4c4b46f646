// Host paths as the host's own calls want them.
#pragma once

#include <cstdint>

#include "vfs/host/host_limits.h"

namespace vfs::host {

// The library writes host paths with '\' and '/' as separators. A HostPath is
// the same path in the form the host's file calls take: on POSIX hosts every
// '\' becomes '/'. A path that does not fit in HOST_MAX_PATH bytes (NUL
// included), or a null path, is not valid: it is refused, never cut, since a
// cut path would name another file.
class HostPath {
  public:
    explicit HostPath(const char* path);
    HostPath(const HostPath&) = delete;
    HostPath& operator=(const HostPath&) = delete;

    bool IsValid() const { return valid; }
    // The converted text; empty when the path is not valid.
    const char* c_str() const { return text; }

  private:
    bool valid = false;
    char text[HOST_MAX_PATH] = {};
};

// Whether the host's own calls read "\" as a separator, as the library
// does (Windows). Where they do not (POSIX), "\" is an ordinary character of
// names, and a path a user gives that holds one would name another file once
// the library has read it.
bool HostReadsBackslashAsSeparator();

}  // namespace vfs::host
