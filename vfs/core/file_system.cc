#include "vfs/core/file_system.h"

#include "vfs/core/bounded_string.h"
#include "vfs/core/counted.h"
#include "vfs/core/last_error.h"

namespace vfs {

Result FileSystem::GetFullPath(VfsString& out, const VfsString& relative) {
    // `relative` may be `out` itself: join into a fresh string first.
    VfsString joined(rootPath);
    joined.Append(relative);
    out.Assign(joined);
    return Result::Ok();
}

Result FileSystem::GetFullPathBuffer(char* buffer, const char* relative, uint32_t bufferSize) {
    BoundedString text(buffer, bufferSize, true);
    text.Assign(rootPath.c_str());
    bool cut = text.overflow != 0;
    text.Append(relative);
    cut = cut || text.overflow != 0;
    return cut ? Result::Fail() : Result::Ok();
}

namespace {

// What the operations a file system does not override answer.
Result Unsupported() {
    SetLastError(ErrorCode::UNSUPPORTED, "is not supported by this file system");
    return Result::Fail();
}

}  // namespace

Result FileSystem::Replace(const char* /*from*/, const char* /*to*/) {
    return Unsupported();
}

Result FileSystem::CreateUnnamedFile(StreamRef& /*out*/, const char* /*path*/,
                                     const char* /*provisional*/) {
    return Unsupported();
}

Result FileSystem::NameUnnamedFile(StreamRef& /*file*/, const char* /*path*/) {
    return Unsupported();
}

bool FileSystem::ListsEachFileNameOnce(const char* /*directory*/) {
    return false;
}

Result FileSystem::GetFileIdentity(const char* /*path*/, FileIdentity* /*out*/) {
    return Unsupported();
}

const char* FileSystem::GetRootPath() {
    return rootPath.c_str();
}

void FileSystem::SetParent(FileSystem* p) {
    if (parent != nullptr) {
        p->SetParent(parent);
    }
    parent = p;
}

int32_t FileSystem::AddRef() {
    return AddRefCounted(refCount);
}

int32_t FileSystem::Release() {
    return ReleaseCounted(this, refCount, parent);
}

Result FileSystem::GetArchiveIdentity(FileIdentity* /*out*/) {
    return Unsupported();
}

const std::vector<WadRejectedRecord>* FileSystem::GetRejectedRecords() {
    return nullptr;
}

Result FileSystem::ReadRecord(const char* /*path*/, WadEntryRecord* /*out*/) {
    return Unsupported();
}

}  // namespace vfs
