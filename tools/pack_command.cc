// `tarnwad pack DIR -o OUT.wad`: an archive of a directory tree.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/counted_text.h"
#include "app/host_path_check.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/exclude_filter.h"
#include "tools/exclude_option.h"
#include "tools/exit_codes.h"
#include "tools/pack/archive_output.h"
#include "tools/pack/entry_coder.h"
#include "tools/pack/folded_paths.h"
#include "tools/pack/ordered_work_queue.h"
#include "tools/pack/tree_reader.h"
#include "tools/path_argument.h"
#include "tools/progress_line.h"
#include "tools/text_format.h"
#include "tools/work_options.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_names.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/terminal.h"

namespace tarnwad::cli {

namespace {

struct PackOptions {
    std::string directory;
    std::string output;
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

// What the files read, being coded or coded and not yet added to the archive
// may take, per coding thread and one more; each file counts its size and
// kEntryCost more.
constexpr uint64_t kMemoryPerJob = 32ull << 20;
constexpr uint64_t kEntryCost = 1024;

int RunPack(const PackOptions& options) {
    // Ctrl+C stops the pack between files; no archive is written then.
    vfs::host::CatchInterrupts();
    if (options.output == "-") {
        Complain(options.output,
                 "an archive cannot be written to standard output; to write a file named "
                 "\"-\", give ./-");
        return kExitUsage;
    }
    std::string directory = AbsolutePath(options.directory);
    std::string output = AbsolutePath(options.output);
    // The library would read a "\" in either path as a separator.
    for (const auto& [given, path] :
         {std::pair{&options.directory, &directory}, std::pair{&options.output, &output}}) {
        if (std::string unusable = UnusableHostPath(*path, false); !unusable.empty()) {
            Complain(*given, "cannot be used: " + unusable);
            return kExitUsage;
        }
    }
    // The directory to pack, held: every look at the tree and every read
    // from it goes through this handle, beneath it and never through a link
    // (DIR itself may be one: it is the place asked for).
    vfs::FileSystemRef tree;
    vfs::host::ClearLastError();
    if (tree.OpenHeldDirectory(directory.c_str()).Failed()) {
        Complain(options.directory, "cannot be packed" + vfs::host::LastErrorSuffix());
        return kExitUsage;
    }
    // The output's directory, held too: the archive is made and renamed in
    // that very directory, whatever its path leads to meanwhile.
    const std::filesystem::path outputPath(output);
    const std::string outputName = outputPath.filename().string();
    std::error_code error;
    if (std::filesystem::is_directory(outputPath, error)) {
        Complain(options.output, "is a directory");
        return kExitUsage;
    }
    if (outputName.empty() || outputName == "." || outputName == "..") {
        Complain(options.output, "names no file to write");
        return kExitUsage;
    }
    if (const char* unusable = vfs::host::UnusableNameReason(outputName.c_str())) {
        Complain(options.output, std::string("cannot be used: ") + unusable);
        return kExitUsage;
    }
    vfs::FileSystemRef archiveDirectory;
    vfs::host::ClearLastError();
    if (archiveDirectory.OpenHeldDirectory(outputPath.parent_path().string().c_str()).Failed()) {
        Complain(options.output, "cannot be written: its directory cannot be opened" +
                                     vfs::host::LastErrorSuffix());
        return kExitUsage;
    }
    // What has the output's name now: kept without --force; with it, left
    // out of the walk should it lie in the tree (it is being replaced).
    vfs::FileIdentity existing;
    const bool exists = archiveDirectory.GetFileIdentity(outputName.c_str(), &existing).Succeeded();
    if (exists && !options.force) {
        Complain(options.output, "already exists; add --force to replace it");
        return kExitUsage;
    }

    pack::TreeReader reader(tree, directory, options.directory, options.dereference);
    const ExcludeFilter exclusions(options.excludes);
    reader.exclusions = &exclusions;
    reader.skipSpecial = options.skipSpecial;
    if (auto found = std::make_unique<vfs::FindData>();
        exists && pack::LookUpExactly(archiveDirectory, outputName, found.get())) {
        reader.skip = existing;
        reader.skipSize = found->size;
    }
    reader.Read();
    std::vector<pack::PackFile> files = pack::InArchiveOrder(std::move(reader.files));
    pack::FindCaseClashes(files, reader.problems);
    if (!options.quiet) {
        for (const std::string& empty : reader.emptyDirectories) {
            Complain(DisplayPath(empty), "empty directory not packed: archives hold only files");
        }
        for (const std::string& warning : reader.warnings) {
            std::fprintf(stderr, "tarnwad: %s\n", PrintableText(warning).c_str());
        }
    }
    if (!reader.problems.empty()) {
        for (const std::string& problem : reader.problems) {
            std::fprintf(stderr, "tarnwad: %s\n", PrintableText(problem).c_str());
        }
        Complain(options.output, "not written: the names above cannot be packed safely");
        return kExitEntriesFailed;
    }

    const ProgressStyle style = ChooseProgressStyle(options.quiet, options.verbose);
    ProgressLine progress(style, style == ProgressStyle::kBar ? stderr : stdout,
                          vfs::host::TerminalColumns(vfs::host::StandardStream::Error));
    if (style == ProgressStyle::kBar) {
        // The sizes the walk found.
        std::map<std::string, uint64_t> sizes;
        uint64_t bytes = 0;
        for (const pack::PackFile& file : files) {
            sizes[file.path] = file.size;
            bytes += file.size;
        }
        progress.SetTotals(static_cast<uint32_t>(files.size()), bytes, std::move(sizes));
    }
    // Any failure from here on takes the bar off its line before it is told.
    auto fail = [&](const std::string& subject, const std::string& why) {
        progress.Finish();
        Complain(subject, why);
        Complain(options.output, "not written");
        return kExitEntriesFailed;
    };

    // The files are read and coded on `jobs` threads (none of its own for
    // one: each file is read and coded when its turn comes), ahead of the
    // loop below within the memory budget, and added to the archive in
    // their order on this thread, so that the archive, the progress and
    // every message are the same whatever the number of threads.
    // Each thread reads through a handle of its own on the held tree (the
    // first through the walk's), beneath it as the walk reads; should no
    // more handles open, fewer threads code.
    std::vector<pack::PackWorker> workers(
        options.jobs <= 1 ? 1 : std::max<size_t>(1, std::min<size_t>(options.jobs, files.size())));
    workers[0].tree = tree;
    size_t opened = 1;
    while (opened < workers.size() &&
           workers[opened].tree.OpenHeldDirectory(tree, "").Succeeded()) {
        ++opened;
    }
    const unsigned threads = opened > 1 ? static_cast<unsigned>(opened) : 0;
    pack::OrderedWorkQueue<pack::PackedFile> queue(
        files.size(), threads, files.size(), kMemoryPerJob * (threads + 1),
        [&](size_t index) { return files[index].size + kEntryCost; },
        [&](size_t index, unsigned worker) {
            return pack::PackOne(files[index], options.codec, workers[worker]);
        });

    pack::ArchiveOutput archive(archiveDirectory, outputName, options.version, files);
    uint64_t totalSize = 0;
    for (const pack::PackFile& file : files) {
        if (vfs::host::InterruptRequested()) {
            progress.Finish();
            Complain(options.output, "interrupted: not written");
            return kExitInterrupted;
        }
        progress.Status(file.path.c_str());
        pack::PackedFile packed = queue.Take();
        if (packed.interrupted) {
            progress.Finish();
            Complain(options.output, "interrupted: not written");
            return kExitInterrupted;
        }
        if (!packed.failure.empty()) {
            return fail(DisplayPath(file.path), packed.failure);
        }
        if (!archive.Add(file.path, packed)) {
            progress.Finish();
            Complain(options.output, "not written: the archive would grow beyond 2 GiB");
            return kExitEntriesFailed;
        }
        totalSize += packed.size;
    }
    progress.Finish();
    if (vfs::host::InterruptRequested()) {
        Complain(options.output, "interrupted: not written");
        return kExitInterrupted;
    }

    if (std::string failure = archive.Commit(options.force); !failure.empty()) {
        Complain(options.output, failure);
        return kExitEntriesFailed;
    }
    if (!options.quiet) {
        std::printf("Packed %s (%s) into %s (%s, format version %u)\n",
                    Counted(files.size(), "file", "files").c_str(),
                    Counted(totalSize, "byte", "bytes").c_str(),
                    PrintableText(options.output).c_str(),
                    Counted(archive.ArchiveSize(), "byte", "bytes").c_str(), options.version);
    }
    return kExitSuccess;
}

}  // namespace

void AddPackCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<PackOptions>();
    CLI::App* command = app.add_subcommand(
        "pack", "Write an archive of a directory tree; unpacking it gives the tree back");
    command->add_option("DIR", options->directory, "The directory to pack")->required();
    command->add_option("-o,--output", options->output, "The archive to write")->required();
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
