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

Result FileSystemRef::OpenHeldDirectory(const char* path) {
    Reset();
    auto* fileSystem = new NativeFileSystem();
    if (fileSystem->OpenHeld(path).Failed()) {
        delete fileSystem;
        return Result::Fail();
    }
    Set(fileSystem);
    return Result::Ok();
}

Result FileSystemRef::OpenHeldDirectory(FileSystemRef& base, const char* relative) {
    // `base` may be this very handle: it is kept until the new one is open.
    FileSystemRef keep(base);
    auto* held = dynamic_cast<NativeFileSystem*>(keep.Get());
    Reset();
    if (held == nullptr) {
        return Result::Fail();
    }
    auto* fileSystem = new NativeFileSystem();
    if (fileSystem->OpenHeld(*held, relative).Failed()) {
        delete fileSystem;
        return Result::Fail();
    }
    Set(fileSystem);
    return Result::Ok();
}

}  // namespace vfs
