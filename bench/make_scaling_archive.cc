// make_scaling_archive PATH ENTRIES flat|nested [CHANGED]: writes an archive
// of ENTRIES small stored entries for the scaling runs; with CHANGED, that
// many of them hold other bytes (for timing diff).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/scaling_archive.h"

int main(int argc, char** argv) {
    if ((argc != 4 && argc != 5) ||
        (std::strcmp(argv[3], "flat") != 0 && std::strcmp(argv[3], "nested") != 0)) {
        std::fprintf(stderr, "usage: make_scaling_archive PATH ENTRIES flat|nested [CHANGED]\n");
        return 2;
    }
    const unsigned long entries = std::strtoul(argv[2], nullptr, 10);
    const unsigned long changed = argc == 5 ? std::strtoul(argv[4], nullptr, 10) : 0;
    if (!bench::WriteScalingArchive(argv[1], static_cast<uint32_t>(entries),
                                    std::strcmp(argv[3], "nested") == 0,
                                    static_cast<uint32_t>(changed))) {
        std::fprintf(stderr, "make_scaling_archive: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
