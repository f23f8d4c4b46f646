// Writes the archives the command-line tests run the tool on, with the
// library's writer, into the directory given.
//
//   make-test-archives DIR
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_writer.h"

namespace {

using vfs::WadCoding;
using vfs::WadWriter;

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// Text that codes well.
std::vector<uint8_t> Lines(const char* word, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += std::string(word) + " " + std::to_string(i % 17) + "\n";
    }
    return Text(text);
}

// Bytes that do not shrink, from a fixed seed.
std::vector<uint8_t> Noise(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

bool Save(const std::string& path, const WadWriter& writer) {
    std::vector<uint8_t> archive = writer.Finish();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    bool written = std::fwrite(archive.data(), 1, archive.size(), out) == archive.size();
    return std::fclose(out) == 0 && written;
}

// Stored, LZ and zlib-framed entries in nested directories, an empty entry
// and one of more than a copy block.
WadWriter Plain(uint32_t version) {
    WadWriter writer(version);
    writer.AddFile("groundtile.png", Noise(3000, 1), WadCoding::STORED);
    writer.AddFile("readme.txt", Text("Read me.\n"), WadCoding::STORED);
    writer.AddFile("Maps\\Level1\\layout.txt", Lines("tile", 400), WadCoding::LZ);
    writer.AddFile("maps\\level1\\heights.bin", Noise(150000, 2), WadCoding::STORED);
    writer.AddFile("maps/level2/layout.txt", Lines("rock", 300), WadCoding::ZLIB);
    writer.AddFile("sounds\\empty.raw", {}, WadCoding::STORED);
    writer.AddFile("sounds\\wind.txt", Lines("gust", 30000), WadCoding::ZLIB);
    return writer;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-test-archives DIR\n");
        return 2;
    }
    std::string dir = std::string(argv[1]) + "/";
    bool ok = true;

    for (uint32_t version : {0u, 1u, 2u}) {
        ok = ok && Save(dir + "plain-v" + std::to_string(version) + ".wad", Plain(version));
    }

    // An entry the archive refuses, beside good ones.
    WadWriter refused(2);
    refused.AddFile("groundtile.png", Text("g"));
    refused.AddFile("secret\\hidden.txt", Text("hidden"));
    refused.SetFlags(1, vfs::WAD_FLAG_REFUSED);
    refused.AddFile("open.txt", Text("open"), WadCoding::STORED);
    ok = ok && Save(dir + "refused.wad", refused);

    // Unsafe paths (rejected when loaded), an LZ entry that does not decode,
    // an entry the tests move outside the file, and a good one.
    WadWriter hostile(2);
    hostile.AddFile("groundtile.png", Text("g"));
    hostile.AddFile("..\\escaped.txt", Text("e"));
    hostile.AddFile("c:\\drive.txt", Text("e"));
    const uint8_t brokenLz[] = {0x10, 0xFB, 0x00, 0x00, 0x09, 0xE0};
    hostile.AddRawEntry("bad.lz", brokenLz, sizeof(brokenLz), vfs::WAD_FLAG_LZ, 9);
    hostile.AddFile("fine.txt", Text("fine"));
    ok = ok && Save(dir + "hostile.wad", hostile);

    // Two records of one path: only the first can be reached.
    WadWriter twice(1);
    twice.AddFile("groundtile.png", Text("first"));
    twice.AddFile("GroundTile.png", Text("second"));
    ok = ok && Save(dir + "duplicate.wad", twice);

    // No name of the game's: the probe turns it down.
    WadWriter foreign(2);
    foreign.AddFile("other.txt", Text("other"));
    ok = ok && Save(dir + "foreign.wad", foreign);

    if (!ok) {
        std::fprintf(stderr, "make-test-archives: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
