#include "app/host_path_check.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "vfs/core/last_error.h"
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

std::string InnerRootRefusal(const std::string& path) {
    size_t separator = path.find("*/");
    if (vfs::host::HostReadsBackslashAsSeparator()) {
        separator = std::min(separator, path.find("*\\"));
    }
    std::error_code error;
    if (separator == std::string::npos || std::filesystem::exists(path, error)) {
        return {};
    }
    return std::filesystem::is_regular_file(path.substr(0, separator), error)
               ? "cannot be opened: ARCHIVE*/DIR, a directory inside an archive, is taken only "
                 "by mount and --layer; give the archive, and DIR as a pattern"
               : "cannot be opened: no such file";
}

vfs::Result OpenUserArchive(vfs::WadFileSystem& archive, const std::string& path,
                            std::string* why) {
    why->clear();
    if (std::string unusable = UnusableHostPath(path, true); !unusable.empty()) {
        *why = "cannot be opened: " + unusable;
        if (std::string refusal = InnerRootRefusal(path); !refusal.empty()) {
            *why = refusal;
        }
        return vfs::Result::Fail();
    }
    if (path.empty()) {
        *why = "cannot be opened: no path was given";
        return vfs::Result::Fail();
    }
    if (archive.Open(path.c_str(), 0).Failed()) {
        const std::string& reason = vfs::LastError().text;
        *why = reason.empty() ? "cannot be opened" : reason;
        return vfs::Result::Fail();
    }
    return vfs::Result::Ok();
}

vfs::Result OpenUserArchive(vfs::FileSystemRef& archive, const std::string& path,
                            std::string* why) {
    archive.Reset();
    auto* opened = new vfs::WadFileSystem();
    archive.Set(opened);
    if (OpenUserArchive(*opened, path, why).Failed()) {
        archive.Reset();
        return vfs::Result::Fail();
    }
    return vfs::Result::Ok();
}

}  // namespace tarnwad
