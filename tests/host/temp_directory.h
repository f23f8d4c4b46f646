// A fresh directory under the system's temporary directory for one test,
// removed with everything in it when the test ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vfs::test {

class TempDirectory {
  public:
    TempDirectory() {
        // A new name until one is free: create_directory fails on an
        // existing one, so no other test's directory is ever shared.
        std::random_device seed;
        std::mt19937 random(seed());
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        for (int attempt = 0; attempt < 100 && !error; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof(name), "tarnvfs-%08lx",
                          static_cast<unsigned long>(random()));
            if (std::filesystem::create_directory(base / name, error)) {
                root = (base / name).string();
                return;
            }
        }
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    ~TempDirectory() {
        if (root.empty()) {
            return;
        }
        std::error_code ignored;
        // Read-only entries must not keep the tree from going.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(root, ignored);
    }

    bool Valid() const { return !root.empty(); }
    // The directory, without a trailing separator.
    const std::string& Path() const { return root; }
    // A path inside it, joined with '/'.
    std::string Join(const std::string& relative) const { return root + "/" + relative; }

    void WriteFile(const std::string& relative, const std::string& contents) const {
        std::ofstream out(Join(relative), std::ios::binary | std::ios::trunc);
        out << contents;
    }
    std::string ReadFile(const std::string& relative) const {
        std::ifstream in(Join(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(Join(relative));
    }
    void MakeDirectory(const std::string& relative) const {
        std::filesystem::create_directories(Join(relative));
    }

  private:
    std::string root;
};

// Bytes that differ from one offset to the next over long stretches, so that
// a read from the wrong place shows.
inline std::string PatternedBytes(size_t count) {
    std::string bytes(count, '\0');
    uint32_t state = 12345;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 16);
    }
    return bytes;
}

}  // namespace vfs::test
