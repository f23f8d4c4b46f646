// Loads arbitrary bytes as a WAD archive and walks the whole tree it gives:
// every directory enumerated, every entry filled into a FindData and looked
// up again by its exact path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "vfs/core/find_data.h"
#include "vfs/core/stream.h"
#include "vfs/core/stream_ref.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_finder.h"
#include "vfs/wad/wad_path_hash.h"

namespace {

// A read-only stream over the fuzzer's input.
class InputStream : public vfs::Stream {
  public:
    InputStream(const uint8_t* data, size_t size)
        : bytes(data), size(static_cast<int32_t>(std::min<size_t>(size, INT32_MAX))) {}

    int32_t Read(void* buffer, int32_t count) override {
        int32_t n = std::clamp(count, 0, std::max(size - position, 0));
        if (n > 0) {
            std::memcpy(buffer, bytes + position, static_cast<size_t>(n));
        }
        position += n;
        return n;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, int32_t origin) override {
        int64_t base = origin == vfs::SEEK_FROM_START     ? 0
                       : origin == vfs::SEEK_FROM_CURRENT ? position
                                                          : size;
        int64_t target = base + offset;
        if (target < 0 || target > INT32_MAX) {
            return -1;
        }
        position = static_cast<int32_t>(target);
        return position;
    }
    int32_t GetSize() override { return size; }
    int32_t Tell() override { return position; }

  private:
    const uint8_t* bytes;
    int32_t size;
    int32_t position = 0;
};

// Enumerates `dir` (a path ending in "\" or empty) and everything below it.
void Walk(vfs::WadDirectory& directory, const std::string& dir, int depth) {
    vfs::WadFinder finder;
    std::string pattern = dir + "*.*";
    finder.Start(directory, pattern.c_str());
    std::vector<std::string> subdirectories;
    for (; !finder.AtEnd(); finder.Advance()) {
        vfs::FindData data;
        if (finder.Fill(&data).Failed()) {
            continue;
        }
        if (finder.MatchedDirectory() != nullptr) {
            subdirectories.emplace_back(std::string(data.path) + "\\");
            continue;
        }
        // The exact lookup of a listed file finds a file, unless the record
        // carries a hash other than its path's.
        bool hashAgrees = finder.MatchedFile()->pathHash == vfs::WadPathHash(data.path);
        uint32_t recordOffset = 0;
        vfs::WadFinder exact;
        exact.Start(directory, data.path, &recordOffset);
        while (!exact.AtEnd() && exact.MatchedFile() == nullptr) {
            exact.Advance();
        }
        if (hashAgrees && exact.AtEnd()) {
            __builtin_trap();
        }
    }
    if (depth > 64) {
        return;
    }
    for (const std::string& sub : subdirectories) {
        Walk(directory, sub, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bool version2 = size >= 8 && data[4] == 2 && data[5] == 0 && data[6] == 0 && data[7] == 0;
    vfs::WadDirectory directory;
    // As the file system loads it, then reloaded the other way round: both
    // name layouts on every input, and a reload over a built tree.
    for (bool namesInTable : {version2, !version2}) {
        vfs::StreamRef archive;
        archive.Set(new InputStream(data, size));
        directory.Load(archive, namesInTable);
        Walk(directory, "", 0);
        vfs::FindData found;
        for (vfs::Result r = directory.FirstMatch("\\", &found); r.Succeeded();
             r = directory.NextMatch(&found)) {
        }
        for (const vfs::WadRejectedRecord& rejected : directory.RejectedRecords()) {
            if (vfs::WadRejectReasonText(rejected.reason) == nullptr) {
                __builtin_trap();
            }
        }
    }
    directory.Clear();
    return 0;
}
