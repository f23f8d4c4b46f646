// Archives for the mount's tests, written with the library's writer into a
// temporary directory and opened as the mount opens them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/host/temp_directory.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad::mount::testing {

inline std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// Text that codes well, `count` lines of it.
inline std::vector<uint8_t> Lines(const char* word, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += std::string(word) + " " + std::to_string(i % 17) + "\n";
    }
    return Text(text);
}

// Bytes that do not shrink, from a fixed seed.
inline std::vector<uint8_t> Noise(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

class ArchiveFiles {
  public:
    // Writes `bytes` as the archive `name` in the temporary directory; its
    // host path.
    std::string Save(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = directory.Join(name);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        EXPECT_NE(out, nullptr) << path;
        if (out != nullptr) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
            std::fclose(out);
        }
        return path;
    }
    std::string Save(const std::string& name, const vfs::WadWriter& writer) {
        return Save(name, writer.Finish());
    }

  private:
    vfs::test::TempDirectory directory;
};

// Opens the archive at `path` (with "*\DIR" for an inner root).
inline vfs::FileSystemRef OpenWad(const std::string& path) {
    vfs::FileSystemRef archive;
    EXPECT_TRUE(archive.OpenArchive(path.c_str(), 0).Succeeded()) << path;
    return archive;
}

}  // namespace tarnwad::mount::testing
