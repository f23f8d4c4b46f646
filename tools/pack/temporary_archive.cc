#include "tools/pack/temporary_archive.h"

#include <algorithm>

#include "vfs/core/open_flags.h"
#include "vfs/host/host_error.h"

namespace tarnwad::pack {

namespace {

constexpr size_t kWriteBlock = 1 << 20;

}  // namespace

std::string TemporaryArchive::Create(const vfs::FileSystemRef& directory,
                                     const std::string& outputName) {
    Discard();
    vfs::FileSystemRef where = directory;
    // Readable too, so that an archive for standard output can be copied out.
    if (file.Create(where, outputName, vfs::OPEN_READ).Failed()) {
        return "cannot be created in its directory" + vfs::host::LastErrorSuffix();
    }
    return {};
}

bool TemporaryArchive::Append(const uint8_t* bytes, size_t size) {
    if (block.size() + size <= kWriteBlock) {
        block.insert(block.end(), bytes, bytes + size);
        return true;
    }
    if (!Drain()) {
        return false;
    }
    for (size_t done = 0; done < size;) {
        const size_t chunk = std::min(size - done, kWriteBlock);
        if (chunk < kWriteBlock) {
            block.assign(bytes + done, bytes + done + chunk);
        } else if (!Put(bytes + done, chunk)) {
            return false;
        }
        done += chunk;
    }
    return true;
}

bool TemporaryArchive::Drain() {
    const bool put = block.empty() || Put(block.data(), block.size());
    block.clear();
    return put;
}

bool TemporaryArchive::WriteFromStart(const uint8_t* bytes, size_t size) {
    if (!Drain() || file.Stream().Seek(0, vfs::SEEK_FROM_START) != 0) {
        return false;
    }
    for (size_t done = 0; done < size; done += kWriteBlock) {
        if (!Put(bytes + done, std::min(size - done, kWriteBlock))) {
            return false;
        }
    }
    return true;
}

std::string TemporaryArchive::Commit(bool force) {
    vfs::host::ClearLastError();
    const bool written = Drain() && file.Stream().Flush().Succeeded();
    if (!written) {
        const std::string why = vfs::host::LastErrorSuffix();
        Discard();
        return "cannot be written" + (why.empty() ? " (disk full?)" : why);
    }
    // Without --force a file that appeared meanwhile is kept: the rename
    // refuses to replace anything.
    vfs::host::ClearLastError();
    if (file.PutInPlace(force).Failed()) {
        const std::string why = vfs::host::LastErrorSuffix();
        Discard();
        return "cannot be put in place" + why;
    }
    return {};
}

std::string TemporaryArchive::CopyOut(std::FILE* out) {
    vfs::host::ClearLastError();
    if (!Drain() || file.Stream().Seek(0, vfs::SEEK_FROM_START) != 0) {
        const std::string why = vfs::host::LastErrorSuffix();
        Discard();
        return "cannot be written: its temporary file cannot be written" +
               (why.empty() ? " (disk full?)" : why);
    }
    block.resize(kWriteBlock);
    for (;;) {
        vfs::host::ClearLastError();
        const int32_t n = file.Stream().Read(block.data(), static_cast<int32_t>(block.size()));
        if (n < 0) {
            const std::string why = vfs::host::LastErrorSuffix();
            Discard();
            return "cannot be written: its temporary file cannot be read back" + why;
        }
        if (n == 0) {
            break;
        }
        if (std::fwrite(block.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
            Discard();
            return "cannot be written";
        }
    }
    Discard();
    return std::fflush(out) == 0 ? std::string() : "cannot be written";
}

void TemporaryArchive::Discard() {
    block.clear();
    file.Discard();
}

bool TemporaryArchive::Put(const uint8_t* bytes, size_t size) {
    return file.Stream().Write(bytes, static_cast<int32_t>(size)) == static_cast<int32_t>(size);
}

}  // namespace tarnwad::pack
