// `tarnwad mount ARCHIVE MOUNTPOINT` and `tarnwad umount MOUNTPOINT`: an
// archive shown as a read-only directory through FUSE 3, where the tool was
// built with libfuse3 (TARNWAD_HAVE_FUSE); elsewhere both commands say that
// this build cannot mount.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/exit_codes.h"
#include "tools/mount/entry_cache.h"

#if defined(TARNWAD_HAVE_FUSE)
#include "app/host_path_check.h"
#include "app/layered_archive.h"
#include "app/tree_walk.h"
#include "tools/archive_catalog.h"
#include "tools/archive_probe.h"
#include "tools/display_path.h"
#include "tools/mount/mount_fuse.h"
#include "tools/mount/mount_reader.h"
#include "tools/mount/mount_tree.h"
#include "tools/path_argument.h"
#include "tools/text_format.h"
#include "vfs/wad/wad_rejected_record.h"
#endif

namespace tarnwad::cli {

namespace {

constexpr char kDefaultCacheSize[] = "256M";

struct MountOptions {
    std::string archive;
    std::vector<std::string> layers;
    std::string mountPoint;
    bool foreground = false;
    bool noProbe = false;
    std::string cacheSize = kDefaultCacheSize;
};

struct UmountOptions {
    std::string mountPoint;
};

#if !defined(TARNWAD_HAVE_FUSE)

int Unsupported(const char* command) {
    Complain(command,
             "this build of tarnwad cannot mount archives: mounting needs FUSE 3 "
             "(libfuse3) on Linux, and the tool was built without it");
    return kExitUsage;
}

int RunMount(const MountOptions&) {
    return Unsupported("mount");
}

int RunUmount(const UmountOptions&) {
    return Unsupported("umount");
}

#else

// The archive argument split at the archive separator ("*\" or "*/") into
// the host path of the archive and the directory inside it to mount ("\"
// separated, no trailing separator; empty for the whole archive).
std::pair<std::string, std::string> SplitInnerRoot(const std::string& argument) {
    size_t cut = std::string::npos;
    for (size_t i = 0; i + 1 < argument.size(); ++i) {
        if (argument[i] == '*' && (argument[i + 1] == '\\' || argument[i + 1] == '/')) {
            cut = i;
            break;
        }
    }
    if (cut == std::string::npos) {
        return {argument, {}};
    }
    std::string inner = argument.substr(cut + 2);
    for (char& c : inner) {
        if (c == '/') {
            c = '\\';
        }
    }
    while (!inner.empty() && inner.back() == '\\') {
        inner.pop_back();
    }
    return {argument.substr(0, cut), inner};
}

// Why `mountPoint` (absolute) cannot be mounted on, or empty.
std::string MountPointProblem(const std::string& mountPoint) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(mountPoint, error);
    if (!fs::exists(status)) {
        return "no such directory to mount on";
    }
    if (!fs::is_directory(status)) {
        return "is not a directory: an archive is mounted on an empty directory";
    }
    const bool empty = fs::is_empty(mountPoint, error);
    if (error) {
        return "cannot be read: " + error.message();
    }
    if (!empty) {
        return "is not empty: an archive is mounted on an empty directory only";
    }
    return {};
}

// Names on stderr what the mount leaves out, as unpack names it.
void ReportLeftOut(const std::string& subject, vfs::FileSystemRef& source,
                   const mount::MountTreeReport& report) {
    if (const auto* rejected = source.GetRejectedRecords()) {
        for (const vfs::WadRejectedRecord& record : *rejected) {
            Complain(subject, "record " + std::to_string(record.index) + " (\"" +
                                  PrintableText(record.rawPath) +
                                  "\") is not shown: " + vfs::WadRejectReasonText(record.reason));
        }
    }
    for (const std::string& path : report.refused) {
        Complain(subject, DisplayPath(path), "refused by the archive, not shown");
    }
    for (const std::string& path : report.unsafe) {
        Complain(subject, DisplayPath(path),
                 "its name cannot be one component of a path, not shown");
    }
    for (const std::string& path : report.hidden) {
        Complain(subject, DisplayPath(path),
                 std::string("warning: ") + kHiddenEntryWarning + ", not shown");
    }
    for (const mount::LeftOutFile& file : report.unreachable) {
        Complain(subject, DisplayPath(file.path), file.reason + ", not shown");
    }
}

int RunMount(const MountOptions& options) {
    uint64_t budget = 0;
    if (!mount::ParseByteSize(options.cacheSize, &budget)) {
        Complain("mount: --cache-size", "not a size: " + options.cacheSize);
        return kExitUsage;
    }
    const std::string mountPoint = mount::ResolveMountPoint(options.mountPoint);
    if (std::string problem = MountPointProblem(mountPoint); !problem.empty()) {
        Complain("mount: " + options.mountPoint, problem);
        return kExitUsage;
    }
    if (std::string problem = mount::FuseDeviceProblem(); !problem.empty()) {
        Complain("mount", problem);
        return kExitUsage;
    }

    const auto [hostPart, inner] = SplitInnerRoot(options.archive);
    const std::string subject = "mount: " + hostPart;
    const std::string archivePath = AbsolutePath(hostPart);
    if (!inner.empty()) {
        // A host file whose own path holds the separator is not split.
        std::error_code error;
        const std::string whole = AbsolutePath(options.archive);
        if (std::filesystem::is_regular_file(whole, error)) {
            Complain("mount: " + options.archive, UnusableHostPath(whole, true));
            return kExitUsage;
        }
    }
    vfs::FileSystemRef whole;
    if (std::string failure; OpenUserArchive(whole, archivePath, &failure).Failed()) {
        Complain(subject, failure);
        return kExitUsage;
    }
    // The game-archive check: the archive's own top, or with layers the
    // merged tree's (asked below, once it is built), as unpack asks it.
    bool known = options.noProbe || HoldsKnownEntry(whole);
    if (!known && options.layers.empty()) {
        Complain(subject, ProbeFailure("mount"));
        return kExitUsage;
    }
    vfs::FileSystemRef source;
    if (inner.empty()) {
        source = whole;
    } else {
        whole.Reset();
        const std::string rooted = archivePath + "*\\" + inner;
        if (source.OpenArchive(rooted.c_str(), 0).Failed()) {
            Complain(subject, "has no directory " + DisplayPath(inner) + " to mount");
            return kExitUsage;
        }
    }
    whole.Reset();

    // Layers above the archive: the merged tree is mounted, each file read
    // from the layer that serves it.
    vfs::OverlayFileSystem* overlay = nullptr;
    vfs::FileSystemRef archiveAlone = source;
    if (!options.layers.empty()) {
        vfs::FileSystemRef merged;
        overlay = new vfs::OverlayFileSystem();
        merged.Set(overlay);
        LayerFailure failure{options.archive, "cannot be read"};
        if (overlay->AddLayer(source, options.archive).Failed() ||
            AddUserLayers(*overlay, options.layers, &failure).Failed()) {
            Complain("mount: " + failure.path, failure.why);
            return kExitUsage;
        }
        source = merged;
        if (!known && !HoldsKnownEntry(source)) {
            Complain(subject, ProbeFailure("mount"));
            return kExitUsage;
        }
    }

    mount::MountTree tree;
    mount::MountTreeReport report;
    mount::BuildMountTree(source, tree, report, overlay);
    ReportLeftOut(subject, archiveAlone, report);
    archiveAlone.Reset();

    mount::MountReader reader(source, tree, budget,
                              [subject](const std::string& path, const std::string& why) {
                                  Complain(subject, DisplayPath(path), why);
                              });
    if (!reader.OpenArchiveFile(archivePath)) {
        Complain(subject, "cannot be read");
        return kExitUsage;
    }
    for (uint32_t layer = 1; overlay != nullptr && layer < overlay->LayerCount(); ++layer) {
        vfs::FileIdentity identity;
        const std::string& given = options.layers[layer - 1];
        if (overlay->Layer(layer).GetArchiveIdentity(&identity).Succeeded() &&
            !reader.OpenLayerArchiveFile(layer, LayerHostPath(given))) {
            Complain("mount: " + given, "cannot be read");
            return kExitUsage;
        }
    }
    mount::MountSetup setup;
    setup.shownArchive = hostPart;
    setup.fileSystemName = archivePath + (inner.empty() ? "" : "*/" + DisplayPath(inner));
    setup.archivePath = archivePath;
    setup.mountPoint = mountPoint;
    setup.foreground = options.foreground;
    if (const char* stats = std::getenv("TARNWAD_MOUNT_STATS"); stats != nullptr && *stats) {
        setup.statsFile = AbsolutePath(stats);
    }
    setup.tree = &tree;
    setup.reader = &reader;
    return mount::ServeMount(setup);
}

int RunUmount(const UmountOptions& options) {
    if (std::string why = mount::UnmountDirectory(options.mountPoint); !why.empty()) {
        Complain("umount: " + options.mountPoint, why);
        return kExitUsage;
    }
    return kExitSuccess;
}

#endif

}  // namespace

void AddMountCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<MountOptions>();
    CLI::App* command = app.add_subcommand(
        "mount", "Show an archive as a read-only directory (FUSE) until it is unmounted");
    command
        ->add_option("ARCHIVE", options->archive,
                     "The .wad file; ARCHIVE*/DIR (or ARCHIVE*\\DIR) mounts only the "
                     "directory DIR inside it")
        ->required();
    command->add_option("LAYER", options->layers,
                        "Layers shown over it, later ones winning: .wad files, ARCHIVE*/DIR or "
                        "folders");
    // The layers take every argument after ARCHIVE: the last one is the
    // mount point (see the callback).
    command->add_option("MOUNTPOINT", options->mountPoint, "The empty directory to mount it on");
    command->add_flag("-f,--foreground", options->foreground,
                      "Stay in the foreground until unmounted (Ctrl+C unmounts); otherwise go "
                      "into the background once the mount answers");
    command->add_flag("--no-probe", options->noProbe,
                      "Do not check that the archive holds one of the game's known entries");
    command
        ->add_option("--cache-size", options->cacheSize,
                     "Memory for decoded entries, the least recently used let go first: bytes, "
                     "or with K, M or G (default: " +
                         std::string(kDefaultCacheSize) +
                         "); an entry larger than this is decoded for each open instead")
        ->check(CLI::Validator(
            [](std::string& text) {
                uint64_t bytes = 0;
                return mount::ParseByteSize(text, &bytes)
                           ? std::string()
                           : "not a size (bytes, or with K, M or G: 64M): " + text;
            },
            "SIZE"));
    command->callback([options, &exitCode] {
        if (options->mountPoint.empty() && !options->layers.empty()) {
            options->mountPoint = options->layers.back();
            options->layers.pop_back();
        }
        if (options->mountPoint.empty()) {
            throw CLI::RequiredError("MOUNTPOINT");
        }
        exitCode = RunMount(*options);
    });
}

void AddUmountCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<UmountOptions>();
    CLI::App* command =
        app.add_subcommand("umount", "Unmount an archive that 'tarnwad mount' mounted");
    command->add_option("MOUNTPOINT", options->mountPoint, "The directory it is mounted on")
        ->required();
    command->callback([options, &exitCode] { exitCode = RunUmount(*options); });
}

}  // namespace tarnwad::cli
