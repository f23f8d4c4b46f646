// Lists every file of an archive with its size, stored size and coding:
//   walk_tree ARCHIVE
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <tarnvfs/tarnvfs.h>

namespace {

const char* CodingName(uint32_t flags) {
    switch (vfs::WadCodingOf(flags)) {
        case vfs::WadCoding::STORED:
            return "stored";
        case vfs::WadCoding::LZ:
            return "lz";
        case vfs::WadCoding::ZLIB:
            return "zlib";
        case vfs::WadCoding::REFUSED:
            return "refused";
    }
    return "?";
}

// Lists the directory `dir` ("" for the top, else ending with "\").
void Walk(vfs::FileSystemRef& archive, const std::string& dir) {
    // A file system runs one enumeration at a time: take the directory's
    // names first, then go down into its subdirectories.
    std::vector<std::string> subdirectories;
    vfs::FindData found;
    for (vfs::Result r = archive.FindFirst((dir + "*").c_str(), &found); r.Succeeded();
         r = archive.FindNext(&found)) {
        if ((found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0) {
            subdirectories.push_back(found.path + std::string("\\"));
            continue;
        }
        // found.path is the path below the top, found.size the size it
        // reads at (decoded); the record tells how it is stored.
        vfs::WadEntryRecord record;
        if (archive.ReadRecord(found.path, &record).Failed()) {
            std::printf("%10s %10s  %-7s %s: %s\n", "-", "-", "-", found.path,
                        vfs::LastError().text.c_str());
            continue;
        }
        std::printf("%10u %10u  %-7s %s\n", found.size, record.storedSize, CodingName(record.flags),
                    found.path);
    }
    for (const std::string& subdirectory : subdirectories) {
        Walk(archive, subdirectory);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: walk_tree ARCHIVE\n");
        return 2;
    }
    vfs::SetBaseDirectory(std::filesystem::current_path().string().c_str());
    vfs::FileSystemRef archive;
    vfs::ErrorReason why;
    if (archive.OpenArchive(argv[1], 0, &why).Failed()) {
        std::fprintf(stderr, "%s %s\n", argv[1], why.text.c_str());
        return 2;
    }
    std::printf("%10s %10s  %-7s %s\n", "size", "stored", "coding", "path");
    Walk(archive, "");
    return 0;
}
