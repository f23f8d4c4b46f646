// pack(): `tarnwad pack` for Python.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/pack_job.h"

namespace tarnvfs_python {

struct PackResult {
    uint32_t files = 0;
    uint64_t bytesPacked = 0;
    uint64_t archiveSize = 0;
    std::vector<std::string> warnings;          // what was skipped, and why
    std::vector<std::string> emptyDirectories;  // not packed: archives hold only files
};

// Runs `request` as `tarnwad pack` does; raises PackError with what the
// tool would say when no archive is written.
PackResult Pack(tarnwad::pack::PackRequest request);

}  // namespace tarnvfs_python
