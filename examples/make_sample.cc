// Writes the bundled sample archive: a few nested directories, stored,
// LZ-coded and zlib-framed entries, and "groundtile.png" at the top level so
// that the unpack command accepts it. The output is the same on every run.
//
//   make-sample-wad OUT.wad
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vfs/wad/wad_writer.h"

namespace {

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// Repetitive text, as game data files often are.
std::vector<uint8_t> Lines(const char* prefix, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += prefix;
        text += " " + std::to_string(i) + ": spawn=" + std::to_string(i * 7 % 13) + "\n";
    }
    return Text(text);
}

// Bytes without much structure, from a fixed seed.
std::vector<uint8_t> Noise(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample-wad OUT.wad\n");
        return 2;
    }
    using vfs::WadCoding;
    vfs::WadWriter writer(2);
    writer.AddFile("groundtile.png", Noise(3000, 1), WadCoding::STORED);
    writer.AddFile("readme.txt", Text("Sample archive for tarnwad.\n"), WadCoding::STORED);
    writer.AddFile("maps\\level1\\layout.txt", Lines("tile", 400), WadCoding::LZ);
    writer.AddFile("maps\\level1\\heights.bin", Noise(20000, 2), WadCoding::STORED);
    writer.AddFile("maps\\level2\\layout.txt", Lines("rock", 300), WadCoding::ZLIB);
    writer.AddFile("maps\\level2\\scripts\\intro.lua", Text("print('welcome to level 2')\n"),
                   WadCoding::STORED);
    writer.AddFile("sounds\\wind.txt", Lines("gust", 150), WadCoding::ZLIB);
    writer.AddFile("sounds\\silence.raw", std::vector<uint8_t>(4096, 0), WadCoding::LZ);

    std::vector<uint8_t> archive = writer.Finish();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "make-sample-wad: cannot create %s\n", argv[1]);
        return 1;
    }
    bool written = std::fwrite(archive.data(), 1, archive.size(), out) == archive.size();
    written = std::fclose(out) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "make-sample-wad: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
