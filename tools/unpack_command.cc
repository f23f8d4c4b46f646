#include "tools/unpack_command.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/unpack_dialog.h"
#include "tools/console_host.h"
#include "tools/display_path.h"
#include "tools/exit_codes.h"

namespace tarnwad::cli {

namespace {

struct UnpackOptions {
    std::string archive;
};

// Tells the user, on stderr, everything that went wrong, one line each.
void ReportOutcome(const std::string& archive, const UnpackOutcome& outcome) {
    if (!outcome.failure.empty()) {
        std::fprintf(stderr, "tarnwad: %s: %s\n", archive.c_str(), outcome.failure.c_str());
    }
    for (const vfs::WadRejectedRecord& record : outcome.rejected) {
        std::fprintf(stderr, "tarnwad: %s: record %u (\"%s\") was not unpacked: %s\n",
                     archive.c_str(), record.index, record.rawPath.c_str(),
                     vfs::WadRejectReasonText(record.reason));
    }
    for (const CopyFailure& failure : outcome.copy.failures) {
        std::fprintf(stderr, "tarnwad: %s: %s%s%s\n", DisplayPath(failure.path).c_str(),
                     DescribeCopyFailure(failure.kind), failure.detail.empty() ? "" : ": ",
                     failure.detail.c_str());
    }
    for (const std::string& path : outcome.refused) {
        std::fprintf(stderr, "tarnwad: %s: refused by the archive, not unpacked\n",
                     DisplayPath(path).c_str());
    }
}

int RunUnpack(const UnpackOptions& options) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(options.archive, error);
    std::string archivePath = error ? options.archive : absolute.string();

    ConsoleHost host(archivePath, stdout);
    UnpackDialog dialog(host);
    dialog.OnUnpack();
    ReportOutcome(options.archive, dialog.lastOutcome);
    if (dialog.lastOutcome.succeeded) {
        std::printf("Unpacked %u files into %s\n", dialog.lastOutcome.copy.filesCopied,
                    DisplayPath(dialog.lastOutcome.outputDirectory).c_str());
        return kExitSuccess;
    }
    return kExitEntriesFailed;
}

}  // namespace

void AddUnpackCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<UnpackOptions>();
    CLI::App* command = app.add_subcommand(
        "unpack", "Unpack a WAD archive into a directory beside it, named after it");
    command->add_option("ARCHIVE", options->archive, "The .wad file to unpack")->required();
    command->callback([options, &exitCode] { exitCode = RunUnpack(*options); });
}

}  // namespace tarnwad::cli
