// `tarnwad conflicts ARCHIVE LAYER...`: which layer supplies each path that
// more than one layer of a stack of mods supplies.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/layered_archive.h"
#include "tools/commands.h"
#include "tools/conflicts/layer_versions.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/exit_codes.h"
#include "tools/path_argument.h"
#include "tools/text_format.h"

namespace tarnwad::cli {

namespace {

struct ConflictsOptions {
    std::string archive;
    std::vector<std::string> layers;
    bool json = false;
    bool all = false;
};

const char* KindName(const vfs::OverlayVersion& version) {
    return version.isDirectory ? "directory" : "file";
}

std::string JsonVersion(const vfs::OverlayVersion& version, const std::string& name) {
    return "{\"layer\":" + std::to_string(version.layer) + ",\"name\":" + JsonString(name) +
           ",\"kind\":\"" + KindName(version) + "\",\"size\":" + std::to_string(version.size) +
           ",\"spelled\":" + JsonString(version.spelled) + "}";
}

// "mods/b (file, 120 bytes)"; a directory without a size.
std::string TextVersion(const vfs::OverlayVersion& version, const std::string& name) {
    std::string text = PrintableText(name) + " (" + KindName(version);
    if (!version.isDirectory) {
        text += ", " + std::to_string(version.size) + (version.size == 1 ? " byte" : " bytes");
    }
    return text + ")";
}

int RunConflicts(const ConflictsOptions& options) {
    vfs::FileSystemRef merged;
    vfs::OverlayFileSystem* overlay = nullptr;
    LayerFailure failure;
    if (OpenLayeredArchive(merged, AbsolutePath(options.archive), options.archive, options.layers,
                           &failure, &overlay)
            .Failed()) {
        Complain(failure.path, failure.why);
        return kExitUsage;
    }
    // Layers are named as the user gave them, in the order given (0: the
    // archive).
    std::vector<std::string> names{options.archive};
    names.insert(names.end(), options.layers.begin(), options.layers.end());

    const std::vector<PathVersions> paths = CollectVersions(*overlay, options.all);
    for (const PathVersions& path : paths) {
        if (path.versions.empty()) {
            continue;
        }
        const vfs::OverlayVersion& winner = path.versions.back();
        if (options.json) {
            std::string others;
            for (size_t i = 0; i + 1 < path.versions.size(); ++i) {
                others += (i == 0 ? "" : ",") +
                          JsonVersion(path.versions[i], names[path.versions[i].layer]);
            }
            std::printf("{\"path\":%s,\"path_bytes\":\"%s\",\"winner\":%s,\"others\":[%s]}\n",
                        JsonString(DisplayPath(path.path)).c_str(), HexBytes(path.path).c_str(),
                        JsonVersion(winner, names[winner.layer]).c_str(), others.c_str());
            continue;
        }
        std::string line = ShownPath(path.path) + ": " + TextVersion(winner, names[winner.layer]);
        if (path.versions.size() > 1) {
            line += " over ";
            for (size_t i = path.versions.size() - 1; i-- > 0;) {
                line += TextVersion(path.versions[i], names[path.versions[i].layer]) +
                        (i == 0 ? "" : ", ");
            }
        }
        std::printf("%s\n", line.c_str());
    }
    if (!options.json) {
        const size_t count = paths.size();
        std::printf("%zu %s%s\n", count, count == 1 ? "path" : "paths",
                    options.all ? " in all" : " supplied by more than one layer");
    }
    std::fflush(stdout);
    for (const vfs::OverlayCaseClash& clash : overlay->CaseClashes()) {
        Complain(names[clash.layer], DisplayPath(clash.hidden),
                 "warning: its name differs from " + DisplayPath(clash.kept) +
                     " only in letter case; hidden by it");
    }
    return kExitSuccess;
}

}  // namespace

void AddConflictsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ConflictsOptions>();
    CLI::App* command = app.add_subcommand(
        "conflicts",
        "Show which layer wins each path that more than one layer over an archive supplies");
    command->add_option("ARCHIVE", options->archive, "The .wad file at the bottom")->required();
    command
        ->add_option("LAYER", options->layers,
                     "Layers above it, later ones winning: .wad files, ARCHIVE*/DIR (a "
                     "directory inside one) or folders")
        ->required();
    command->add_flag("--json", options->json,
                      "One JSON object per path and line (path, winner, others: layer, name, "
                      "kind, size, spelled), nothing else on stdout");
    command->add_flag("--all", options->all,
                      "Every path of the merged tree with every layer's version, not only the "
                      "conflicts");
    command->callback([options, &exitCode] { exitCode = RunConflicts(*options); });
}

}  // namespace tarnwad::cli
