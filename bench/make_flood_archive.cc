// make_flood_archive PATH KIND COUNT [LENGTH]: writes an archive of COUNT
// names of KIND (ordinary, wad-index, walk-set, mount-table, keyless-index) in one
// directory, for timing the tool on names chosen to collide; ordinary names
// are LENGTH bytes long (72 unless given).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/flood_archive.h"

int main(int argc, char** argv) {
    bench::FloodKind kind;
    if ((argc != 4 && argc != 5) || !bench::ParseFloodKind(argv[2], &kind)) {
        std::fprintf(stderr,
                     "usage: make_flood_archive PATH "
                     "ordinary|wad-index|walk-set|mount-table|keyless-index COUNT [LENGTH]\n");
        return 2;
    }
    const auto count = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const auto length = static_cast<uint32_t>(argc == 5 ? std::strtoul(argv[4], nullptr, 10) : 72);
    const std::vector<std::string> names = bench::FloodNames(kind, count, length);
    if (names.size() != count) {
        std::fprintf(stderr, "make_flood_archive: cannot make %u names of that kind here\n", count);
        return 1;
    }
    if (!bench::WriteFloodArchive(argv[1], names)) {
        std::fprintf(stderr, "make_flood_archive: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
