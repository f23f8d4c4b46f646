#include "vfs/core/find_data.h"

#include <cstring>

namespace vfs {

Result PrepareFindData(FindData* out, const char* pattern) {
    size_t n = std::strlen(pattern);
    if (n >= sizeof(out->path)) {
        out->path[0] = '\0';
        out->name = out->path;
        return Result::Fail();
    }
    std::memcpy(out->path, pattern, n + 1);
    size_t nameStart = n;
    while (nameStart > 0 && pattern[nameStart - 1] != '\\' && pattern[nameStart - 1] != '/') {
        --nameStart;
    }
    out->name = out->path + nameStart;
    return Result::Ok();
}

Result StoreFoundName(FindData* out, const char* entryName) {
    size_t room = sizeof(out->path) - static_cast<size_t>(out->name - out->path);
    size_t n = std::strlen(entryName);
    if (n >= room) {
        return Result::Fail();
    }
    std::memcpy(out->name, entryName, n + 1);
    return Result::Ok();
}

}  // namespace vfs
