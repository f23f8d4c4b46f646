// `tarnwad unpack ARCHIVE [PATTERN...]`: the dialog's unpack command, with
// options for scripts.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/counted_text.h"
#include "app/host_path_check.h"
#include "app/path_selection.h"
#include "app/unpack_dialog.h"
#include "tools/archive_argument.h"
#include "tools/archive_catalog.h"
#include "tools/archive_probe.h"
#include "tools/commands.h"
#include "tools/console_host.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/exclude_filter.h"
#include "tools/exclude_option.h"
#include "tools/exit_codes.h"
#include "tools/layer_option.h"
#include "tools/path_argument.h"
#include "tools/progress_line.h"
#include "tools/text_format.h"
#include "tools/work_options.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_error.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/terminal.h"
#include "vfs/wad/wad_file_system.h"

namespace tarnwad::cli {

namespace {

struct UnpackOptions {
    std::string archive;
    std::vector<std::string> patterns;
    std::vector<std::string> excludes;
    std::vector<std::string> layers;
    std::string outputDirectory;
    bool dryRun = false;
    bool noProbe = false;
    bool keepOldFiles = false;
    bool verbose = false;
    bool quiet = false;
    // Threads that copy files; 1 is the dialog's own in-order copy.
    unsigned jobs = DefaultJobs();

