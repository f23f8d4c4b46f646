// `tarnwad pack DIR -o OUT.wad`: an archive of a directory tree.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
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
#include "tools/path_argument.h"
#include "tools/progress_line.h"
#include "tools/text_format.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/terminal.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_rejected_record.h"
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

// Deeper trees than this are taken for a loop of directory links.
constexpr int kMaxDepth = 128;
// More names than this reached through followed links to directories are
// taken for a web of such links that multiplies the tree: each level of two
// links to the next doubles it, without any loop.
constexpr size_t kMaxLinkedNames = size_t{1} << 16;
constexpr int32_t kWriteBlock = 1 << 20;
// What the files read, being coded or coded and not yet added to the archive
// may take, per coding thread and one more; each file counts its size and
// kEntryCost more.
constexpr uint64_t kMemoryPerJob = 32ull << 20;
constexpr uint64_t kEntryCost = 1024;

// One file found below the packed directory.
struct PackFile {
    std::string path;    // the archive path: "\" separated, as found on disk
    std::string source;  // where its bytes are read, relative to the packed
                         // directory: `path`, or what a followed link leads to
    uint64_t size = 0;   // as the walk found it
};

// `target` relative to `root` when it lies inside it (empty for `root`
// itself); both are canonical paths.
std::optional<std::filesystem::path> InsideOf(const std::filesystem::path& root,
                                              const std::filesystem::path& target) {
    auto [r, t] = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    if (r != root.end()) {
        return std::nullopt;
    }
    std::filesystem::path rest;
    for (; t != target.end(); ++t) {
        rest /= *t;
    }
    return rest;
}

// Walks the packed directory through the library's host file system and
// collects the files, with every name the archive cannot hold safely.
// Symbolic links are never followed unless `dereference`: each is skipped
// with a warning. With `dereference`, a link is followed only when what it
// leads to lies inside the packed directory and is not a directory the walk
// is already in.
class TreeReader {
  public:
    TreeReader(vfs::FileSystemRef& root, std::string hostRoot, std::string skipPath,
               bool dereference);

    void Read() { ReadDirectory("", "", 0, false); }

    std::vector<PackFile> files;
    std::vector<std::string> problems;  // "<path>: <reason>", each refuses the pack
    std::vector<std::string> warnings;  // "<path>: <reason>", each only skipped
    std::vector<std::string> emptyDirectories;
    // Names left out of the walk altogether (not owned; may be null).
    const ExcludeFilter* exclusions = nullptr;
    // Whether what cannot be packed (FIFOs, sockets, devices, links that
    // lead nowhere) is skipped with a warning instead of refusing the pack.
    bool skipSpecial = false;

  private:
    // Reads the directory `source` (relative to the packed one, ending in
    // "\" unless empty) into the archive directory `relative`;
    // `throughLink` when a followed link to a directory leads there.
    void ReadDirectory(const std::string& relative, const std::string& source, int depth,
                       bool throughLink);
    // Where the link `shown` at `hostPath` leads, relative to the packed
    // directory in the library's form ("\" separated), when it may be
    // followed, with its canonical path in `target`; otherwise records why
    // not.
    std::optional<std::string> FollowLink(const std::string& shown,
                                          const std::filesystem::path& hostPath,
                                          std::filesystem::path& target);
    // Whether the canonical `directory` is one of those the walk is in.
    bool OnTheWalk(const std::filesystem::path& directory) const {
        return std::find(walk.begin(), walk.end(), directory) != walk.end();
    }
    std::filesystem::path HostPath(const std::string& source) const {
        return std::filesystem::path(host + "/" + DisplayPath(source));
    }

    vfs::FileSystemRef& fs;
    std::string host;
    std::filesystem::path canonicalHost;
    std::string skip;
    // Whether `skip` was there when the walk began, and its size then: only
    // a file of that size can be it.
    bool skipFound = false;
    uint64_t skipSize = 0;
    bool dereference;
    // Kept off the stack: the walk recurses, and a record holds a whole path.
    std::unique_ptr<vfs::FindData> found = std::make_unique<vfs::FindData>();
    // The canonical paths of the directories being read, outermost first.
    // Every directory is read by its canonical path relative to the packed
    // one (a followed link gives that of what it leads to, and a name that is
    // not a link keeps a path canonical), so these are its canonical paths.
    std::vector<std::filesystem::path> walk;
    size_t linkedNames = 0;
    bool stopped = false;
};

TreeReader::TreeReader(vfs::FileSystemRef& root, std::string hostRoot, std::string skipPath,
                       bool followLinks)
    : fs(root), host(std::move(hostRoot)), skip(std::move(skipPath)), dereference(followLinks) {
    std::error_code error;
    canonicalHost = std::filesystem::canonical(host, error);
    if (error) {
        canonicalHost = std::filesystem::path(host).lexically_normal();
    }
    skipSize = std::filesystem::file_size(skip, error);
    skipFound = !error;
}

