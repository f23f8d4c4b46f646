// `tarnwad pack DIR -o OUT.wad`: an archive of a directory tree.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/host_path_check.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/exclude_filter.h"
#include "tools/exclude_option.h"
#include "tools/exit_codes.h"
#include "tools/ordered_work_queue.h"
#include "tools/pack/host_reason.h"
#include "tools/pack/temporary_archive.h"
#include "tools/pack/tree_reader.h"
#include "tools/path_argument.h"
#include "tools/progress_line.h"
#include "tools/text_format.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_names.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/terminal.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_writer.h"

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

// `text` with A-Z folded to a-z, as the archive folds names.
std::string FoldCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Paths that differ only in the letter case: the archive folds names to
// lower case, so only the first of such paths could ever be read.
void FindCaseClashes(const std::vector<PackFile>& files, std::vector<std::string>& problems) {
    std::map<std::string, std::string> seen;  // folded -> as found, files and their directories
    for (const PackFile& file : files) {
        std::string path = file.path;
        for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
            std::string part = end == std::string::npos ? path : path.substr(0, end);
            auto [it, added] = seen.emplace(FoldCase(part), part);
            if (!added && it->second != part) {
                problems.push_back(DisplayPath(part) + ": differs from " + DisplayPath(it->second) +
                                   " only in letter case, which the archive ignores");
                break;
            }
            if (end == std::string::npos) {
                break;
            }
        }
    }
}

// What one coding thread keeps from one file to the next.
struct PackWorker {
    vfs::FileSystemRef tree;  // the packed directory, opened for this thread
    vfs::WadEntryCoder coder;
    std::unique_ptr<uint8_t[]> buffer;  // the bytes of the file being coded
    size_t bufferSize = 0;
    std::vector<uint8_t> other;  // the zlib-framed candidate of `auto`

    // Room for `size` bytes in `buffer`, without filling it first.
    uint8_t* Room(size_t size) {
        if (buffer == nullptr || size > bufferSize) {
            bufferSize = std::max<size_t>(size, 1);
            buffer.reset(new uint8_t[bufferSize]);
        }
        return buffer.get();
    }
};

// Reads the whole file `path` of `fs` into the worker's buffer, `size`
// bytes; false, with why in `why`, when it cannot be read in full.
bool ReadWholeFile(PackWorker& worker, const std::string& path, size_t& size, std::string& why) {
    vfs::StreamRef input;
    // Opened beneath the held tree, never through a link: one swapped in
    // for the file, or for a directory on its way, since the walk found it
    // makes the open fail.
    vfs::host::ClearLastError();
    if (worker.tree.OpenFile(input, path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0)
            .Failed()) {
        why = "cannot be opened for reading" + HostReason();
        return false;
    }
    int32_t length = input.GetSize();
    if (length < 0) {
        why = "is too large for an archive";
        return false;
    }
    uint8_t* bytes = worker.Room(static_cast<size_t>(length));
    int32_t done = 0;
    while (done < length) {
        int32_t n = input.Read(bytes + done, length - done);
        if (n < 1) {
            break;
        }
        done += n;
    }
    if (done != length) {
        why = "could not be read in full";
        return false;
    }
    size = static_cast<size_t>(length);
    return true;
}

// A file read and coded, ready to be added to the archive.
struct PackedFile {
    bool interrupted = false;  // not read: Ctrl+C came first
    std::string failure;       // why it could not be read; empty when it was
    std::vector<uint8_t> stored;
    uint32_t flags = 0;
    uint32_t size = 0;  // its bytes, as read
};

