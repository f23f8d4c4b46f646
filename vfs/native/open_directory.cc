// FileSystemRef::OpenDirectory, defined with the file system it creates.
#include "vfs/core/file_system_ref.h"
#include "vfs/native/native_file_system.h"

namespace vfs {

Result FileSystemRef::OpenDirectory(const char* path) {
    Reset();
    auto* fileSystem = new NativeFileSystem();
    if (fileSystem->Open(path).Failed()) {
        // Never counted: destroyed directly, leaving the handle empty.
        delete fileSystem;
        return Result::Fail();
    }
    Set(fileSystem);
    return Result::Ok();
}

}  // namespace vfs
