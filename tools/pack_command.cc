// `tarnwad pack DIR -o OUT.wad`: an archive of a directory tree.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/exit_codes.h"
#include "tools/path_argument.h"
#include "tools/text_format.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
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
    bool verbose = false;
    bool quiet = false;
};

// Deeper trees than this are taken for a loop of directory links.
constexpr int kMaxDepth = 128;
constexpr int32_t kWriteBlock = 1 << 20;

// One file found below the packed directory.
struct PackFile {
    std::string path;  // the archive path: "\" separated, as found on disk
};

// Walks the packed directory through the library's host file system and
// collects the files, with every name the archive cannot hold safely.
class TreeReader {
  public:
    TreeReader(vfs::FileSystemRef& root, std::string hostRoot, std::string skipPath)
        : fs(root), host(std::move(hostRoot)), skip(std::move(skipPath)) {}

    void Read(const std::string& relative, int depth);

    std::vector<PackFile> files;
    std::vector<std::string> problems;  // "<path>: <reason>"
    std::vector<std::string> emptyDirectories;

  private:
    vfs::FileSystemRef& fs;
    std::string host;
    std::string skip;
};

void TreeReader::Read(const std::string& relative, int depth) {
    if (depth > kMaxDepth) {
        problems.push_back(DisplayPath(relative) + ": lies too deep (a loop of directory links?)");
        return;
    }
    // One enumeration at a time per file system: collect, then descend.
    std::vector<std::pair<std::string, bool>> names;
    vfs::FindData found;
    std::string pattern = relative + "*";
    for (vfs::Result r = fs.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = fs.FindNext(&found)) {
        std::string name = found.name;
        if (name == "." || name == "..") {
            continue;
        }
        names.emplace_back(name, (found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    if (names.empty() && !relative.empty()) {
        emptyDirectories.push_back(relative);
    }
    for (const auto& [name, isDirectory] : names) {
        std::string path = relative + name;
        std::string shown = DisplayPath(relative) + PrintableText(name);
        // A "\" inside a host name would read as a separator in the archive.
        if (name.find('\\') != std::string::npos) {
            problems.push_back(shown + ": has a \"\\\" in its name");
            continue;
        }
        if (auto reason = vfs::CheckWadPath(path.data(), static_cast<uint32_t>(path.size()))) {
            problems.push_back(shown + ": " + vfs::WadRejectReasonText(*reason));
            continue;
        }
        if (isDirectory) {
            Read(path + "\\", depth + 1);
            continue;
        }
        std::string hostPath = host + "/" + DisplayPath(path);
        std::error_code error;
        if (!std::filesystem::is_regular_file(hostPath, error)) {
            problems.push_back(shown + ": is not a regular file");
            continue;
        }
        if (std::filesystem::equivalent(hostPath, skip, error)) {
            continue;  // the archive being replaced
        }
        if (path.size() > vfs::WAD_MAX_PATH_LENGTH) {
            problems.push_back(shown + ": its path is longer than an archive can hold");
            continue;
        }
        files.push_back(PackFile{path});
    }
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

// Reads the whole file `path` of `fs`; false when it cannot be read in full.
bool ReadWholeFile(vfs::FileSystemRef& fs, const std::string& path, std::vector<uint8_t>& bytes,
                   std::string& why) {
    vfs::StreamRef input;
    if (fs.OpenFile(input, path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0).Failed()) {
        why = "cannot be opened for reading";
        return false;
    }
    int32_t size = input.GetSize();
    if (size < 0) {
        why = "is too large for an archive";
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    int32_t done = 0;
    while (done < size) {
        int32_t n = input.Read(bytes.data() + done, size - done);
        if (n < 1) {
            break;
        }
        done += n;
    }
    if (done != size) {
        why = "could not be read in full";
        return false;
    }
    return true;
}

// The stored bytes and flags `coding` gives `bytes`, as the writer codes them.
struct CodedEntry {
    std::vector<uint8_t> stored;
    uint32_t flags = 0;
};

CodedEntry Code(const std::vector<uint8_t>& bytes, vfs::WadCoding coding) {
    vfs::WadWriter one(2);
    CodedEntry coded;
    if (one.AddFile("x", bytes, coding).Failed()) {
        coded.stored = bytes;
        return coded;
    }
    std::vector<uint8_t> archive = one.Finish();
    vfs::WadEntryRecord record =
        vfs::WadEntryRecord::Decode(archive.data() + vfs::WadRecordOffset(0));
    coded.flags = record.flags;
    coded.stored.assign(archive.begin() + record.dataOffset,
                        archive.begin() + record.dataOffset + record.storedSize);
    return coded;
}

// The smallest of the stored, LZ and zlib-framed forms of `bytes`; stored
// unless a coding makes them shorter.
CodedEntry Smallest(const std::vector<uint8_t>& bytes) {
    CodedEntry best;
    best.stored = bytes;
    for (vfs::WadCoding coding : {vfs::WadCoding::LZ, vfs::WadCoding::ZLIB}) {
        CodedEntry candidate = Code(bytes, coding);
        if (candidate.stored.size() < best.stored.size()) {
            best = std::move(candidate);
        }
    }
    return best;
}

// Writes `archive` to a new temporary file beside `output`, then renames it
// to `output`, so that no half-written archive ever bears its name. Empty on
// success, otherwise why it failed.
std::string WriteArchive(const std::vector<uint8_t>& archive, const std::string& output,
                         bool force) {
    std::filesystem::path target(output);
    std::string directory = target.parent_path().string();
    std::string name = target.filename().string();
    vfs::FileSystemRef fs;
    if (fs.OpenDirectory(directory.c_str()).Failed()) {
        return "its directory " + directory + " cannot be opened";
    }
    std::random_device random;
    std::string temporary;
    vfs::StreamRef out;
    for (int attempt = 0; attempt < 10 && out.Get() == nullptr; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof(suffix), "%08x", static_cast<unsigned>(random()));
        temporary = "." + name + "." + suffix + ".tmp";
        fs.OpenFile(out, temporary.c_str(),
                    vfs::OPEN_WRITE | vfs::OPEN_CREATE | vfs::OPEN_CREATE_NEW, 0);
    }
    if (out.Get() == nullptr) {
        return "cannot be created in " + directory;
    }
    size_t done = 0;
    bool written = true;
    while (done < archive.size() && written) {
        int32_t chunk = static_cast<int32_t>(std::min<size_t>(archive.size() - done, kWriteBlock));
        int32_t n = out.Write(archive.data() + done, chunk);
        written = n == chunk;
        done += static_cast<size_t>(chunk);
    }
    written = written && out.Flush().Succeeded();
    out.Reset();
    if (!written) {
        fs.Delete(temporary.c_str());
        return "cannot be written (disk full?)";
    }
    if (!force) {
        // Refuses to replace a file that appeared meanwhile.
        if (fs.Move(temporary.c_str(), name.c_str()).Failed()) {
            fs.Delete(temporary.c_str());
            return "already exists; add --force to replace it";
        }
        return {};
    }
    std::error_code error;
    std::filesystem::rename(directory + "/" + temporary, output, error);
    if (error) {
        fs.Delete(temporary.c_str());
        return "cannot be replaced: " + error.message();
    }
    return {};
}

int RunPack(const PackOptions& options) {
    std::string directory = AbsolutePath(options.directory);
    std::string output = AbsolutePath(options.output);
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
    TreeReader reader(tree, directory, output);
    reader.Read("", 0);
    // A stable order, whatever order the host lists names in: by the paths
    // as the archive reports them (letters folded), byte for byte.
    std::vector<PackFile>& files = reader.files;
    std::sort(files.begin(), files.end(), [](const PackFile& a, const PackFile& b) {
        return FoldCase(a.path) < FoldCase(b.path);
    });
    FindCaseClashes(files, reader.problems);
    if (!options.quiet) {
        for (const std::string& empty : reader.emptyDirectories) {
            Complain(DisplayPath(empty), "empty directory not packed: archives hold only files");
        }
    }
    if (!reader.problems.empty()) {
        for (const std::string& problem : reader.problems) {
            std::fprintf(stderr, "tarnwad: %s\n", problem.c_str());
        }
        Complain(options.output, "not written: the names above cannot be packed safely");
        return kExitEntriesFailed;
    }

    vfs::WadWriter writer(options.version);
    uint64_t totalSize = 0;
    for (const PackFile& file : files) {
        std::vector<uint8_t> bytes;
        std::string why;
        if (!ReadWholeFile(tree, file.path, bytes, why)) {
            Complain(DisplayPath(file.path), why);
            Complain(options.output, "not written");
            return kExitEntriesFailed;
        }
        vfs::Result added;
        if (options.codec == "auto") {
            CodedEntry coded = Smallest(bytes);
            added = writer.AddRawEntry(file.path.c_str(), coded.stored.data(), coded.stored.size(),
                                       coded.flags, static_cast<uint32_t>(bytes.size()));
        } else {
            vfs::WadCoding coding = options.codec == "lz"     ? vfs::WadCoding::LZ
                                    : options.codec == "zlib" ? vfs::WadCoding::ZLIB
                                                              : vfs::WadCoding::STORED;
            added = writer.AddFile(file.path.c_str(), bytes, coding);
        }
        if (added.Failed()) {
            Complain(options.output, "not written: the archive would grow beyond 2 GiB");
            return kExitEntriesFailed;
        }
        totalSize += bytes.size();
        if (options.verbose) {
            std::printf("%s\n", DisplayPath(file.path).c_str());
        }
    }

    std::vector<uint8_t> archive = writer.Finish();
    std::string failure = WriteArchive(archive, output, options.force);
    if (!failure.empty()) {
        Complain(options.output, failure);
        return kExitEntriesFailed;
    }
    if (!options.quiet) {
        std::printf("Packed %zu files (%" PRIu64 " bytes) into %s (%zu bytes, format version %u)\n",
                    files.size(), totalSize, options.output.c_str(), archive.size(),
                    options.version);
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
    CLI::Option* verbose =
        command->add_flag("-v,--verbose", options->verbose, "Name each file as it is packed");
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors")->excludes(verbose);
    command->callback([options, &exitCode] { exitCode = RunPack(*options); });
}

}  // namespace tarnwad::cli