// Reads `file` through the worker's tree and codes it as `codec` says: the
// smallest of the stored, LZ and zlib-framed forms for "auto" (stored unless
// a coding makes it shorter; LZ when zlib is no shorter), otherwise as the
// writer's AddFile codes it.
PackedFile PackOne(const PackFile& file, const std::string& codec, PackWorker& worker) {
    PackedFile packed;
    if (vfs::host::InterruptRequested()) {
        packed.interrupted = true;
        return packed;
    }
    size_t size = 0;
    if (!ReadWholeFile(worker, file.source, size, packed.failure)) {
        return packed;
    }
    const uint8_t* bytes = worker.buffer.get();
    packed.size = static_cast<uint32_t>(size);
    if (codec == "auto") {
        size_t best = size;
        packed.flags = worker.coder.Code(bytes, size, vfs::WadCoding::LZ, packed.stored);
        if (packed.flags != 0 && packed.stored.size() < best) {
            best = packed.stored.size();
        } else {
            packed.flags = 0;
        }
        uint32_t zlib = worker.coder.Code(bytes, size, vfs::WadCoding::ZLIB, worker.other);
        if (zlib != 0 && worker.other.size() < best) {
            packed.flags = zlib;
            packed.stored.swap(worker.other);
        }
    } else {
        const vfs::WadCoding coding = codec == "lz"     ? vfs::WadCoding::LZ
                                      : codec == "zlib" ? vfs::WadCoding::ZLIB
                                                        : vfs::WadCoding::STORED;
        packed.flags = worker.coder.Code(bytes, size, coding, packed.stored);
    }
    if (packed.flags == 0) {
        packed.stored.assign(bytes, bytes + size);
    }
    return packed;
}

