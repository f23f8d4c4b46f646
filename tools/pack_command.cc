// `tarnwad pack DIR -o OUT.wad`: an archive of a directory tree.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/counted_text.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/edit/base_rebuild.h"
#include "tools/exclude_filter.h"
#include "tools/exclude_option.h"
#include "tools/exit_codes.h"
#include "tools/pack/pack_job.h"
#include "tools/path_argument.h"
#include "tools/progress_line.h"
#include "tools/text_format.h"
#include "tools/work_options.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/terminal.h"

namespace tarnwad::cli {

namespace {

struct PackOptions {
    std::string directory;
    std::string output;
    std::string base;  // --base: an edit of this archive instead
    uint32_t version = 2;
    std::string codec = "auto";
    bool force = false;
    bool dereference = false;
    bool skipSpecial = false;
    std::vector<std::string> excludes;
    bool verbose = false;
    bool quiet = false;
    // Threads that read and code files; 1 does it on the calling thread,
    // one file after another.
    unsigned jobs = DefaultJobs();

    static unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }
};

// `pack --base`: the original archive made to hold the tree.
int RunPackFromBase(const PackOptions& options) {
    vfs::host::CatchInterrupts();
    edit::BaseRebuild request;
    request.base = options.base;
    request.directory = options.directory;
    request.output = options.output;
    request.codec = options.codec;
    request.force = options.force;
    std::vector<edit::EditChange> changes;
    vfs::WadEditStats stats;
    const std::vector<edit::EditMessage> failures =
        edit::RebuildFromBase(request, &changes, &stats);
    for (const edit::EditMessage& failure : failures) {
        Complain(failure.subject, failure.text);
    }
    if (!failures.empty()) {
        return vfs::host::InterruptRequested() ? kExitInterrupted : kExitEntriesFailed;
    }
    size_t counts[5] = {};
    for (const edit::EditChange& change : changes) {
        ++counts[change.kind];
        if (options.verbose && change.kind != edit::EditChange::kUnchanged) {
            std::printf("%s\n", ShownPath(change.path).c_str());
        }
    }
    if (!options.quiet) {
        std::printf(
            "Packed %s into %s from %s: %zu added, %zu replaced, %zu removed, %zu unchanged\n",
            PrintableText(options.directory).c_str(), PrintableText(options.output).c_str(),
            PrintableText(options.base).c_str(), counts[edit::EditChange::kAdded],
            counts[edit::EditChange::kReplaced], counts[edit::EditChange::kRemoved],
            counts[edit::EditChange::kUnchanged]);
    }
    return kExitSuccess;
}

int RunPack(const PackOptions& options) {
    if (!options.base.empty() && options.output == "-") {
        Complain(options.output, "--base writes an archive in place of a file: give a file name");
        return kExitUsage;
    }
    if (!options.base.empty()) {
        return RunPackFromBase(options);
    }
    // Ctrl+C stops the pack between files; no archive is written then.
    vfs::host::CatchInterrupts();
    // `-o -`: the archive is the tool's output; what it says goes to stderr.
    const bool toStandardOutput = options.output == "-";
    if (toStandardOutput && vfs::host::IsTerminal(vfs::host::StandardStream::Output)) {
        Complain(options.output,
                 "standard output is a terminal: redirect or pipe it to take the archive");
        return kExitUsage;
    }
    if (toStandardOutput && !vfs::host::SetBinaryOutput()) {
        Complain("standard output", "cannot be set to pass bytes as they are");
        return kExitUsage;
    }
    std::FILE* const messages = toStandardOutput ? stderr : stdout;
    const ExcludeFilter exclusions(options.excludes);
    pack::PackRequest request;
    request.directory = options.directory;
    request.output = options.output;
    request.directoryPath = AbsolutePath(options.directory);
    request.outputPath = AbsolutePath(options.output);
    request.version = options.version;
    request.codec = options.codec;
    request.force = options.force;
    request.dereference = options.dereference;
    request.skipSpecial = options.skipSpecial;
    request.exclusions = &exclusions;
    request.jobs = options.jobs;
    request.toStandardOutput = toStandardOutput;
    pack::PackJob job(std::move(request));
    if (std::optional<pack::PackMessage> refusal = job.Prepare()) {
        Complain(refusal->subject, refusal->text);
        return kExitUsage;
    }
    if (!options.quiet) {
        for (const std::string& empty : job.emptyDirectories) {
            Complain(DisplayPath(empty), "empty directory not packed: archives hold only files");
        }
        for (const std::string& warning : job.warnings) {
            std::fprintf(stderr, "tarnwad: %s\n", PrintableText(warning).c_str());
        }
    }
    if (!job.problems.empty()) {
        for (const std::string& problem : job.problems) {
            std::fprintf(stderr, "tarnwad: %s\n", PrintableText(problem).c_str());
        }
        Complain(options.output, "not written: the names above cannot be packed safely");
        return kExitEntriesFailed;
    }

    const ProgressStyle style = ChooseProgressStyle(options.quiet, options.verbose);
    ProgressLine progress(style, style == ProgressStyle::kBar ? stderr : messages,
                          vfs::host::TerminalColumns(vfs::host::StandardStream::Error));
    if (style == ProgressStyle::kBar) {
        // The sizes the walk found.
        std::map<std::string, uint64_t> sizes;
        uint64_t bytes = 0;
        for (const pack::PackFile& file : job.files) {
            sizes[file.path] = file.size;
            bytes += file.size;
        }
        progress.SetTotals(static_cast<uint32_t>(job.files.size()), bytes, std::move(sizes));
    }
    const pack::PackOutcome outcome =
        job.Write([&](const pack::PackFile& file) { progress.Status(file.path.c_str()); });
    // The bar leaves its line before anything is told.
    progress.Finish();
    for (const pack::PackMessage& failure : outcome.failures) {
        Complain(failure.subject, failure.text);
    }
    if (outcome.status == pack::PackOutcome::kInterrupted) {
        return kExitInterrupted;
    }
    if (outcome.status == pack::PackOutcome::kFailed) {
        return kExitEntriesFailed;
    }
    if (!options.quiet) {
        std::fprintf(messages, "Packed %s (%s) into %s (%s, format version %u)\n",
                     Counted(job.files.size(), "file", "files").c_str(),
                     Counted(outcome.bytesPacked, "byte", "bytes").c_str(),
                     toStandardOutput ? "standard output" : PrintableText(options.output).c_str(),
                     Counted(outcome.archiveSize, "byte", "bytes").c_str(), options.version);
    }
    return kExitSuccess;
}

}  // namespace

void AddPackCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<PackOptions>();
    CLI::App* command = app.add_subcommand(
        "pack", "Write an archive of a directory tree; unpacking it gives the tree back");
    command->add_option("DIR", options->directory, "The directory to pack")->required();
    command
        ->add_option("-o,--output", options->output,
                     "The archive to write; - writes it to standard output (./- names a file "
                     "\"-\")")
        ->required();
    command->add_option("--base", options->base,
                        "Build OUT as an edit of this archive: its version, order and the bytes "
                        "of every unchanged entry kept");
    command->add_option("--format-version", options->version, "Archive format version (0, 1, 2)")
        ->check(CLI::IsMember({0u, 1u, 2u}))
        ->capture_default_str();
    command
        ->add_option("--codec", options->codec,
                     "How entries are stored: stored, lz, zlib, or auto (the smaller coding "
                     "per entry; stored when neither shrinks it)")
        ->check(CLI::IsMember({"stored", "lz", "zlib", "auto"}))
        ->capture_default_str();
    command->add_flag("-f,--force", options->force, "Replace OUT if it exists");
    command->add_flag("-L,--dereference", options->dereference,
                      "Pack what symbolic links lead to, when it lies inside DIR (a link "
                      "leading outside DIR, nowhere, or into a loop makes the pack fail); "
                      "without it links are skipped with a warning");
    command->add_flag("--skip-special", options->skipSpecial,
                      "Skip what cannot be packed (FIFOs, sockets, devices, and with -L links "
                      "that lead nowhere) with a warning, instead of refusing the pack");
    AddExcludeOption(command, options->excludes, "files", "their path in DIR");
    AddVerbosityOptions(command, options->verbose, options->quiet, "packed");
    AddJobsOption(command, options->jobs,
                  "Read and code files on this many threads (default: the number of cores); 1 "
                  "reads and codes them one after another. The archive is the same, byte for "
                  "byte, whatever the number");
    command->callback([options, &exitCode] { exitCode = RunPack(*options); });
}

}  // namespace tarnwad::cli
