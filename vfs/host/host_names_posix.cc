#include "vfs/host/host_names.h"

#include <cstring>

namespace vfs::host {

const char* UnusableNameReason(const char* name) {
    if (name == nullptr || name[0] == '\0') {
        return "the name is empty";
    }
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
        return "\".\" and \"..\" name no new entry";
    }
    if (std::strpbrk(name, "/\\") != nullptr) {
        return "the name holds a separator";
    }
    return nullptr;
}

bool HostFoldsNames() {
    return false;
}

std::string HostNameKey(const char* name) {
    return name;
}

}  // namespace vfs::host
