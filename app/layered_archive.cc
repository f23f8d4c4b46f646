#include "app/layered_archive.h"

#include <filesystem>
#include <system_error>

#include "app/host_path_check.h"
#include "vfs/core/last_error.h"

namespace tarnwad {

namespace {

// The layer `path` as the library takes it, or empty with why in `why`:
// the host part before an inner root ("*\" or "*/") made absolute (the
// library resolves relative host paths against the executable's directory;
// a user means the current one), the inner root kept as it is.
std::string LibraryLayerPath(const std::string& path, std::string* why) {
    size_t cut = std::string::npos;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        if (path[i] == '*' && (path[i + 1] == '\\' || path[i + 1] == '/')) {
            cut = i;
            break;
        }
    }
    std::string host = path.substr(0, cut);
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(host, error);
    if (!host.empty() && !error) {
        host = absolute.string();
    }
    if (std::string unusable = UnusableHostPath(host, true); !unusable.empty()) {
        *why = "cannot be opened: " + unusable;
        return {};
    }
    return cut == std::string::npos ? host : host + "*\\" + path.substr(cut + 2);
}

}  // namespace

vfs::Result OpenLayeredArchive(vfs::FileSystemRef& out, const std::string& archivePath,
                               const std::string& archiveName,
                               const std::vector<std::string>& layers, LayerFailure* failure,
                               vfs::OverlayFileSystem** overlay) {
    out.Reset();
    vfs::FileSystemRef base;
    if (std::string why; OpenUserArchive(base, archivePath, &why).Failed()) {
        *failure = {archiveName, why};
        return vfs::Result::Fail();
    }
    vfs::FileSystemRef merged;
    auto* stack = new vfs::OverlayFileSystem();
    merged.Set(stack);
    if (stack->AddLayer(base, archiveName).Failed()) {
        const std::string& reason = vfs::LastError().text;
        *failure = {archiveName, reason.empty() ? "cannot be read" : reason};
        return vfs::Result::Fail();
    }
    for (const std::string& layer : layers) {
        std::string unusable;
        const std::string path = LibraryLayerPath(layer, &unusable);
        if (path.empty()) {
            *failure = {layer, unusable.empty() ? "cannot be opened: no path was given" : unusable};
            return vfs::Result::Fail();
        }
        vfs::ErrorReason why;
        if (stack->AddLayerPath(path.c_str(), &why).Failed()) {
            *failure = {layer, why.text.empty() ? "cannot be opened" : why.text};
            return vfs::Result::Fail();
        }
    }
    out = merged;
    if (overlay != nullptr) {
        *overlay = stack;
    }
    return vfs::Result::Ok();
}

}  // namespace tarnwad
