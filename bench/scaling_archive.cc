#include "bench/scaling_archive.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "vfs/wad/wad_writer.h"

namespace bench {

std::string ScalingEntryPath(uint32_t index, bool nested) {
    char path[64];
    if (nested) {
        const uint32_t directory = index / 100;
        std::snprintf(path, sizeof(path), "n%u\\n%u\\f%07u.dat", directory / 100, directory % 100,
                      index);
    } else {
        std::snprintf(path, sizeof(path), "flat\\f%07u.dat", index);
    }
    return path;
}

bool WriteScalingArchive(const std::string& path, uint32_t entries, bool nested, uint32_t changed) {
    vfs::WadWriter writer(2);
    std::vector<uint8_t> bytes;
    const uint32_t every = changed == 0 ? 0 : std::max<uint32_t>(1, entries / changed);
    for (uint32_t i = 0; i < entries; ++i) {
        const bool change = every != 0 && i % every == every / 2 && i / every < changed;
        bytes.assign(16 + i % 65, static_cast<uint8_t>(change ? 'Z' : 'a' + i % 26));
        if (writer.AddFile(ScalingEntryPath(i, nested).c_str(), bytes).Failed()) {
            return false;
        }
    }
    const std::vector<uint8_t> archive = writer.Finish();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(archive.data(), 1, archive.size(), file) == archive.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace bench