// Writes `archive`, held whole by the writer, through a temporary file in
// the held `directory` renamed to `name`. Empty on success, otherwise why it
// failed.
std::string WriteArchive(const vfs::WadWriter& archive, const vfs::FileSystemRef& directory,
                         const std::string& name, bool force) {
    TemporaryArchive file;
    if (std::string failure = file.Create(directory, name); !failure.empty()) {
        return failure;
    }
    if (!archive.WriteTo(
            [](const uint8_t* bytes, size_t size, void* userValue) {
                return static_cast<TemporaryArchive*>(userValue)->Append(bytes, size);
            },
            &file)) {
        file.Discard();
        return "cannot be written (disk full?)";
    }
    return file.Commit(force);
}

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
        Complain(options.directory, "cannot be packed" + HostReason());
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
        Complain(options.output,
                 "cannot be written: its directory cannot be opened" + HostReason());
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

    TreeReader reader(tree, directory, options.directory, options.dereference);
    const ExcludeFilter exclusions(options.excludes);
    reader.exclusions = &exclusions;
    reader.skipSpecial = options.skipSpecial;
    if (auto found = std::make_unique<vfs::FindData>();
        exists && LookUpExactly(archiveDirectory, outputName, found.get())) {
        reader.skip = existing;
        reader.skipSize = found->size;
    }
    reader.Read();
    // A stable order, whatever order the host lists names in: by the paths
    // as the archive reports them (letters folded), byte for byte.
    std::vector<PackFile> files;
    {
        std::vector<std::pair<std::string, size_t>> keys;  // folded path, index
        keys.reserve(reader.files.size());
        for (size_t i = 0; i < reader.files.size(); ++i) {
            keys.emplace_back(FoldCase(reader.files[i].path), i);
        }
        std::sort(keys.begin(), keys.end());
        files.reserve(keys.size());
        for (const auto& key : keys) {
            files.push_back(std::move(reader.files[key.second]));
        }
    }
    FindCaseClashes(files, reader.problems);
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

    const ProgressStyle style = options.quiet     ? ProgressStyle::kSilent
                                : options.verbose ? ProgressStyle::kVerbose
                                : vfs::host::IsTerminal(vfs::host::StandardStream::Error)
                                    ? ProgressStyle::kBar
                                    : ProgressStyle::kSilent;
    ProgressLine progress(style, style == ProgressStyle::kBar ? stderr : stdout,
                          vfs::host::TerminalColumns(vfs::host::StandardStream::Error));
    if (style == ProgressStyle::kBar) {
        // The sizes the walk found.
        std::map<std::string, uint64_t> sizes;
        uint64_t bytes = 0;
        for (const PackFile& file : files) {
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
    std::vector<PackWorker> workers(
        options.jobs <= 1 ? 1 : std::max<size_t>(1, std::min<size_t>(options.jobs, files.size())));
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
            return PackOne(files[index], options.codec, workers[worker]);
        });

    // The archive goes to its temporary file as the files are added, its
    // front (header, records and names, whose size the paths tell) in place
    // at the end, so that its bytes are never all in memory and most are
    // written while files are still coded. Should the file not be created,
    // or a write fail, nothing is said until every file is added, as when
    // the archive is written at the end: then the writer holds the archive
    // and writing it says why it failed, or the write failure is told.
    vfs::WadWriter writer(options.version);
    TemporaryArchive streamed;
    const bool streaming = streamed.Create(archiveDirectory, outputName).empty();
    bool streamFailed = false;
    uint64_t frontSize = vfs::WadRecordOffset(static_cast<uint32_t>(files.size()));
    for (const PackFile& file : files) {
        frontSize += file.path.size() + 1;
    }
    if (streaming) {
        static const uint8_t zeros[4096] = {};
        for (uint64_t left = frontSize; left > 0 && !streamFailed;) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, sizeof(zeros)));
            streamFailed = !streamed.Append(zeros, piece);
            left -= piece;
        }
    }
    uint64_t totalSize = 0;
    for (const PackFile& file : files) {
        if (vfs::host::InterruptRequested()) {
            progress.Finish();
            Complain(options.output, "interrupted: not written");
            return kExitInterrupted;
        }
        progress.Status(file.path.c_str());
        PackedFile packed = queue.Take();
        if (packed.interrupted) {
            progress.Finish();
            Complain(options.output, "interrupted: not written");
            return kExitInterrupted;
        }
        if (!packed.failure.empty()) {
            return fail(DisplayPath(file.path), packed.failure);
        }
        const vfs::Result added =
            streaming ? writer.AddPlacedEntry(file.path.c_str(), packed.stored.size(), packed.flags,
                                              packed.size)
                      : writer.AddRawEntry(file.path.c_str(), std::move(packed.stored),
                                           packed.flags, packed.size);
        if (streaming && added.Succeeded() && !streamFailed) {
            streamFailed = !streamed.Append(packed.stored.data(), packed.stored.size());
        }
        if (added.Failed()) {
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

    std::string failure;
    if (!streaming) {
        failure = WriteArchive(writer, archiveDirectory, outputName, options.force);
    } else {
        std::vector<uint8_t> front;
        front.reserve(static_cast<size_t>(frontSize));
        writer.WriteFront(
            [](const uint8_t* bytes, size_t size, void* userValue) {
                auto* into = static_cast<std::vector<uint8_t>*>(userValue);
                into->insert(into->end(), bytes, bytes + size);
                return true;
            },
            &front);
        if (streamFailed || front.size() != frontSize ||
            !streamed.WriteFromStart(front.data(), front.size())) {
            streamed.Discard();
            failure = "cannot be written (disk full?)";
        } else {
            failure = streamed.Commit(options.force);
        }
    }
    if (!failure.empty()) {
        Complain(options.output, failure);
        return kExitEntriesFailed;
    }
    if (!options.quiet) {
        std::printf("Packed %s (%s) into %s (%s, format version %u)\n",
                    Counted(files.size(), "file", "files").c_str(),
                    Counted(totalSize, "byte", "bytes").c_str(),
                    PrintableText(options.output).c_str(),
                    Counted(writer.ArchiveSize(), "byte", "bytes").c_str(), options.version);
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
    CLI::Option* verbose =
        command->add_flag("-v,--verbose", options->verbose, "Name each file as it is packed");
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors")->excludes(verbose);
    command
        ->add_option("-j,--jobs", options->jobs,
                     "Read and code files on this many threads (default: the number of cores); "
                     "1 reads and codes them one after another. The archive is the same, byte "
                     "for byte, whatever the number")
        ->check(CLI::Range(1u, 256u));
    command->callback([options, &exitCode] { exitCode = RunPack(*options); });
}

}  // namespace tarnwad::cli
