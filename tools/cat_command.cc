// `tarnwad cat ARCHIVE PATH`: an entry's bytes to stdout.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/entry_failure.h"
#include "app/host_path_check.h"
#include "app/layered_archive.h"
#include "tools/archive_catalog.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/exit_codes.h"
#include "tools/layer_option.h"
#include "tools/path_argument.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/terminal.h"

namespace tarnwad::cli {

namespace {

struct CatOptions {
    std::string archive;
    std::string path;
    std::vector<std::string> layers;
};

constexpr int32_t kBlockSize = 1 << 20;
constexpr uint32_t kReadFlags = vfs::OPEN_READ | vfs::OPEN_SHARE_READ;

int RunCat(const CatOptions& options) {
    if (options.path.find_first_of("*?") != std::string::npos) {
        Complain(options.path, "cat takes the path of one entry, not a pattern");
        return kExitUsage;
    }
    vfs::FileSystemRef archive;
    if (!options.layers.empty()) {
        LayerFailure failure;
        if (OpenLayeredArchive(archive, AbsolutePath(options.archive), options.archive,
                               options.layers, &failure)
                .Failed()) {
            Complain(failure.path, failure.why);
            return kExitUsage;
        }
    } else if (std::string failure;
               OpenUserArchive(archive, AbsolutePath(options.archive), &failure).Failed()) {
        Complain(options.archive, failure);
        return kExitUsage;
    }

    // The library says why an entry does not open, as it says it to unpack.
    vfs::StreamRef input;
    if (archive.OpenFile(input, options.path.c_str(), kReadFlags, 0).Failed()) {
        Complain(options.archive, options.path, EntryFailureText(vfs::LastError()));
        return kExitEntriesFailed;
    }

    if (!vfs::host::SetBinaryOutput()) {
        Complain("standard output", "cannot be set to pass bytes as they are");
        return kExitEntriesFailed;
    }
    // The entry's bytes are what its stream holds: a stored entry's stored
    // bytes, whatever size its record gives, a coded one's decoded bytes.
    const int64_t size = input.GetSize64();
    std::vector<uint8_t> buffer(kBlockSize);
    uint64_t total = 0;
    vfs::ClearLastError();
    for (;;) {
        int32_t n = input.Read(buffer.data(), kBlockSize);
        if (n < 1) {
            break;
        }
        if (std::fwrite(buffer.data(), 1, static_cast<size_t>(n), stdout) !=
            static_cast<size_t>(n)) {
            Complain("standard output", "cannot be written");
            return kExitEntriesFailed;
        }
        total += static_cast<uint32_t>(n);
    }
    if (std::fflush(stdout) != 0) {
        Complain("standard output", "cannot be written");
        return kExitEntriesFailed;
    }
    if (size < 0 || total != static_cast<uint64_t>(size)) {
        Complain(
            options.archive, options.path,
            ShortReadText(total, size < 0 ? 0 : static_cast<uint64_t>(size), vfs::LastError()));
        return kExitEntriesFailed;
    }
    return kExitSuccess;
}

}  // namespace

void AddCatCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CatOptions>();
    CLI::App* command =
        app.add_subcommand("cat", "Write the bytes of one entry, decoded, to standard output");
    command->add_option("ARCHIVE", options->archive, "The .wad file")->required();
    command
        ->add_option("PATH", options->path,
                     "The entry's path inside the archive (\"\\\" or \"/\" separators, any "
                     "letter case)")
        ->required();
    AddLayerOption(command, options->layers, "write the file of PATH that the top layer holds");
    command->callback([options, &exitCode] { exitCode = RunCat(*options); });
}

}  // namespace tarnwad::cli
