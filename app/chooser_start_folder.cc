#include "app/chooser_start_folder.h"

#include "app/host_path_check.h"
#include "vfs/core/path_resolution.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_limits.h"
#include "vfs/host/host_path.h"

namespace tarnwad {

namespace {

bool IsExistingFolder(const std::string& folder) {
    char fullPath[vfs::HOST_MAX_PATH];
    if (vfs::ResolvePath(fullPath, sizeof(fullPath), folder.c_str()).Failed()) {
        return false;
    }
    uint32_t attributes = vfs::host::GetPathAttributes(fullPath);
    return attributes != vfs::host::INVALID_ATTRIBUTES &&
           (attributes & vfs::host::ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::string ChooserStartFolder(const std::string& currentPath, const std::string& homeFolder) {
    const char* separators = vfs::host::HostReadsBackslashAsSeparator() ? "\\/" : "/";
    size_t last = currentPath.find_last_of(separators);
    if (last == std::string::npos) {
        return homeFolder;
    }
    std::string folder = currentPath.substr(0, last);
    // A root keeps its separator: "/" rather than "", "C:\" rather than "C:".
    if (folder.empty() || folder.back() == ':') {
        folder = currentPath.substr(0, last + 1);
    }
    if (!UnusableHostPath(folder, false).empty() || !IsExistingFolder(folder)) {
        return homeFolder;
    }
    return folder;
}

}  // namespace tarnwad
