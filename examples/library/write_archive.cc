// Writes a small archive of three entries, one for each way of storing
// one:   write_archive OUT.wad
// The archive is written under a temporary name beside OUT.wad and takes
// that name only when complete.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <tarnvfs/tarnvfs.h>

namespace {

std::vector<uint8_t> Lines(const std::string& line, int count) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    return bytes;
}

// Where WadWriter::WriteTo hands each piece of the archive.
bool WritePiece(const uint8_t* bytes, size_t size, void* stream) {
    return static_cast<vfs::StreamRef*>(stream)->Write(bytes, static_cast<int32_t>(size)) ==
           static_cast<int32_t>(size);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_archive OUT.wad\n");
        return 2;
    }
    vfs::WadWriter writer(2);  // version 2: names in one table
    // Paths take "\" between their parts; an entry is stored as it is, or
    // coded when that makes it smaller (EntryFlags says which it got).
    writer.AddFile("readme.txt", Lines("An archive written with tarnvfs.\n", 1));
    writer.AddFile("maps\\layout.txt", Lines("tile tile rock tile\n", 200), vfs::WadCoding::LZ);
    writer.AddFile("maps\\notes.txt", Lines("north wind, then rain\n", 200), vfs::WadCoding::ZLIB);

    // The held directory of OUT.wad, and a temporary file in it.
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    vfs::FileSystemRef directory;
    vfs::TemporaryFile file;
    if (directory.OpenHeldDirectory(out.parent_path().string().c_str()).Failed() ||
        file.Create(directory, out.filename().string()).Failed()) {
        std::fprintf(stderr, "%s: cannot be created\n", argv[1]);
        return 1;
    }
    // A single Write moves at most 2 GiB - 1 bytes; the writer's pieces
    // are smaller than that: the archive's front, then each entry's data.
    if (!writer.WriteTo(WritePiece, &file.Stream()) || file.PutInPlace(true).Failed()) {
        std::fprintf(stderr, "%s: cannot be written\n", argv[1]);
        return 1;
    }
    std::printf("wrote %zu entries, %llu bytes, to %s\n", writer.EntryCount(),
                static_cast<unsigned long long>(writer.ArchiveSize()), argv[1]);
    return 0;
}
