#include "bench/flood_archive.h"

#include <cstdio>
#include <utility>

#include "bench/colliding_names.h"
#include "vfs/wad/wad_writer.h"

namespace bench {

bool ParseFloodKind(const std::string& text, FloodKind* kind) {
    static const std::pair<const char*, FloodKind> kinds[] = {
        {"ordinary", FloodKind::kOrdinary},          {"wad-index", FloodKind::kWadIndex},
        {"walk-set", FloodKind::kWalkSet},           {"mount-table", FloodKind::kMountTable},
        {"keyless-index", FloodKind::kKeylessIndex},
    };
    for (const auto& [name, value] : kinds) {
        if (text == name) {
            *kind = value;
            return true;
        }
    }
    return false;
}

std::vector<std::string> FloodNames(FloodKind kind, uint32_t count, uint32_t ordinaryLength) {
    switch (kind) {
        case FloodKind::kOrdinary:
            return OrdinaryNames(count, ordinaryLength, 0x0D1);
        case FloodKind::kWadIndex:
            return FnvCollidingNames(count, kFnv1a32);
        case FloodKind::kWalkSet:
            return FnvCollidingNames(count, kFnv1a64Low);
        case FloodKind::kMountTable:
            return StdHashCollidingNames(
                count, static_cast<uint32_t>((std::string("/") + kFloodDirectory + "/").size()));
        case FloodKind::kKeylessIndex: {
            uint32_t bits = 0;
            while ((uint32_t{1} << bits) < IndexSlots(count)) {
                ++bits;
            }
            return SipHashCollidingNames(count, FnvCollidingNameLength(count), vfs::HashKey{},
                                         bits);
        }
    }
    return {};
}

uint32_t IndexSlots(uint32_t count) {
    uint32_t slots = 32;
    while (slots < 2 * count) {
        slots *= 2;
    }
    return slots;
}

bool WriteFloodArchive(const std::string& path, const std::vector<std::string>& names) {
    vfs::WadWriter writer(2);
    const uint8_t byte = 'x';
    const std::string directory = std::string(kFloodDirectory) + "\\";
    for (const std::string& name : names) {
        if (writer.AddFile((directory + name).c_str(), &byte, 1).Failed()) {
            return false;
        }
    }
    if (!names.empty() && writer.AddFile((directory + names.front()).c_str(), &byte, 1).Failed()) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const std::vector<uint8_t> archive = writer.Finish();
    const bool written = std::fwrite(archive.data(), 1, archive.size(), file) == archive.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace bench
