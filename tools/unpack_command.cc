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

#include "app/host_path_check.h"
#include "app/path_selection.h"
#include "app/unpack_dialog.h"
#include "tools/archive_catalog.h"
#include "tools/archive_probe.h"
#include "tools/commands.h"
#include "tools/console_host.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/exclude_filter.h"
#include "tools/exclude_option.h"
#include "tools/exit_codes.h"
#include "tools/parallel_tree_copy.h"
#include "tools/path_argument.h"
#include "tools/progress_line.h"
#include "tools/text_format.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/terminal.h"
#include "vfs/wad/wad_file_system.h"

namespace tarnwad::cli {

namespace {

struct UnpackOptions {
    std::string archive;
    std::vector<std::string> patterns;
    std::vector<std::string> excludes;
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

// The output directory the dialog's rule gives an archive: beside it, named
// after it without its extension. Empty when no name can be made.
std::string DefaultOutputDirectory(const std::string& archivePath) {
    const size_t separator = archivePath.find_last_of("\\/");
    const size_t start = separator == std::string::npos ? 0 : separator + 1;
    const size_t dot = archivePath.rfind('.');
    if (dot == std::string::npos || dot <= start) {
        return {};
    }
    return archivePath.substr(0, dot);
}

// `--dry-run`: what an unpack of `chosen` would write, and where; nothing is
// created.
int DryRun(const UnpackOptions& options, ArchiveCatalog& catalog,
           const std::vector<const CatalogEntry*>& chosen, const std::string& archivePath) {
    if (!options.noProbe && !HoldsKnownEntry(catalog.FileSystem())) {
        Complain(options.archive,
                 ProbeFailure("is not a Tarnhollow archive: none of the known entries is in it",
                              "unpack"));
        return kExitUsage;
    }
    const std::string output = options.outputDirectory.empty()
                                   ? DefaultOutputDirectory(archivePath)
                                   : AbsolutePath(options.outputDirectory);
    if (output.empty()) {
        Complain(options.archive, "no output directory name can be made from the archive's name");
        return kExitUsage;
    }
    std::set<std::string> seen;
    uint32_t files = 0;
    uint32_t kept = 0;
    uint64_t bytes = 0;
    for (const CatalogEntry* entry : chosen) {
        if ((entry->record.flags & vfs::WAD_FLAG_REFUSED) != 0 ||
            !seen.insert(entry->path).second) {
            continue;  // refused by the archive, or hidden by an earlier entry
        }
        const std::string target = output + "/" + DisplayPath(entry->path);
        std::error_code error;
        if (options.keepOldFiles &&
            std::filesystem::exists(std::filesystem::symlink_status(target, error))) {
            ++kept;
            if (!options.quiet) {
                std::printf("kept: %s\n", PrintableText(target).c_str());
            }
            continue;
        }
        if (uint64_t{entry->record.dataOffset} + entry->record.storedSize > catalog.FileSize()) {
            Complain(DisplayPath(entry->path), "would fail: its data lies outside the file");
        }
        ++files;
        bytes += entry->record.ReportedSize();
        std::printf("%s\n", PrintableText(target).c_str());
    }
    if (!options.quiet) {
        std::printf("Would unpack %s (%s) into %s%s; nothing was written\n",
                    Counted(files, "file", "files").c_str(),
                    HumanSize(static_cast<double>(bytes)).c_str(), PrintableText(output).c_str(),
                    kept > 0
                        ? (", keeping " + Counted(kept, "existing file", "existing files")).c_str()
                        : "");
    }
    return kExitSuccess;
}

// Opens the archive as the dialog's source without the probe for the game's
// entries.
bool OpenWithoutProbe(UnpackDialog& dialog, const std::string& path) {
    std::string unusable;
    if (OpenUserArchive(dialog.source, path, &unusable).Failed()) {
        dialog.lastOutcome.failure =
            unusable.empty() ? "cannot be opened as a WAD archive" : unusable;
        return false;
    }
    if (auto* wad = dynamic_cast<vfs::WadFileSystem*>(dialog.source.Get())) {
        dialog.lastOutcome.rejected = wad->GetRejectedRecords();
    }
    return true;
}

// Creates `directory` with its missing parents; false, with the reason in
// the outcome, when it is not a directory afterwards.
bool MakeOutputDirectory(UnpackDialog& dialog, const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (!std::filesystem::is_directory(directory, error)) {
        dialog.lastOutcome.failure = "the output directory " + directory + " cannot be created";
        return false;
    }
    return true;
}

ProgressStyle ChooseStyle(const UnpackOptions& options) {
    if (options.quiet) {
        return ProgressStyle::kSilent;
    }
    if (options.verbose) {
        return ProgressStyle::kVerbose;
    }
    // A bar only where someone watches; a pipe or a file gets none.
    return vfs::host::IsTerminal(vfs::host::StandardStream::Error) ? ProgressStyle::kBar
                                                                   : ProgressStyle::kSilent;
}

int RunUnpack(const UnpackOptions& options) {
    // Ctrl+C stops the copy at the next block: the file being written is
    // removed, those finished stay.
    vfs::host::CatchInterrupts();
    std::string archivePath = AbsolutePath(options.archive);
    ProgressStyle style = ChooseStyle(options);
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
                             style == ProgressStyle::kBar || options.dryRun;
    if (needCatalog) {
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
    if (options.dryRun) {
        if (!openFailure.empty()) {
            Complain(options.archive, openFailure);
            return kExitUsage;
        }
        int code = DryRun(options, catalog, chosen, archivePath);
        return code == kExitSuccess && !unmatched.empty() ? kExitEntriesFailed : code;
    }

    ProgressLine progress(style, style == ProgressStyle::kBar ? stderr : stdout,
                          vfs::host::TerminalColumns(vfs::host::StandardStream::Error));
    if (style == ProgressStyle::kBar) {
        std::map<std::string, uint64_t> sizes;
        uint64_t bytes = 0;
        uint32_t files = 0;
        for (const CatalogEntry* entry : chosen) {
            if ((entry->record.flags & vfs::WAD_FLAG_REFUSED) == 0) {
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
    bool started = false;
    const bool onThreads = options.jobs > 1;
    if (options.outputDirectory.empty() && !options.noProbe && !onThreads) {
        // Exactly the dialog's command.
        dialog.OnUnpack();
        started = !dialog.lastOutcome.archivePath.empty();
    } else {
        started = options.noProbe ? OpenWithoutProbe(dialog, archivePath) : dialog.ProbeArchive();
        bool succeeded = false;
        if (started && options.outputDirectory.empty()) {
            succeeded =
                onThreads ? UnpackArchiveOnThreads(dialog, options.jobs) : dialog.UnpackArchive();
        } else if (started) {
            std::string output = AbsolutePath(options.outputDirectory);
            succeeded = MakeOutputDirectory(dialog, output) &&
                        (onThreads ? UnpackIntoOnThreads(dialog, output.c_str(), options.jobs)
                                   : dialog.UnpackInto(output.c_str()));
        }
        dialog.lastOutcome.succeeded = succeeded;
        if (succeeded) {
            host.ShowMessage(kSucceededText, kSucceededCaption);
        } else {
            host.ShowMessage(kFailedText, kFailedCaption);
        }
    }

    if (!started && openFailure.empty() && dialog.source.Get() == nullptr) {
        // Why the archive did not open, in more words than the dialog has.
        vfs::FileSystemRef again;
        openFailure = OpenArchive(again, archivePath);
    } else if (!started && dialog.source.Get() != nullptr) {
        // It opened, but the game-archive check found none of its entries.
        openFailure = ProbeFailure(dialog.lastOutcome.failure, "unpack");
    }
    const UnpackOutcome& outcome = dialog.lastOutcome;
    progress.Finish();
    ReportOutcome(options.archive, outcome, started ? std::string() : openFailure, options.quiet);
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
    command->add_option("ARCHIVE", options->archive, "The .wad file to unpack")->required();
    command->add_option("PATTERN", options->patterns,
                        "Only entries matching these paths or wildcards, looked up as the "
                        "archive does; a directory selects what lies beneath it");
    command->add_option("-o,-C,--output", options->outputDirectory,
                        "Unpack into this directory (created if missing) instead");
    AddExcludeOption(command, options->excludes, "entries", "their path");
    command->add_flag("--dry-run", options->dryRun,
                      "List the files the unpack would write, and where, and write nothing");
    command->add_flag("-k,--keep-old-files", options->keepOldFiles,
                      "Never replace an existing file of an entry's name; name each one kept");
    command->add_flag("--no-probe", options->noProbe,
                      "Do not check that the archive holds one of the game's known entries");
    CLI::Option* verbose =
        command->add_flag("-v,--verbose", options->verbose, "Name each file as it is unpacked");
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors")->excludes(verbose);
    command
        ->add_option("-j,--jobs", options->jobs,
                     "Copy files on this many threads (default: the number of cores); 1 copies "
                     "them one after another in the desktop tool's order, directory by "
                     "directory: a directory's subdirectories first (the one the archive names "
                     "last comes first), each walked completely, then its own files in archive "
                     "order")
        ->check(CLI::Range(1u, 256u));
    command->callback([options, &exitCode] { exitCode = RunUnpack(*options); });
}

}  // namespace tarnwad::cli
