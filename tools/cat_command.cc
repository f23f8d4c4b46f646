// `tarnwad cat ARCHIVE PATH`: an entry's bytes to stdout.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/archive_catalog.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/exit_codes.h"
#include "tools/path_argument.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/terminal.h"
#include "vfs/wad/wad_file_system.h"

namespace tarnwad::cli {

namespace {

struct CatOptions {
    std::string archive;
    std::string path;
};

constexpr int32_t kBlockSize = 1 << 20;
constexpr uint32_t kReadFlags = vfs::OPEN_READ | vfs::OPEN_SHARE_READ;

int RunCat(const CatOptions& options) {
    if (options.path.find_first_of("*?") != std::string::npos) {
        Complain(options.path, "cat takes the path of one entry, not a pattern");
        return kExitUsage;
    }
    vfs::FileSystemRef archive;
    std::string failure = OpenArchive(archive, AbsolutePath(options.archive));
    if (!failure.empty()) {
        Complain(options.archive, failure);
        return kExitUsage;
    }

    // A directory and a file may share a name; the file is meant.
    vfs::FindData found;
    bool any = false;
    bool file = false;
    for (vfs::Result r = archive.FindFirst(options.path.c_str(), &found); r.Succeeded() && !file;
         r = archive.FindNext(&found)) {
        any = true;
        file = (found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    if (!file) {
        Complain(options.archive, options.path, any ? "is a directory" : "no such entry");
        return kExitEntriesFailed;
    }
    auto* wad = dynamic_cast<vfs::WadFileSystem*>(archive.Get());
    if (wad != nullptr && wad->IsRefused(options.path.c_str())) {
        Complain(options.archive, options.path, "refused by the archive: it cannot be opened");
        return kExitEntriesFailed;
    }
    vfs::StreamRef input;
    if (archive.OpenFile(input, options.path.c_str(), kReadFlags, 0).Failed()) {
        Complain(options.archive, options.path, "cannot be decoded");
        return kExitEntriesFailed;
    }

    if (!vfs::host::SetBinaryOutput()) {
        Complain("standard output", "cannot be set to pass bytes as they are");
        return kExitEntriesFailed;
    }
    std::vector<uint8_t> buffer(kBlockSize);
    uint64_t total = 0;
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
    if (total != found.size) {
        Complain(options.archive, options.path,
                 "could not be read in full: read " + std::to_string(total) + " of " +
                     std::to_string(found.size) + " bytes");
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
    command->callback([options, &exitCode] { exitCode = RunCat(*options); });
}

}  // namespace tarnwad::cli
