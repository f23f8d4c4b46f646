// `tarnwad cat ARCHIVE PATTERN...`: the bytes of the entries the patterns
// select, one after another in listing order, to stdout.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/entry_failure.h"
#include "tools/archive_argument.h"
#include "tools/archive_catalog.h"
#include "tools/archive_option.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/exit_codes.h"
#include "tools/layer_option.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/terminal.h"

namespace tarnwad::cli {

namespace {

struct CatOptions {
    std::string archive;
    std::vector<std::string> patterns;
    std::vector<std::string> layers;
};

constexpr int32_t kBlockSize = 1 << 20;
constexpr uint32_t kReadFlags = vfs::OPEN_READ | vfs::OPEN_SHARE_READ;

enum class Written { kWhole, kFailed, kOutputFailed };

// Writes the entry at `path` to stdout, or says why it cannot.
Written WriteEntry(vfs::FileSystemRef& archive, const std::string& name, const std::string& path,
                   std::vector<uint8_t>& buffer) {
    // The library says why an entry does not open, as it says it to unpack.
    vfs::StreamRef input;
    if (archive.OpenFile(input, path.c_str(), kReadFlags, 0).Failed()) {
        Complain(name, path, EntryFailureText(vfs::LastError()));
        return Written::kFailed;
    }
    // The entry's bytes are what its stream holds: a stored entry's stored
    // bytes, whatever size its record gives, a coded one's decoded bytes.
    const int64_t size = input.GetSize64();
    uint64_t total = 0;
    vfs::ClearLastError();
    for (;;) {
        int32_t n = input.Read(buffer.data(), kBlockSize);
        if (n < 1) {
            break;
        }
        if (std::fwrite(buffer.data(), 1, static_cast<size_t>(n), stdout) !=
            static_cast<size_t>(n)) {
            return Written::kOutputFailed;
        }
        total += static_cast<uint32_t>(n);
    }
    if (size < 0 || total != static_cast<uint64_t>(size)) {
        Complain(
            name, path,
            ShortReadText(total, size < 0 ? 0 : static_cast<uint64_t>(size), vfs::LastError()));
        return Written::kFailed;
    }
    return Written::kWhole;
}

int RunCat(const CatOptions& options) {
    ArchiveCatalog catalog;
    if (!OpenArchiveArgument(catalog, options.archive, options.layers)) {
        return kExitUsage;
    }
    std::vector<std::string> unmatched;
    const std::vector<const CatalogEntry*> entries = catalog.Select(options.patterns, &unmatched);

    if (!vfs::host::SetBinaryOutput()) {
        Complain("standard output", "cannot be set to pass bytes as they are");
        return kExitEntriesFailed;
    }
    int exitCode = kExitSuccess;
    std::vector<uint8_t> buffer(kBlockSize);
    for (const CatalogEntry* entry : entries) {
        const Written written =
            WriteEntry(catalog.FileSystem(), options.archive, entry->path, buffer);
        if (written == Written::kOutputFailed) {
            Complain("standard output", "cannot be written");
            return kExitEntriesFailed;
        }
        if (written == Written::kFailed) {
            exitCode = kExitEntriesFailed;
        }
    }
    if (std::fflush(stdout) != 0) {
        Complain("standard output", "cannot be written");
        return kExitEntriesFailed;
    }
    // A path that no lookup finds gets the library's reason, as every
    // command gives it (a refused or mismatched record, a directory's name);
    // a wildcard that finds nothing, the words `list` uses.
    for (const std::string& pattern : unmatched) {
        vfs::StreamRef probe;
        if (pattern.find_first_of("*?") == std::string::npos &&
            catalog.FileSystem().OpenFile(probe, pattern.c_str(), kReadFlags, 0).Failed()) {
            Complain(options.archive, pattern, EntryFailureText(vfs::LastError()));
        } else {
            Complain(options.archive, "no entry matches " + pattern);
        }
        exitCode = kExitEntriesFailed;
    }
    return exitCode;
}

}  // namespace

void AddCatCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CatOptions>();
    CLI::App* command = app.add_subcommand(
        "cat",
        "Write the bytes of the entries PATTERN selects, decoded, to standard output, one "
        "after another in the order list shows them");
    AddArchiveArgument(command, options->archive);
    command
        ->add_option("PATTERN", options->patterns,
                     "Entries to write: a path inside the archive (\"\\\" or \"/\" separators, "
                     "any letter case), a wildcard, or a directory for all beneath it")
        ->required();
    AddLayerOption(command, options->layers, "write the files of PATTERN that the top layer holds");
    command->callback([options, &exitCode] { exitCode = RunCat(*options); });
}

}  // namespace tarnwad::cli
