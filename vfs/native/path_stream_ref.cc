#include "vfs/native/path_stream_ref.h"

#include "vfs/core/file_system_ref.h"
#include "vfs/core/vfs_string.h"
#include "vfs/host/lead_byte.h"

namespace vfs {

namespace {

// Index just after the separator that ends the directory part of `path`, or
// 0 when it has none. A '\' that is the second byte of a double-byte
// character is not a separator.
uint32_t DirectoryLength(const VfsString& path) {
    int32_t i = path.ReverseFindOneOf("\\/");
    while (i > 0 && host::IsLeadByte(static_cast<uint8_t>(path.data[i - 1]))) {
        i = path.ReverseFindOneOf("\\/", static_cast<uint32_t>(i - 1));
    }
    // A separator at index 0 names the root: the directory part is just it.
    return i < 0 ? 0 : static_cast<uint32_t>(i) + 1;
}

}  // namespace

Result PathStreamRef::OpenPath(const char* fullPath, uint32_t flags) {
    if (fullPath == nullptr) {
        return Result::Fail();
    }
    VfsString path(fullPath);
    uint32_t split = DirectoryLength(path);
    VfsString directory(path.Left(split));
    VfsString name(path.Mid(split));

    FileSystemRef fileSystem;
    if (fileSystem.OpenDirectory(directory.c_str()).Failed()) {
        return Result::Fail();
    }
    return fileSystem.OpenFile(*this, name.c_str(), flags, 0).Failed() ? Result::Fail()
                                                                       : Result::Ok();
}

}  // namespace vfs
