#include "tools/pack/temporary_archive.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "tools/pack/host_reason.h"
#include "vfs/core/open_flags.h"

namespace tarnwad::pack {

namespace {

constexpr size_t kWriteBlock = 1 << 20;
// Names tried before the archive gives up.
constexpr int kTemporaryNameTries = 10;

}  // namespace

std::string TemporaryArchive::Create(const vfs::FileSystemRef& directory,
                                     const std::string& outputName) {
    Discard();
    fs = directory;
    name = outputName;
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameTries && out.Get() == nullptr; ++attempt) {
        char candidate[32];
        std::snprintf(candidate, sizeof(candidate), ".Tarnwad-%08X.tmp",
                      static_cast<unsigned>(random()));
        temporary = candidate;
        vfs::host::ClearLastError();
        fs.OpenFile(out, temporary.c_str(),
                    vfs::OPEN_WRITE | vfs::OPEN_CREATE | vfs::OPEN_CREATE_NEW, 0);
    }
    if (out.Get() == nullptr) {
        const std::string why = HostReason();
        temporary.clear();
        return "cannot be created in its directory" + why;
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
    if (!Drain() || out.Seek(0, vfs::SEEK_FROM_START) != 0) {
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
    const bool written = Drain() && out.Flush().Succeeded();
    if (!written) {
        const std::string why = HostReason();
        Discard();
        return "cannot be written" + (why.empty() ? " (disk full?)" : why);
    }
    out.Reset();
    // Without --force a file that appeared meanwhile is kept: the rename
    // refuses to replace anything.
    vfs::host::ClearLastError();
    const vfs::Result placed = force ? fs.Replace(temporary.c_str(), name.c_str())
                                     : fs.Move(temporary.c_str(), name.c_str());
    if (placed.Failed()) {
        const std::string why = HostReason();
        Discard();
        return "cannot be put in place" + why;
    }
    temporary.clear();
    return {};
}

void TemporaryArchive::Discard() {
    out.Reset();
    block.clear();
    if (!temporary.empty()) {
        fs.Delete(temporary.c_str());
        temporary.clear();
    }
}

bool TemporaryArchive::Put(const uint8_t* bytes, size_t size) {
    return out.Write(bytes, static_cast<int32_t>(size)) == static_cast<int32_t>(size);
}

}  // namespace tarnwad::pack
