// Unpacks arbitrary bytes as a WAD archive, the way the dialog does, into an
// output directory that already holds symbolic links under some of the
// archive's own names: to a file and to a directory outside the output
// directory, and to nowhere. Whatever the archive says, nothing outside the
// output directory may change; the target aborts when something does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/dialog_host.h"
#include "app/unpack_dialog.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"

namespace {

namespace fs = std::filesystem;

constexpr char kOutsideBytes[] = "the user's own bytes";

class QuietHost : public tarnwad::DialogHost {
  public:
    void GetPathText(char* buffer, uint32_t size) override {
        if (size > 0) {
            buffer[0] = '\0';
        }
    }
    void SetStatusLine(const char*) override {}
    void ShowMessage(const char*, const char*) override {}
};

// The fixed places of every run, below one temporary directory.
struct Places {
    Places() {
        std::string pattern = (fs::temp_directory_path() / "tarnwad-unpack-fuzz-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) {
            std::abort();
        }
        root = name.data();
        archive = root / "input.wad";
        output = root / "out";
        outside = root / "outside";
        fs::create_directories(outside / "sub");
        std::ofstream(outside / "file.txt", std::ios::binary) << kOutsideBytes;
    }
    ~Places() {
        std::error_code error;
        fs::remove_all(root, error);
    }
    fs::path root, archive, output, outside;
};

Places& GetPlaces() {
    static Places places;
    return places;
}

// The names at the top level of the archive, as the copy will create them.
std::vector<std::string> TopLevelNames(const fs::path& archive) {
    std::vector<std::string> names;
    vfs::FileSystemRef wad;
    if (wad.OpenArchive(archive.c_str(), 0).Failed()) {
        return names;
    }
    vfs::FindData found;
    for (vfs::Result r = wad.FindFirst("*.*", &found); r.Succeeded() && names.size() < 16;
         r = wad.FindNext(&found)) {
        std::string name = found.name;
        if (name != "." && name != ".." && name.find('/') == std::string::npos) {
            names.push_back(name);
        }
    }
    return names;
}

// Whether the outside directory still holds exactly its file and its empty
// subdirectory.
bool OutsideUntouched(const Places& places) {
    std::error_code error;
    size_t entries = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(places.outside, error)) {
        (void)entry;
        ++entries;
    }
    if (error || entries != 2 || !fs::is_empty(places.outside / "sub", error)) {
        return false;
    }
    std::ifstream in(places.outside / "file.txt", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes == kOutsideBytes && !fs::exists(places.root / "nowhere", error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Places& places = GetPlaces();
    std::error_code error;
    fs::remove_all(places.output, error);
    fs::create_directory(places.output, error);
    {
        std::ofstream out(places.archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // Each name in turn: a link to the outside file, to the outside
    // directory, to nowhere, or left free.
    const fs::path targets[] = {places.outside / "file.txt", places.outside / "sub",
                                places.root / "nowhere"};
    std::vector<std::string> names = TopLevelNames(places.archive);
    for (size_t i = 0; i < names.size(); ++i) {
        if (i % 4 != 3) {
            fs::create_symlink(targets[i % 4], places.output / names[i], error);
        }
    }

    QuietHost host;
    tarnwad::UnpackDialog dialog(host);
    if (dialog.source.OpenArchive(places.archive.c_str(), 0).Succeeded()) {
        dialog.UnpackInto(places.output.c_str());
    }
    if (!OutsideUntouched(places)) {
        std::fprintf(stderr, "the unpack changed something outside its output directory\n");
        std::abort();
    }
    return 0;
}
