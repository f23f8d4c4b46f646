#include "tools/pack/pack_job.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

#include "app/host_path_check.h"
#include "tools/display_path.h"
#include "tools/pack/archive_output.h"
#include "tools/pack/entry_coder.h"
#include "tools/pack/folded_paths.h"
#include "tools/pack/ordered_work_queue.h"
#include "vfs/core/find_data.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_names.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/standard_streams.h"

namespace tarnwad::pack {

namespace {

// What the files read, being coded or coded and not yet added to the archive
// may take, per coding thread and one more; each file counts its size and
// kEntryCost more.
constexpr uint64_t kMemoryPerJob = 32ull << 20;
constexpr uint64_t kEntryCost = 1024;

}  // namespace

std::optional<PackMessage> PackJob::Prepare() {
    if (request.output == "-" && !request.toStandardOutput) {
        return PackMessage{request.output,
                           "an archive cannot be written to standard output; to write a file "
                           "named \"-\", give ./-"};
    }
    // The library would read a "\" in either path as a separator.
    for (const auto& [given, path] : {std::pair{&request.directory, &request.directoryPath},
                                      std::pair{&request.output, &request.outputPath}}) {
        if (request.toStandardOutput && path == &request.outputPath) {
            continue;
        }
        if (std::string unusable = UnusableHostPath(*path, false); !unusable.empty()) {
            return PackMessage{*given, "cannot be used: " + unusable};
        }
    }
    // The directory to pack, held: every look at the tree and every read
    // from it goes through this handle, beneath it and never through a link
    // (the directory itself may be one: it is the place asked for).
    vfs::host::ClearLastError();
    if (tree.OpenHeldDirectory(request.directoryPath.c_str()).Failed()) {
        return PackMessage{request.directory, "cannot be read" + vfs::host::LastErrorSuffix()};
    }
    if (request.toStandardOutput) {
        const std::string temporary = vfs::host::TemporaryDirectoryPath();
        vfs::host::ClearLastError();
        if (archiveDirectory.OpenHeldDirectory(temporary.c_str()).Failed()) {
            return PackMessage{request.output, "cannot be written: the temporary directory " +
                                                   temporary + " cannot be opened" +
                                                   vfs::host::LastErrorSuffix()};
        }
        outputName = "stdout.wad";
        TreeReader reader(tree, request.directoryPath, request.directory, request.dereference);
        return Walk(reader);
    }
    // The output's directory, held too: the archive is made and renamed in
    // that very directory, whatever its path leads to meanwhile.
    const std::filesystem::path outputPath(request.outputPath);
    outputName = outputPath.filename().string();
    std::error_code error;
    if (std::filesystem::is_directory(outputPath, error)) {
        return PackMessage{request.output, "is a directory"};
    }
    if (outputName.empty() || outputName == "." || outputName == "..") {
        return PackMessage{request.output, "names no file to write"};
    }
    if (const char* unusable = vfs::host::UnusableNameReason(outputName.c_str())) {
        return PackMessage{request.output, std::string("cannot be used: ") + unusable};
    }
    vfs::host::ClearLastError();
    if (archiveDirectory.OpenHeldDirectory(outputPath.parent_path().string().c_str()).Failed()) {
        return PackMessage{request.output, "cannot be written: its directory cannot be opened" +
                                               vfs::host::LastErrorSuffix()};
    }
    // What has the output's name now: kept without `force`; with it, left
    // out of the walk should it lie in the tree (it is being replaced).
    vfs::FileIdentity existing;
    const bool exists = archiveDirectory.GetFileIdentity(outputName.c_str(), &existing).Succeeded();
    if (exists && !request.force) {
        return PackMessage{request.output, "already exists; add --force to replace it"};
    }

    TreeReader reader(tree, request.directoryPath, request.directory, request.dereference);
    if (auto found = std::make_unique<vfs::FindData>();
        exists && LookUpExactly(archiveDirectory, outputName, found.get())) {
        reader.skip = existing;
        reader.skipSize = found->size;
    }
    return Walk(reader);
}

std::optional<PackMessage> PackJob::Walk(TreeReader& reader) {
    reader.exclusions = request.exclusions;
    reader.skipSpecial = request.skipSpecial;
    reader.Read();
    files = InArchiveOrder(std::move(reader.files));
    problems = std::move(reader.problems);
    FindCaseClashes(files, problems);
    warnings = std::move(reader.warnings);
    emptyDirectories = std::move(reader.emptyDirectories);
    return std::nullopt;
}

PackOutcome PackJob::Write(const std::function<void(const PackFile&)>& onFile) {
    PackOutcome outcome;
    auto interrupted = [&] {
        outcome.status = PackOutcome::kInterrupted;
        outcome.failures = {{request.output, "interrupted: not written"}};
        return outcome;
    };
    // The files are read and coded on `jobs` threads (none of its own for
    // one: each file is read and coded when its turn comes), ahead of the
    // loop below within the memory budget, and added to the archive in
    // their order on this thread, so that the archive, the progress and
    // every message are the same whatever the number of threads.
    // Each thread reads through a handle of its own on the held tree (the
    // first through the walk's), beneath it as the walk reads; should no
    // more handles open, fewer threads code.
    std::vector<PackWorker> workers(
        request.jobs <= 1 ? 1 : std::max<size_t>(1, std::min<size_t>(request.jobs, files.size())));
    workers[0].tree = tree;
    size_t opened = 1;
    while (opened < workers.size() &&
           workers[opened].tree.OpenHeldDirectory(tree, "").Succeeded()) {
        ++opened;
    }
    const unsigned threads = opened > 1 ? static_cast<unsigned>(opened) : 0;
    OrderedWorkQueue<PackedFile> queue(
        files.size(), threads, files.size(), kMemoryPerJob * (threads + 1),
        [&](size_t index) { return files[index].size + kEntryCost; },
        [&](size_t index, unsigned worker) {
            return PackOne(files[index], request.codec, workers[worker]);
        });

    ArchiveOutput archive(archiveDirectory, outputName, request.version, files);
    for (const PackFile& file : files) {
        if (vfs::host::InterruptRequested()) {
            return interrupted();
        }
        if (onFile) {
            onFile(file);
        }
        PackedFile packed = queue.Take();
        if (packed.interrupted) {
            return interrupted();
        }
        outcome.status = PackOutcome::kFailed;
        if (!packed.failure.empty()) {
            outcome.failures = {{cli::DisplayPath(file.path), packed.failure},
                                {request.output, "not written"}};
            return outcome;
        }
        if (!archive.Add(file.path, packed)) {
            outcome.failures = {
                {request.output, "not written: the archive would grow beyond 2 GiB"}};
            return outcome;
        }
        outcome.bytesPacked += packed.size;
    }
    if (vfs::host::InterruptRequested()) {
        return interrupted();
    }
    if (std::string failure =
            request.toStandardOutput ? archive.CopyOut(stdout) : archive.Commit(request.force);
        !failure.empty()) {
        outcome.status = PackOutcome::kFailed;
        outcome.failures = {{request.output, failure}};
        return outcome;
    }
    outcome.status = PackOutcome::kWritten;
    outcome.archiveSize = archive.ArchiveSize();
    return outcome;
}

}  // namespace tarnwad::pack
