// FileSystemRef::OpenArchive: opens a WadFileSystem into a handle.
#include "vfs/core/file_system_ref.h"
#include "vfs/core/last_error.h"
#include "vfs/wad/wad_file_system.h"

namespace vfs {

Result FileSystemRef::OpenArchive(const char* path, uint32_t flags) {
    Reset();
    auto* archiveFileSystem = new WadFileSystem();
    if (archiveFileSystem->Open(path, flags).Failed()) {
        delete archiveFileSystem;
        return Result::Fail();
    }
    Set(archiveFileSystem);
    return Result::Ok();
}

Result FileSystemRef::OpenArchive(const char* path, uint32_t flags, ErrorReason* why) {
    ClearLastError();
    const Result result = OpenArchive(path, flags);
    if (why != nullptr) {
        *why = result.Failed() ? LastError() : ErrorReason();
    }
    return result;
}

}  // namespace vfs
