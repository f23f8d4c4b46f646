// Writes an archive with the installed library, opens it as a file system,
// and reads an LZ-coded entry back. Prints "ok" when all of it worked.
//
//   consumer SCRATCH.wad
#include <cstdio>
#include <string>
#include <vector>

#include <tarnvfs/tarnvfs.h>

static_assert(TARNVFS_VERSION_MAJOR >= 0 && TARNVFS_VERSION_MINOR >= 0);

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    std::string text(5000, 'w');
    vfs::WadWriter writer(2);
    writer.AddFile("data\\wind.txt", std::vector<uint8_t>(text.begin(), text.end()),
                   vfs::WadCoding::LZ);
    std::vector<uint8_t> archive = writer.Finish();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(archive.data(), 1, archive.size(), out) != archive.size() ||
        std::fclose(out) != 0) {
        return 1;
    }

    vfs::FileSystemRef fs;
    vfs::StreamRef entry;
    if (fs.OpenArchive(argv[1], 0).Failed() ||
        fs.OpenFile(entry, "DATA/wind.txt", vfs::OPEN_READ | vfs::OPEN_SHARE_READ).Failed()) {
        return 1;
    }
    std::string back(6000, '\0');
    int32_t n = entry.Read(back.data(), static_cast<int32_t>(back.size()));
    back.resize(n > 0 ? static_cast<size_t>(n) : 0);
    if (back != text) {
        return 1;
    }
    std::printf("ok\n");
    return 0;
}
