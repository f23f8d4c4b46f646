// Prints one entry of an archive, decoded, to standard output, or says why
// it cannot:   read_entry ARCHIVE PATH
#include <cstdio>
#include <filesystem>

#include <tarnvfs/tarnvfs.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: read_entry ARCHIVE PATH\n");
        return 2;
    }
    // Relative paths from the user mean what they mean in the user's shell,
    // not what they would mean beside this program.
    vfs::SetBaseDirectory(std::filesystem::current_path().string().c_str());

    vfs::FileSystemRef archive;
    vfs::ErrorReason why;
    if (archive.OpenArchive(argv[1], 0, &why).Failed()) {
        std::fprintf(stderr, "%s %s\n", argv[1], why.text.c_str());
        return 2;
    }
    // "/" or "\" separate, letter case does not matter.
    vfs::StreamRef entry;
    if (archive.OpenFile(entry, argv[2], vfs::OPEN_READ | vfs::OPEN_SHARE_READ).Failed()) {
        std::fprintf(stderr, "%s: %s\n", argv[2], vfs::LastError().text.c_str());
        return 1;
    }
    char buffer[65536];
    int32_t n;
    while ((n = entry.Read(buffer, sizeof buffer)) > 0) {
        std::fwrite(buffer, 1, static_cast<size_t>(n), stdout);
    }
    if (n < 0) {
        std::fprintf(stderr, "%s: cannot be read\n", argv[2]);
        return 1;
    }
    return 0;
}
