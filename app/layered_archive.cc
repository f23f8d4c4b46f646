#include "app/layered_archive.h"

#include <filesystem>
#include <system_error>

#include "app/host_path_check.h"
#include "vfs/core/last_error.h"

namespace tarnwad {

namespace {

// Where the inner root ("*\" or "*/") of a layer path begins, or npos.
size_t InnerRootAt(const std::string& path) {
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        if (path[i] == '*' && (path[i + 1] == '\\' || path[i + 1] == '/')) {
            return i;
        }
    }
    return std::string::npos;
}

// The layer `path` as the library takes it, or empty with why in `why`:
// the host part before an inner root ("*\" or "*/") made absolute (the
// library resolves relative host paths against the executable's directory;
// a user means the current one), the inner root kept as it is.
std::string LibraryLayerPath(const std::string& path, std::string* why) {
    const size_t cut = InnerRootAt(path);
    const std::string host = LayerHostPath(path);
    if (std::string unusable = UnusableHostPath(host, true); !unusable.empty()) {
        *why = "cannot be opened: " + unusable;
        return {};
    }
    return cut == std::string::npos ? host : host + "*\\" + path.substr(cut + 2);
}

}  // namespace

std::string LayerHostPath(const std::string& layer) {
    std::string host = layer.substr(0, InnerRootAt(layer));
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(host, error);
    return host.empty() || error ? host : absolute.string();
}

vfs::Result AddUserLayers(vfs::OverlayFileSystem& overlay, const std::vector<std::string>& layers,
                          LayerFailure* failure) {
    for (const std::string& layer : layers) {
        std::string unusable;
        const std::string path = LibraryLayerPath(layer, &unusable);
        if (path.empty()) {
            *failure = {layer, unusable.empty() ? "cannot be opened: no path was given" : unusable};
            return vfs::Result::Fail();
        }
        vfs::ErrorReason why;
        if (overlay.AddLayerPath(path.c_str(), &why).Failed()) {
            *failure = {layer, why.text.empty() ? "cannot be opened" : why.text};
            return vfs::Result::Fail();
        }
    }
    return vfs::Result::Ok();
}

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
    if (AddUserLayers(*stack, layers, failure).Failed()) {
        return vfs::Result::Fail();
    }
    out = merged;
    if (overlay != nullptr) {
        *overlay = stack;
    }
    return vfs::Result::Ok();
}

}  // namespace tarnwad
