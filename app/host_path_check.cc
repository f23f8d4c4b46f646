#include "app/host_path_check.h"

#include "vfs/host/host_path.h"

namespace tarnwad {

std::string UnusableHostPath(const std::string& path, bool isArchive) {
    if (vfs::host::HostReadsBackslashAsSeparator()) {
        return {};
    }
    if (path.find('\\') != std::string::npos) {
        return "its path holds a \"\\\", which this system keeps in names but the archive "
               "library reads as a separator; rename it to use it";
    }
    if (isArchive && path.find("*/") != std::string::npos) {
        return "its path holds \"*/\", which the archive library reads as the separator of a "
               "path inside an archive; rename it to use it";
    }
    return {};
}

vfs::Result OpenUserArchive(vfs::FileSystemRef& archive, const std::string& path,
                            std::string* refusal) {
    refusal->clear();
    if (std::string unusable = UnusableHostPath(path, true); !unusable.empty()) {
        archive.Reset();
        *refusal = std::move(unusable);
        return vfs::Result::Fail();
    }
    return archive.OpenArchive(path.c_str(), 0);
}

}  // namespace tarnwad
