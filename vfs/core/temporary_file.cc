#include "vfs/core/temporary_file.h"

#include <atomic>
#include <cstdio>
#include <random>

#include "vfs/core/last_error.h"
#include "vfs/host/host_error.h"

namespace vfs {

namespace {

// Names tried for one temporary file before giving up.
constexpr int kNameTries = 8;

// The next temporary file name. The count, begun at a random place, keeps
// the threads of one process, and mostly other processes, apart.
std::string NextLeafName() {
    static std::atomic<uint32_t> counter{std::random_device{}()};
    char name[32];
    std::snprintf(name, sizeof(name), ".Tarnwad-%08X.tmp", counter.fetch_add(1));
    return name;
}

// The next temporary name in the directory of `path`.
std::string NextName(const std::string& path) {
    const size_t cut = path.rfind('\\');
    return (cut == std::string::npos ? std::string() : path.substr(0, cut + 1)) + NextLeafName();
}

}  // namespace

Result TemporaryFile::Create(FileSystemRef& where, const std::string& finalPath, uint32_t flags) {
    Discard();
    fileSystem = where;
    path = finalPath;
    unnamed = false;
    const uint32_t createNew = OPEN_WRITE | OPEN_CREATE | OPEN_CREATE_NEW | flags;
    for (int tries = 0; stream.Get() == nullptr && tries < kNameTries; ++tries) {
        temporary = NextName(path);
        host::ClearLastError();
        fileSystem.OpenFile(stream, temporary.c_str(), createNew, 0);
    }
    if (stream.Get() == nullptr) {
        temporary.clear();
        return Result::Fail();
    }
    return Result::Ok();
}

Result TemporaryFile::CreateUnnamedWherePossible(FileSystemRef& where, const std::string& finalPath,
                                                 uint32_t flags) {
    Discard();
    for (int tries = 0; tries < kNameTries; ++tries) {
        const std::string provisional = NextLeafName();
        ClearLastError();
        if (where.CreateUnnamedFile(stream, finalPath.c_str(), provisional.c_str()).Succeeded()) {
            fileSystem = where;
            path = finalPath;
            unnamed = true;
            return Result::Ok();
        }
        if (LastError().code == ErrorCode::UNSUPPORTED) {
            break;
        }
    }
    // Where the host cannot (or something is wrong, which an ordinary file
    // tells with its reason): a file under a temporary name.
    return Create(where, finalPath, flags);
}

Result TemporaryFile::PutInPlace(bool replace, StreamRef* stillOpen) {
    if (unnamed && stream.Get() != nullptr) {
        host::ClearLastError();
        if (fileSystem.NameUnnamedFile(stream, path.c_str()).Succeeded()) {
            if (stillOpen != nullptr && stillOpen->Get() == nullptr) {
                stillOpen->Set(stream.Get());
            }
            stream.Reset();
            return Result::Ok();
        }
        if (!replace) {
            return Result::Fail();
        }
        // The name is taken: the file gets a temporary name of its own, and
        // that is renamed over the one in the way.
        for (int tries = 0; temporary.empty() && tries < kNameTries; ++tries) {
            const std::string name = NextName(path);
            if (fileSystem.NameUnnamedFile(stream, name.c_str()).Succeeded()) {
                temporary = name;
            }
        }
        if (temporary.empty()) {
            return Result::Fail();
        }
    }
    stream.Reset();
    if (temporary.empty()) {
        return Result::Fail();
    }
    const Result placed = replace ? fileSystem.Replace(temporary.c_str(), path.c_str())
                                  : fileSystem.Move(temporary.c_str(), path.c_str());
    if (placed.Succeeded()) {
        temporary.clear();
    }
    return placed;
}

void TemporaryFile::Discard() {
    stream.Reset();
    if (!temporary.empty()) {
        fileSystem.Delete(temporary.c_str());
        temporary.clear();
    }
}

}  // namespace vfs
