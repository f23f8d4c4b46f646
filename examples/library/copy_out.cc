// Copies a directory of an archive, with everything beneath it, into a
// directory of the host that exists:   copy_out ARCHIVE DIR OUTDIR
// Every file is written under a temporary name and takes its own name only
// when complete, and every directory is held open while it is filled, so
// that nothing is written outside OUTDIR whatever others do meanwhile.
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <tarnvfs/tarnvfs.h>

namespace {

int failures = 0;

void Fail(const std::string& path, const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
    ++failures;
}

// Copies the file `path` of `source` to `name` in the held directory `target`.
void CopyFile(vfs::FileSystemRef& source, const std::string& path, vfs::FileSystemRef& target,
              const std::string& name) {
    vfs::StreamRef in;
    if (source.OpenFile(in, path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ).Failed()) {
        return Fail(path, vfs::LastError().text);
    }
    vfs::TemporaryFile out;  // deleted again unless put in place
    if (out.Create(target, name).Failed()) {
        return Fail(path, "cannot be created");
    }
    static char buffer[65536];
    int32_t n;
    while ((n = in.Read(buffer, sizeof buffer)) > 0) {
        if (out.Stream().Write(buffer, n) != n) {
            return Fail(path, "cannot be written");
        }
    }
    if (n < 0) {
        return Fail(path, "cannot be read");
    }
    if (out.PutInPlace(/*replace=*/true).Failed()) {
        Fail(path, "cannot be put in place");
    }
}

// Copies the archive directory `dir` ("" for the top, else ending with "\").
void CopyDirectory(vfs::FileSystemRef& source, const std::string& dir, vfs::FileSystemRef& target) {
    std::vector<std::pair<std::string, bool>> entries;  // name, is a directory
    vfs::FindData found;
    for (vfs::Result r = source.FindFirst((dir + "*").c_str(), &found); r.Succeeded();
         r = source.FindNext(&found)) {
        entries.emplace_back(found.name, (found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    for (const auto& [name, isDirectory] : entries) {
        if (!isDirectory) {
            CopyFile(source, dir + name, target, name);
            continue;
        }
        // Made if missing, then held: a link put in its place is refused.
        target.CreateDirectory(name.c_str());
        vfs::FileSystemRef held;
        if (held.OpenHeldDirectory(target, name.c_str()).Failed()) {
            Fail(dir + name, "is not a directory that can be entered");
            continue;
        }
        CopyDirectory(source, dir + name + "\\", held);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: copy_out ARCHIVE DIR OUTDIR\n");
        return 2;
    }
    vfs::SetBaseDirectory(std::filesystem::current_path().string().c_str());
    // "ARCHIVE*\DIR": the archive, with DIR inside it as the top.
    const std::string inside = std::string(argv[1]) + vfs::ARCHIVE_SEPARATOR + argv[2];
    vfs::FileSystemRef source;
    vfs::ErrorReason why;
    if (source.OpenArchive(inside.c_str(), 0, &why).Failed()) {
        std::fprintf(stderr, "%s %s\n", inside.c_str(), why.text.c_str());
        return 2;
    }
    vfs::FileSystemRef target;
    if (target.OpenHeldDirectory(argv[3]).Failed()) {
        std::fprintf(stderr, "%s: cannot be opened as a directory\n", argv[3]);
        return 2;
    }
    CopyDirectory(source, "", target);
    std::printf("copied %s into %s, %d failed\n", argv[2], argv[3], failures);
    return failures == 0 ? 0 : 1;
}