    static unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }
};

// Tells the user, on stderr, everything that went wrong, one line each;
// entries the archive refuses are named too, unless `quiet`.
void ReportOutcome(const std::string& archive, const UnpackOutcome& outcome,
                   const std::string& openFailure, bool quiet) {
    if (!outcome.failure.empty()) {
        Complain(archive, openFailure.empty() ? outcome.failure : openFailure);
    }
    for (const vfs::WadRejectedRecord& record : outcome.rejected) {
        Complain(archive, "record " + std::to_string(record.index) + " (\"" +
                              PrintableText(record.rawPath) +
                              "\") was not unpacked: " + vfs::WadRejectReasonText(record.reason));
    }
    for (const CopyFailure& failure : outcome.copy.failures) {
        Complain(DisplayPath(failure.path), DisplayPath(CopyFailureText(failure)));
    }
    if (!quiet) {
        for (const std::string& path : outcome.refused) {
            Complain(DisplayPath(path), "refused by the archive, not unpacked");
        }
        for (const std::string& path : outcome.copy.kept) {
            Complain(DisplayPath(path), "kept: a file of this name exists, not replaced");
        }
        for (const CopyWarning& warning : outcome.copy.warnings) {
            Complain(DisplayPath(warning.path), "warning: " + warning.text + ", not unpacked");
        }
    }
}

// Why the unpack did not start, after the archive's name: why the archive
// did not open, or the game-archive check's failure.
std::string WhyNotStarted(const UnpackOutcome& outcome) {
    if (!outcome.archiveFailure.empty()) {
        return outcome.archiveFailure;
    }
    return outcome.notGameArchive ? ProbeFailure("unpack") : outcome.failure;
}

// Why `path`, in the way of the output directory `directory` (itself or one
// of its parents), is no directory: empty when it is one or is missing.
std::string OutputObstacle(const std::string& directory, const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    const bool link = std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
    if (!link && (!std::filesystem::exists(status) || std::filesystem::is_directory(status))) {
        return {};
    }
    const std::string what = link                                       ? "a symbolic link"
                             : std::filesystem::is_regular_file(status) ? "a file"
                                                                        : "no directory";
    return "the output directory " + directory +
           " cannot be created: " + (path.string() == directory ? "it" : path.string()) + " is " +
           what;
}

// Creates `directory` with its missing parents, one at a time, so that the
// one that cannot be made is named with the system's reason; false, with
// that in the outcome, when it is not a directory afterwards.
bool MakeOutputDirectory(UnpackDialog& dialog, const std::string& directory) {
    // From its root ("/", "C:\\"), which is there or cannot be made.
    const std::filesystem::path whole(directory);
    std::filesystem::path made = whole.root_path();
    for (const std::filesystem::path& part : whole.relative_path()) {
        made /= part;
        std::error_code error;
        if (std::filesystem::is_directory(made, error)) {
            continue;
        }
        vfs::host::ClearLastError();
        const std::string reason = vfs::host::MakeDirectory(made.string().c_str())
                                       ? std::string()
                                       : vfs::host::LastErrorSuffix();
        if (std::filesystem::is_directory(made, error)) {
            continue;  // made now, or by another process meanwhile
        }
        // A file where a directory belongs says so better than "file exists".
        if (std::string obstacle = OutputObstacle(directory, made); !obstacle.empty()) {
            dialog.lastOutcome.failure = obstacle;
        } else {
            dialog.lastOutcome.failure =
                "the output directory " + directory + " cannot be created" + reason;
        }
        return false;
    }
    return true;
}

// `--dry-run`: the unpack run to the end against a destination that writes
// nothing, so that it opens and decodes every entry and meets every obstacle
// a real unpack would, and reaches the same verdicts; then the files it
// would write, and where. `dialog` is set up as for the unpack.
int DryRun(const UnpackOptions& options, UnpackDialog& dialog, const std::string& archivePath,
           bool patternsUnmatched) {
    dialog.dryRun = true;
    const bool started = options.noProbe ? dialog.OpenSource(archivePath) : dialog.ProbeArchive();
    bool succeeded = false;
    if (started && options.outputDirectory.empty()) {
        succeeded = dialog.UnpackArchive();
    } else if (started) {
        const std::string output = AbsolutePath(options.outputDirectory);
        std::error_code error;
        const auto status = std::filesystem::status(output, error);
        if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
            dialog.lastOutcome.failure = OutputObstacle(output, output);
        } else if (std::filesystem::exists(status)) {
            succeeded = dialog.UnpackInto(output.c_str());
        } else {
            dialog.lastOutcome.outputDirectory = output;
            vfs::FileSystemRef missing;
            succeeded = dialog.UnpackIntoOpened(missing);
        }
    }
    const UnpackOutcome& outcome = dialog.lastOutcome;
    if (!started) {
        ReportOutcome(options.archive, outcome, WhyNotStarted(outcome), options.quiet);
        return kExitUsage;
    }
    const std::string output = outcome.outputDirectory;
    for (const std::string& path : outcome.wouldWrite) {
        std::printf("%s\n", ShownPath(output + "\\" + path).c_str());
    }
    if (!options.quiet) {
        for (const std::string& path : outcome.copy.kept) {
            std::printf("kept: %s\n", ShownPath(output + "\\" + path).c_str());
        }
    }
    ReportOutcome(options.archive, outcome, {}, options.quiet);
    if (!options.quiet && outcome.failure.empty()) {
        const size_t kept = outcome.copy.kept.size();
        std::printf(
            "Would unpack %s (%s) into %s%s%s; nothing was written\n",
            Counted(outcome.copy.filesCopied, "file", "files").c_str(),
            HumanSize(static_cast<double>(outcome.copy.bytesCopied)).c_str(),
            ShownPath(output).c_str(),
            kept > 0 ? (", keeping " + Counted(kept, "existing file", "existing files")).c_str()
                     : "",
            succeeded ? ""
                      : ("; " + Counted(outcome.copy.failures.size() + outcome.rejected.size(),
                                        "entry fails", "entries fail"))
                            .c_str());
    }
    return succeeded && !patternsUnmatched ? kExitSuccess : kExitEntriesFailed;
}