std::optional<std::string> TreeReader::FollowLink(const std::string& shown,
                                                  const std::filesystem::path& hostPath,
                                                  std::filesystem::path& target) {
    std::error_code error;
    target = std::filesystem::canonical(hostPath, error);
    if (error == std::errc::too_many_symbolic_link_levels) {
        problems.push_back(shown + ": is a symbolic link in a loop of links; not followed");
        return std::nullopt;
    }
    if (error) {
        (skipSpecial ? warnings : problems)
            .push_back(shown + ": is a symbolic link that leads nowhere (" +
                       PrintableText(error.message()) + ")" + (skipSpecial ? "; skipped" : ""));
        return std::nullopt;
    }
    std::optional<std::filesystem::path> inside = InsideOf(canonicalHost, target);
    if (!inside) {
        problems.push_back(shown + ": is a symbolic link to " + PrintableText(target.string()) +
                           ", outside the packed directory; not followed");
        return std::nullopt;
    }
    std::string source;
    for (const std::filesystem::path& part : *inside) {
        std::string name = part.string();
        if (name.find('\\') != std::string::npos) {
            problems.push_back(shown + ": leads to " + PrintableText(target.string()) +
                               ", whose path has a \"\\\" in a name");
            return std::nullopt;
        }
        source += (source.empty() ? "" : "\\") + name;
    }
    return source;
}

