#include "app/output_name.h"

#include "vfs/host/host_names.h"

namespace tarnwad {

std::string OutputDirectoryName(const std::string& fileName, std::string* why) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        *why = "no output directory name can be made from the archive's name";
        return {};
    }
    std::string name = fileName.substr(0, dot);
    if (const char* unusable = vfs::host::UnusableNameReason(name.c_str())) {
        *why = "no output directory can be made from the archive's name: it would be named \"" +
               name + "\" (" + unusable + "); rename the archive";
        return {};
    }
    return name;
}

}  // namespace tarnwad
