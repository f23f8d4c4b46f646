// Overlay benchmarks: a base archive of 20,000 entries under 100 mod
// archives of 50 entries each (half of them replacing base entries, half
// new). Opening the stack against opening the base alone, exact lookups
// through the overlay against the same lookups in the base archive, and the
// memory the merged index takes per merged path.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/corpus_content.h"
#include "bench/scaling_archive.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/overlay/overlay_file_system.h"
#include "vfs/wad/wad_writer.h"

namespace {

constexpr uint32_t kBaseEntries = 20000;
constexpr uint32_t kMods = 100;
constexpr uint32_t kModEntries = 50;

std::filesystem::path WorkDirectory() {
    const char* dir = std::getenv("TARNWAD_BENCH_DIR");
    std::filesystem::path base =
        dir != nullptr ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
    base /= "overlay";
    std::filesystem::create_directories(base);
    return base;
}

// The base archive's path, then the mods', written once.
const std::vector<std::string>& Layers() {
    static std::vector<std::string> layers;
    if (!layers.empty()) {
        return layers;
    }
    const std::filesystem::path dir = WorkDirectory();
    layers.push_back((dir / "base.wad").string());
    bench::WriteScalingArchive(layers[0], kBaseEntries, true);
    const std::vector<uint8_t> bytes(40, 'm');
    for (uint32_t m = 0; m < kMods; ++m) {
        vfs::WadWriter writer(2);
        for (uint32_t j = 0; j < kModEntries; ++j) {
            std::string path;
            if (j < kModEntries / 2) {
                path = bench::ScalingEntryPath((m * 137 + j * 791) % kBaseEntries, true);
            } else {
                char name[64];
                std::snprintf(name, sizeof name, "mods\\m%03u\\file%02u.txt", m, j);
                path = name;
            }
            writer.AddFile(path.c_str(), bytes);
        }
        char name[32];
        std::snprintf(name, sizeof name, "mod%03u.wad", m);
        layers.push_back((dir / name).string());
        const std::vector<uint8_t> archive = writer.Finish();
        FILE* out = std::fopen(layers.back().c_str(), "wb");
        std::fwrite(archive.data(), 1, archive.size(), out);
        std::fclose(out);
    }
    return layers;
}

bool OpenStack(vfs::OverlayFileSystem* overlay) {
    for (const std::string& layer : Layers()) {
        if (overlay->AddLayerPath(layer.c_str()).Failed()) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> LookupPaths() {
    std::vector<std::string> paths;
    bench::Random random(7);
    for (int i = 0; i < 1024; ++i) {
        paths.push_back(bench::ScalingEntryPath(random.Below(kBaseEntries), true));
    }
    return paths;
}

void BM_OpenBaseAlone(benchmark::State& state) {
    const std::string base = Layers()[0];
    for (auto _ : state) {
        vfs::FileSystemRef archive;
        if (archive.OpenArchive(base.c_str(), 0).Failed()) {
            state.SkipWithError("cannot open the base");
            return;
        }
    }
}

// What the stack's own archives take to open, without the overlay.
void BM_OpenLayersAlone(benchmark::State& state) {
    const std::vector<std::string>& layers = Layers();
    for (auto _ : state) {
        std::vector<vfs::FileSystemRef> opened(layers.size());
        for (size_t i = 0; i < layers.size(); ++i) {
            if (opened[i].OpenArchive(layers[i].c_str(), 0).Failed()) {
                state.SkipWithError("cannot open a layer");
                return;
            }
        }
    }
}

void BM_OpenStack(benchmark::State& state) {
    Layers();
    for (auto _ : state) {
        vfs::OverlayFileSystem overlay;
        if (!OpenStack(&overlay)) {
            state.SkipWithError("cannot open a layer");
            return;
        }
    }
}

// The overlay's own share of opening the stack: indexing layers that are
// open already.
void BM_IndexOpenLayers(benchmark::State& state) {
    const std::vector<std::string>& layers = Layers();
    std::vector<vfs::FileSystemRef> opened(layers.size());
    for (size_t i = 0; i < layers.size(); ++i) {
        if (opened[i].OpenArchive(layers[i].c_str(), 0).Failed()) {
            state.SkipWithError("cannot open a layer");
            return;
        }
    }
    for (auto _ : state) {
        vfs::OverlayFileSystem overlay;
        for (size_t i = 0; i < layers.size(); ++i) {
            overlay.AddLayer(opened[i], layers[i]);
        }
    }
}

void BM_OpenFileInBase(benchmark::State& state) {
    vfs::FileSystemRef archive;
    if (archive.OpenArchive(Layers()[0].c_str(), 0).Failed()) {
        state.SkipWithError("cannot open the base");
        return;
    }
    const std::vector<std::string> paths = LookupPaths();
    size_t next = 0;
    for (auto _ : state) {
        vfs::StreamRef stream;
        if (archive.OpenFile(stream, paths[next++ & 1023].c_str(), vfs::OPEN_READ).Failed()) {
            state.SkipWithError("an entry did not open");
            return;
        }
    }
}

void BM_OpenFileThroughOverlay(benchmark::State& state) {
    vfs::FileSystemRef handle;
    auto* overlay = new vfs::OverlayFileSystem();
    handle.Set(overlay);
    if (!OpenStack(overlay)) {
        state.SkipWithError("cannot open a layer");
        return;
    }
    const std::vector<std::string> paths = LookupPaths();
    size_t next = 0;
    for (auto _ : state) {
        vfs::StreamRef stream;
        if (handle.OpenFile(stream, paths[next++ & 1023].c_str(), vfs::OPEN_READ).Failed()) {
            state.SkipWithError("an entry did not open");
            return;
        }
    }
}

void BM_ExactLookupInBase(benchmark::State& state) {
    vfs::FileSystemRef archive;
    if (archive.OpenArchive(Layers()[0].c_str(), 0).Failed()) {
        state.SkipWithError("cannot open the base");
        return;
    }
    const std::vector<std::string> paths = LookupPaths();
    size_t next = 0;
    vfs::FindData found;
    for (auto _ : state) {
        if (archive.FindFirst(paths[next++ & 1023].c_str(), &found).Failed()) {
            state.SkipWithError("an entry was not found");
            return;
        }
    }
}

void BM_ServingThroughOverlay(benchmark::State& state) {
    vfs::OverlayFileSystem overlay;
    if (!OpenStack(&overlay)) {
        state.SkipWithError("cannot open a layer");
        return;
    }
    const std::vector<std::string> paths = LookupPaths();
    size_t next = 0;
    vfs::OverlayVersion serving;
    for (auto _ : state) {
        if (overlay.Serving(paths[next++ & 1023].c_str(), &serving).Failed()) {
            state.SkipWithError("an entry was not found");
            return;
        }
    }
}

// Counts the merged tree's paths below `directory`.
uint64_t CountPaths(vfs::FileSystem& fileSystem, const std::string& directory) {
    std::vector<std::string> subdirectories;
    uint64_t count = 0;
    vfs::FindData data;
    for (vfs::Result r = fileSystem.FindFirst((directory + "*").c_str(), &data); r.Succeeded();
         r = fileSystem.FindNext(&data)) {
        ++count;
        if ((data.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0) {
            subdirectories.push_back(std::string(data.path) + "\\");
        }
    }
    for (const std::string& sub : subdirectories) {
        count += CountPaths(fileSystem, sub);
    }
    return count;
}

// The heap the overlay's index takes beyond the layers, which are opened
// first, per merged path.
void BM_OverlayMemory(benchmark::State& state) {
    const std::vector<std::string>& layers = Layers();
    for (auto _ : state) {
        std::vector<vfs::FileSystemRef> opened(layers.size());
        for (size_t i = 0; i < layers.size(); ++i) {
            opened[i].OpenArchive(layers[i].c_str(), 0);
        }
        malloc_trim(0);
        const size_t before = mallinfo2().uordblks;
        {
            vfs::OverlayFileSystem overlay;
            for (size_t i = 0; i < layers.size(); ++i) {
                overlay.AddLayer(opened[i], layers[i]);
            }
            const size_t after = mallinfo2().uordblks;
            const uint64_t paths = CountPaths(overlay, "");
            state.counters["paths"] = static_cast<double>(paths);
            state.counters["bytes_per_path"] =
                static_cast<double>(after - before) / static_cast<double>(paths);
            state.counters["conflicts"] = static_cast<double>(overlay.Conflicts().size());
        }
    }
}

BENCHMARK(BM_OpenBaseAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLayersAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenStack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexOpenLayers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenFileInBase)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_OpenFileThroughOverlay)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_ExactLookupInBase)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_ServingThroughOverlay)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_OverlayMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