void TreeReader::ReadDirectory(const std::string& relative, const std::string& source, int depth,
                               bool throughLink) {
    if (stopped) {
        return;
    }
    if (depth > kMaxDepth) {
        problems.push_back(DisplayPath(relative) + ": lies too deep (a loop of directory links?)");
        return;
    }
    // One enumeration at a time per file system: collect, then descend.
    struct Found {
        std::string name;
        uint32_t attributes;  // as the enumeration found them
        uint64_t size;
    };
    std::vector<Found> entries;
    std::string pattern = source + "*";
    for (vfs::Result r = fs.FindFirst(pattern.c_str(), found.get()); r.Succeeded();
         r = fs.FindNext(found.get())) {
        std::string name = found->name;
        if (name == "." || name == "..") {
            continue;
        }
        if (throughLink && ++linkedNames > kMaxLinkedNames) {
            problems.push_back(DisplayPath(relative.substr(0, relative.size() - 1)) +
                               ": more than " + std::to_string(kMaxLinkedNames) +
                               " names reached through links to directories (a web of links?)");
            stopped = true;
            return;
        }
        entries.push_back(Found{name, found->attributes, found->size});
    }
    if (entries.empty() && !relative.empty()) {
        emptyDirectories.push_back(relative);
    }
    walk.push_back(source.empty()
                       ? canonicalHost
                       : canonicalHost / DisplayPath(source.substr(0, source.size() - 1)));
    for (const auto& [name, attributes, foundSize] : entries) {
        if (stopped) {
            break;
        }
        std::string path = relative + name;
        if (exclusions != nullptr && exclusions->Excludes(path)) {
            continue;
        }
        std::string from = source + name;
        std::string shown = DisplayPath(relative) + PrintableText(name);
        std::filesystem::path hostPath = HostPath(from);
        std::error_code error;
        // What the enumeration found to be neither a directory, a link nor
        // anything else but a file, and not empty, is a regular file: the
        // host looked at it a moment ago (an entry gone by then is reported
        // empty), and one more look would cost a lookup of the whole path.
        // Everything else is looked at again.
        const bool markedLink = (attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        const bool plainFile =
            (attributes & (vfs::FILE_ATTRIBUTE_DIRECTORY | vfs::FILE_ATTRIBUTE_DEVICE |
                           vfs::FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
            foundSize != 0;
        std::filesystem::file_status status =
            plainFile ? std::filesystem::file_status(std::filesystem::file_type::regular)
                      : std::filesystem::symlink_status(hostPath, error);
        bool link = markedLink || std::filesystem::is_symlink(status);
        if (link && !dereference) {
            // Whatever it leads to, inside the tree or out, or nowhere.
            warnings.push_back(shown + ": is a symbolic link; not packed");
            continue;
        }
        // A "\" inside a host name would read as a separator in the archive.
        if (name.find('\\') != std::string::npos) {
            problems.push_back(shown + ": has a \"\\\" in its name");
            continue;
        }
        if (auto reason = vfs::CheckWadPath(path.data(), static_cast<uint32_t>(path.size()))) {
            problems.push_back(shown + ": " + vfs::WadRejectReasonText(*reason));
            continue;
        }
        if (link) {
            std::filesystem::path target;
            std::optional<std::string> inside = FollowLink(shown, hostPath, target);
            if (!inside) {
                continue;
            }
            from = *inside;
            hostPath = HostPath(from);
            status = std::filesystem::status(hostPath, error);
            if (std::filesystem::is_directory(status) && OnTheWalk(target)) {
                problems.push_back(shown +
                                   ": leads back to a directory it lies in (a loop); "
                                   "not followed");
                continue;
            }
        }
        if (std::filesystem::is_directory(status)) {
            ReadDirectory(path + "\\", from.empty() ? from : from + "\\", depth + 1,
                          throughLink || link);
            continue;
        }
        if (!std::filesystem::is_regular_file(status)) {
            if (skipSpecial) {
                warnings.push_back(shown + ": is not a regular file; skipped");
            } else {
                problems.push_back(shown +
                                   ": is not a regular file (add --skip-special to skip it)");
            }
            continue;
        }
        // (What a link leads to was found under the link's name: its size
        // may be the link's own.)
        if (skipFound && (link || foundSize == static_cast<uint32_t>(skipSize)) &&
            std::filesystem::equivalent(hostPath, skip, error)) {
            continue;  // the archive being replaced
        }
        if (path.size() > vfs::WAD_MAX_PATH_LENGTH) {
            problems.push_back(shown + ": its path is longer than an archive can hold");
            continue;
        }
        // What a followed link leads to has a size of its own.
        uint64_t size = foundSize;
        if (link) {
            std::error_code sizeError;
            size = std::filesystem::file_size(hostPath, sizeError);
            size = sizeError ? 0 : size;
        }
        files.push_back(PackFile{path, from, size});
    }
    walk.pop_back();
}

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
    if (worker.tree.OpenFile(input, path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0)
            .Failed()) {
        why = "cannot be opened for reading";
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

// Reads `file` below `directory` and codes it as `codec` says: the smallest
// of the stored, LZ and zlib-framed forms for "auto" (stored unless a coding
// makes it shorter; LZ when zlib is no shorter), otherwise as the writer's
// AddFile codes it.
PackedFile PackOne(const PackFile& file, const std::string& directory, const std::string& codec,
                   PackWorker& worker) {
    PackedFile packed;
    if (vfs::host::InterruptRequested()) {
        packed.interrupted = true;
        return packed;
    }
    // The walk found a regular file here; a link put in its place since is
    // not followed.
    std::error_code linkError;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(
            directory + "/" + DisplayPath(file.source), linkError))) {
        packed.failure = "became a symbolic link while being packed";
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

// The archive being written: a new temporary file beside the output,
// renamed to the output once complete, so that no half-written archive ever
// bears its name. Deleted unless committed.
class TemporaryArchive {
  public:
    ~TemporaryArchive() { Discard(); }

    // Creates the file beside `output`; empty on success, otherwise why not.
    std::string Create(const std::string& output) {
        std::filesystem::path target(output);
        directory = target.parent_path().string();
        name = target.filename().string();
        if (fs.OpenDirectory(directory.c_str()).Failed()) {
            return "its directory " + directory + " cannot be opened";
        }
        std::random_device random;
        for (int attempt = 0; attempt < 10 && out.Get() == nullptr; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof(suffix), "%08x", static_cast<unsigned>(random()));
            temporary = "." + name + "." + suffix + ".tmp";
            fs.OpenFile(out, temporary.c_str(),
                        vfs::OPEN_WRITE | vfs::OPEN_CREATE | vfs::OPEN_CREATE_NEW, 0);
        }
        if (out.Get() == nullptr) {
            temporary.clear();
            return "cannot be created in " + directory;
        }
        return {};
    }

    // Appends `size` bytes: large pieces written from where they lie, small
    // ones gathered into blocks of kWriteBlock bytes first. False once a
    // write has failed.
    bool Append(const uint8_t* bytes, size_t size) {
        if (block.size() + size <= kWriteBlock) {
            block.insert(block.end(), bytes, bytes + size);
            return true;
        }
        if (!Drain()) {
            return false;
        }
        for (size_t done = 0; done < size;) {
            const size_t chunk = std::min<size_t>(size - done, kWriteBlock);
            if (chunk < kWriteBlock) {
                block.assign(bytes + done, bytes + done + chunk);
            } else if (!Put(bytes + done, chunk)) {
                return false;
            }
            done += chunk;
        }
        return true;
    }

    // Writes what Append gathered; false when a write failed.
    bool Drain() {
        const bool put = block.empty() || Put(block.data(), block.size());
        block.clear();
        return put;
    }

    // Writes `size` bytes from the start of the file, over what is there.
    bool WriteFromStart(const uint8_t* bytes, size_t size) {
        if (!Drain() || out.Seek(0, vfs::SEEK_FROM_START) != 0) {
            return false;
        }
        for (size_t done = 0; done < size; done += kWriteBlock) {
            if (!Put(bytes + done, std::min<size_t>(size - done, kWriteBlock))) {
                return false;
            }
        }
        return true;
    }

    // Flushes the file to the disk and renames it to `output` (replacing
    // what has that name only when `force`). Empty on success, otherwise
    // why not, the file deleted.
    std::string Commit(const std::string& output, bool force) {
        const bool written = Drain() && out.Flush().Succeeded();
        out.Reset();
        if (!written) {
            Discard();
            return "cannot be written (disk full?)";
        }
        if (!force) {
            // Refuses to replace a file that appeared meanwhile.
            if (fs.Move(temporary.c_str(), name.c_str()).Failed()) {
                Discard();
                return "already exists; add --force to replace it";
            }
            temporary.clear();
            return {};
        }
        std::error_code error;
        std::filesystem::rename(directory + "/" + temporary, output, error);
        if (error) {
            Discard();
            return "cannot be replaced: " + error.message();
        }
        temporary.clear();
        return {};
    }

    // Closes and deletes the file, if there is one.
    void Discard() {
        out.Reset();
        if (!temporary.empty()) {
            fs.Delete(temporary.c_str());
            temporary.clear();
        }
    }

  private:
    bool Put(const uint8_t* bytes, size_t size) {
        return out.Write(bytes, static_cast<int32_t>(size)) == static_cast<int32_t>(size);
    }

    vfs::FileSystemRef fs;
    vfs::StreamRef out;
    std::string directory;
    std::string name;
    std::string temporary;  // its name in `directory`; empty when there is none
    std::vector<uint8_t> block;
};

// Writes `archive`, held whole by the writer, through a temporary file
// beside `output` renamed to `output`. Empty on success, otherwise why it
// failed.
std::string WriteArchive(const vfs::WadWriter& archive, const std::string& output, bool force) {
    TemporaryArchive file;
    if (std::string failure = file.Create(output); !failure.empty()) {
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
    return file.Commit(output, force);
}

int RunPack(const PackOptions& options) {
    // Ctrl+C stops the pack between files; no archive is written then.
    vfs::host::CatchInterrupts();
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
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) {
        Complain(options.directory, "is not a directory");
        return kExitUsage;
    }
    if (std::filesystem::is_directory(output, error)) {
        Complain(options.output, "is a directory");
        return kExitUsage;
    }
    if (!std::filesystem::is_directory(std::filesystem::path(output).parent_path(), error)) {
        Complain(options.output, "cannot be written: its directory does not exist");
        return kExitUsage;
    }
    if (!options.force && std::filesystem::exists(output, error)) {
        Complain(options.output, "already exists; add --force to replace it");
        return kExitUsage;
    }

    vfs::FileSystemRef tree;
    if (tree.OpenDirectory(directory.c_str()).Failed()) {
        Complain(options.directory, "cannot be opened");
        return kExitUsage;
    }
    TreeReader reader(tree, directory, output, options.dereference);
    const ExcludeFilter exclusions(options.excludes);
    reader.exclusions = &exclusions;
    reader.skipSpecial = options.skipSpecial;
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
        std::map<std::string, uint64_t> sizes;
        uint64_t bytes = 0;
        for (const PackFile& file : files) {
            std::error_code sizeError;
            const uintmax_t size =
                std::filesystem::file_size(directory + "/" + DisplayPath(file.source), sizeError);
            if (!sizeError) {
                sizes[file.path] = size;
                bytes += size;
            }
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
    // Each thread reads through a file system of its own (the first through
    // the walk's); should the directory no longer open, fewer threads code.
    std::vector<PackWorker> workers(
        options.jobs <= 1 ? 1 : std::max<size_t>(1, std::min<size_t>(options.jobs, files.size())));
    workers[0].tree = tree;
    size_t opened = 1;
    while (opened < workers.size() &&
           workers[opened].tree.OpenDirectory(directory.c_str()).Succeeded()) {
        ++opened;
    }
    const unsigned threads = opened > 1 ? static_cast<unsigned>(opened) : 0;
    OrderedWorkQueue<PackedFile> queue(
        files.size(), threads, files.size(), kMemoryPerJob * (threads + 1),
        [&](size_t index) { return files[index].size + kEntryCost; },
        [&](size_t index, unsigned worker) {
            return PackOne(files[index], directory, options.codec, workers[worker]);
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
    const bool streaming = streamed.Create(output).empty();
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
        failure = WriteArchive(writer, output, options.force);
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
            failure = streamed.Commit(output, options.force);
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
