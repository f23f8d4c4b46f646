// The status value that library operations return.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"

namespace vfs {

// One signed 32-bit status. The library itself produces only 0 (success) and
// -1 (failure); any non-negative value reads as success and any negative one
// as failure. A Result carries no detail beyond its sign.
class TARNVFS_API Result {
  public:
    constexpr Result() : status(0) {}
    constexpr Result(int32_t value) : status(value) {}  // NOLINT: implicit by design

    static constexpr Result Ok() { return Result(0); }
    static constexpr Result Fail() { return Result(-1); }

    constexpr bool Succeeded() const { return status >= 0; }
    constexpr bool Failed() const { return status < 0; }

    friend constexpr bool operator==(Result a, Result b) { return a.status == b.status; }

    int32_t status;
};

}  // namespace vfs
