// PathStreamRef: a stream handle that opens a host file by its full path.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/result.h"
#include "vfs/core/stream_ref.h"

namespace vfs {

class TARNVFS_API PathStreamRef : public StreamRef {
  public:
    PathStreamRef() = default;

    // Opens the host file `fullPath` with the open-flags word `flags`
    // through a short-lived NativeFileSystem on the file's directory (the
    // text up to and including the last separator; the base directory when
    // there is none). The stream opened lives on in this handle after that
    // file system is gone. Fails when the handle already holds a stream, or
    // when either the directory or the file cannot be opened.
    virtual Result OpenPath(const char* fullPath, uint32_t flags);
};

}  // namespace vfs