int RunUnpack(const UnpackOptions& options) {
    // Ctrl+C stops the copy at the next block: the file being written is
    // removed, those finished stay.
    vfs::host::CatchInterrupts();
    if (IsStandardInput(options.archive) && options.outputDirectory.empty()) {
        Complain(options.archive,
                 "the output directory is named after the archive, and standard input has no name: "
                 "give one with -o");
        return kExitUsage;
    }
    std::string archiveFailure;
    std::string archivePath = ArchiveHostPath(options.archive, &archiveFailure);
    if (archivePath.empty()) {
        Complain(options.archive, archiveFailure);
        return kExitUsage;
    }
    ProgressStyle style = ChooseProgressStyle(options.quiet, options.verbose);
    if (!options.outputDirectory.empty()) {
        std::string unusable = UnusableHostPath(AbsolutePath(options.outputDirectory), false);
        if (!unusable.empty()) {
            Complain(options.outputDirectory, "cannot be the output directory: " + unusable);
            return kExitUsage;
        }
    }

    // The entries to unpack: for the patterns, and for the progress bar's
    // totals. An archive that does not open is left to the unpack command,
    // which reports it as the dialog does.
    ArchiveCatalog catalog;
    std::string openFailure;
    PathSelection selection;
    std::vector<std::string> unmatched;
    const bool needCatalog = !options.patterns.empty() || !options.excludes.empty() ||
                             style == ProgressStyle::kBar || !options.layers.empty();
    if (needCatalog && !options.layers.empty()) {
        // The layers are named when one does not open, before anything is
        // made.
        std::string failed;
        openFailure = catalog.OpenLayered(archivePath, options.archive, options.layers, &failed);
        if (!openFailure.empty()) {
            Complain(failed, openFailure);
            return kExitUsage;
        }
    } else if (needCatalog) {
        openFailure = catalog.Open(archivePath);
    }
    std::vector<const CatalogEntry*> chosen;
    if (openFailure.empty() && needCatalog) {
        if (options.patterns.empty()) {
            for (const CatalogEntry& entry : catalog.Entries()) {
                chosen.push_back(&entry);
            }
        } else {
            chosen = catalog.Select(options.patterns, &unmatched, &selection);
            for (const std::string& pattern : unmatched) {
                Complain(options.archive, "no entry matches " + pattern);
            }
        }
        const ExcludeFilter exclusions(options.excludes);
        std::erase_if(chosen, [&](const CatalogEntry* entry) {
            return exclusions.ExcludesWithParents(entry->path);
        });
        if (chosen.empty() && !options.patterns.empty()) {
            return kExitEntriesFailed;
        }
    }
    ProgressLine progress(style, style == ProgressStyle::kBar ? stderr : stdout,
                          vfs::host::TerminalColumns(vfs::host::StandardStream::Error));
    if (style == ProgressStyle::kBar) {
        std::map<std::string, uint64_t> sizes;
        uint64_t bytes = 0;
        uint32_t files = 0;
        for (const CatalogEntry* entry : chosen) {
            if (vfs::WadCodingOf(entry->record.flags) != vfs::WadCoding::REFUSED) {
                sizes[entry->path] = entry->record.ReportedSize();
                bytes += entry->record.ReportedSize();
                ++files;
            }
        }
        progress.SetTotals(files, bytes, std::move(sizes));
    }

    ConsoleHost host(archivePath, progress, options.quiet);
    if (!unmatched.empty()) {
        host.WithholdSuccess();
    }
    UnpackDialog dialog(host);
    const EntryFilter* chosenPaths = options.patterns.empty() ? nullptr : &selection;
    const ExcludeFilter exclusions(options.excludes, chosenPaths);
    dialog.filter = exclusions.Empty() ? chosenPaths : &exclusions;
    dialog.keepExisting = options.keepOldFiles;
    dialog.layers = options.layers;
    if (options.dryRun) {
        return DryRun(options, dialog, archivePath, !unmatched.empty());
    }
    dialog.jobs = options.jobs;
    bool started = false;
    if (options.outputDirectory.empty() && !options.noProbe) {
        // Exactly the dialog's command.
        dialog.OnUnpack();
        started = !dialog.lastOutcome.archivePath.empty();
    } else {
        started = options.noProbe ? dialog.OpenSource(archivePath) : dialog.ProbeArchive();
        bool succeeded = false;
        if (started && options.outputDirectory.empty()) {
            succeeded = dialog.UnpackArchive();
        } else if (started) {
            std::string output = AbsolutePath(options.outputDirectory);
            succeeded = MakeOutputDirectory(dialog, output) && dialog.UnpackInto(output.c_str());
        }
        dialog.lastOutcome.succeeded = succeeded;
        if (succeeded) {
            host.ShowMessage(kSucceededText, kSucceededCaption);
        } else {
            host.ShowMessage(kFailedText, kFailedCaption);
        }
    }

    if (!started && openFailure.empty()) {
        openFailure = WhyNotStarted(dialog.lastOutcome);
    }
    const UnpackOutcome& outcome = dialog.lastOutcome;
    progress.Finish();
    ReportOutcome(options.archive, outcome, started ? std::string() : openFailure, options.quiet);
    if (outcome.archiveFolderNotWritable) {
        Complain(options.archive,
                 "the folder that holds it cannot be written to; add -o DIR to unpack it into "
                 "a folder of your choice");
    }
    host.PrintMessage();
    if (vfs::host::InterruptRequested()) {
        const uint32_t files = outcome.copy.filesCopied;
        Complain(options.archive, "interrupted: " + Counted(files, "file", "files") +
                                      " written in full, nothing half-written kept");
        return kExitInterrupted;
    }
    if (!started) {
        // The archive could not be opened, or is not one of the game's.
        return kExitUsage;
    }
    if (!outcome.succeeded) {
        return kExitEntriesFailed;
    }
    if (!options.quiet) {
        std::printf(
            "Unpacked %s into %s%s\n", Counted(outcome.copy.filesCopied, "file", "files").c_str(),
            ShownPath(outcome.outputDirectory).c_str(),
            unmatched.empty()
                ? ""
                : ("; " + Counted(unmatched.size(), "pattern", "patterns") + " matched nothing")
                      .c_str());
    }
    return unmatched.empty() ? kExitSuccess : kExitEntriesFailed;
}

}  // namespace

void AddUnpackCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<UnpackOptions>();
    CLI::App* command = app.add_subcommand(
        "unpack", "Unpack a WAD archive; by default into a directory beside it, named after it");
    command->alias("extract");
    command
        ->add_option("ARCHIVE", options->archive,
                     "The .wad file to unpack; - reads it from standard input (-o is then needed)")
        ->required();
    command->add_option("PATTERN", options->patterns,
                        "Only entries matching these patterns: a name at any depth, a path from "
                        "the root; \"*\", \"?\" within a name, \"**\" across directories; a "
                        "directory selects what lies beneath it");
    command
        ->add_option("-o,-C,--output", options->outputDirectory,
                     "Unpack into this directory (created if missing) instead")
        ->type_name("DIR");
    AddExcludeOption(command, options->excludes, "entries", "their path");
    AddLayerOption(command, options->layers,
                   "unpack the merged tree, each file from the layer that serves it");
    command->add_flag("--dry-run", options->dryRun,
                      "List the files the unpack would write, and where, and write nothing");
    command->add_flag("-k,--keep-old-files", options->keepOldFiles,
                      "Never replace an existing file of an entry's name; name each one kept");
    command->add_flag("--no-probe", options->noProbe,
                      "Do not check that the archive holds one of the game's known entries");
    AddVerbosityOptions(command, options->verbose, options->quiet, "unpacked");
    AddJobsOption(command, options->jobs,
                  "Copy files on this many threads (default: the number of cores); 1 copies them "
                  "one after another in the desktop tool's order, directory by directory: a "
                  "directory's subdirectories first (the one the archive names last comes "
                  "first), each walked completely, then its own files in archive order");
    command->callback([options, &exitCode] { exitCode = RunUnpack(*options); });
}

}  // namespace tarnwad::cli
