#include "app/dry_run_file_system.h"

#include <cstdint>

#include "vfs/core/find_data.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"

namespace tarnwad {

namespace {

// Takes every byte written to it and keeps none.
class DiscardingStream : public vfs::Stream {
  public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override {
        if (count > 0) {
            size += static_cast<uint32_t>(count);
        }
        return count > 0 ? count : 0;
    }
    int32_t Seek(int32_t, int32_t) override { return -1; }
    int32_t GetSize() override { return size <= INT32_MAX ? static_cast<int32_t>(size) : -1; }
    int32_t Tell() override { return GetSize(); }
    int64_t GetSize64() override { return static_cast<int64_t>(size); }
    int64_t Tell64() override { return static_cast<int64_t>(size); }
    vfs::Result Flush() override { return vfs::Result::Ok(); }

  private:
    uint64_t size = 0;
};

}  // namespace

DryRunFileSystem::DryRunFileSystem(const vfs::FileSystemRef& output) : existing(output) {}

bool DryRunFileSystem::Taken(const std::string& path) {
    if (files.count(path) != 0 || directories.count(path) != 0) {
        return true;
    }
    vfs::FindData found;
    return existing.FindFirst(path.c_str(), &found).Succeeded();
}

vfs::Result DryRunFileSystem::OpenFile(vfs::StreamRef& out, const char* path, uint32_t flags,
                                       uint32_t) {
    const uint32_t createNew = vfs::OPEN_CREATE | vfs::OPEN_CREATE_NEW;
    if (out.Get() != nullptr || path == nullptr || (flags & createNew) != createNew ||
        Taken(path)) {
        return vfs::Result::Fail();
    }
    files.insert(path);
    out.Set(new DiscardingStream());
    return vfs::Result::Ok();
}

vfs::Result DryRunFileSystem::FindFirst(const char* pattern, vfs::FindData* out) {
    if (pattern == nullptr || vfs::PrepareFindData(out, pattern).Failed()) {
        return vfs::Result::Fail();
    }
    if (directories.count(pattern) != 0) {
        out->attributes = vfs::FILE_ATTRIBUTE_DIRECTORY;
        return vfs::Result::Ok();
    }
    if (files.count(pattern) != 0) {
        out->attributes = 0x80;  // a plain file
        return vfs::Result::Ok();
    }
    return existing.FindFirst(pattern, out);
}

vfs::Result DryRunFileSystem::FindNext(vfs::FindData*) {
    return vfs::Result::Fail();
}

vfs::Result DryRunFileSystem::SetAttributes(const char*, uint32_t) {
    return vfs::Result::Fail();
}

vfs::Result DryRunFileSystem::CreateDirectory(const char* path) {
    if (path == nullptr || Taken(path)) {
        return vfs::Result::Fail();
    }
    directories.insert(path);
    return vfs::Result::Ok();
}

vfs::Result DryRunFileSystem::Delete(const char* path) {
    return path != nullptr && files.erase(path) != 0 ? vfs::Result::Ok() : vfs::Result::Fail();
}

vfs::Result DryRunFileSystem::Move(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || files.count(from) == 0 || Taken(to)) {
        return vfs::Result::Fail();
    }
    files.erase(from);
    files.insert(to);
    placed.emplace_back(to);
    return vfs::Result::Ok();
}

vfs::Result DryRunFileSystem::Replace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || files.count(from) == 0 || directories.count(to) != 0) {
        return vfs::Result::Fail();
    }
    files.erase(from);
    files.insert(to);
    placed.emplace_back(to);
    return vfs::Result::Ok();
}

vfs::Result DryRunFileSystem::GetFileIdentity(const char* path, vfs::FileIdentity* out) {
    if (path == nullptr || files.count(path) != 0 || directories.count(path) != 0) {
        return vfs::Result::Fail();
    }
    return existing.GetFileIdentity(path, out);
}

}  // namespace tarnwad
