// Archive directory benchmarks: opening an archive (loading its directory)
// and exact lookups by path, flat and nested, from 1,000 to 1,000,000
// entries. Linear cost shows as a constant time per entry.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "bench/corpus_content.h"
#include "bench/scaling_archive.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"

namespace {

bool IsNested(const benchmark::State& state) {
    return state.range(0) != 0;
}

uint32_t EntriesOf(const benchmark::State& state) {
    return static_cast<uint32_t>(state.range(1));
}

// The archive for (nested, entries), written once into TARNWAD_BENCH_DIR
// (else the system's temporary directory).
std::string ArchiveOf(bool nested, uint32_t entries) {
    static std::map<std::pair<bool, uint32_t>, std::string> archives;
    auto key = std::make_pair(nested, entries);
    auto found = archives.find(key);
    if (found != archives.end()) {
        return found->second;
    }
    const char* dir = std::getenv("TARNWAD_BENCH_DIR");
    const std::filesystem::path base =
        dir != nullptr ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(base);
    const std::string path =
        (base / ((nested ? "nested-" : "flat-") + std::to_string(entries) + ".wad")).string();
    if (!std::filesystem::exists(path)) {
        bench::WriteScalingArchive(path, entries, nested);
    }
    archives[key] = path;
    return path;
}

void Label(benchmark::State& state) {
    state.SetLabel(IsNested(state) ? "nested" : "flat");
    state.counters["per_entry"] = benchmark::Counter(
        static_cast<double>(EntriesOf(state)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ArchiveOpen(benchmark::State& state) {
    const std::string path = ArchiveOf(IsNested(state), EntriesOf(state));
    for (auto _ : state) {
        vfs::FileSystemRef archive;
        if (archive.OpenArchive(path.c_str(), 0).Failed()) {
            state.SkipWithError("cannot open the archive");
            return;
        }
    }
    Label(state);
}

// Exact lookups of existing entries spread over the whole archive.
void BM_ExactLookup(benchmark::State& state) {
    const uint32_t entries = EntriesOf(state);
    vfs::FileSystemRef archive;
    if (archive.OpenArchive(ArchiveOf(IsNested(state), entries).c_str(), 0).Failed()) {
        state.SkipWithError("cannot open the archive");
        return;
    }
    std::vector<std::string> paths;
    bench::Random random(7);
    for (int i = 0; i < 1024; ++i) {
        paths.push_back(bench::ScalingEntryPath(random.Below(entries), IsNested(state)));
    }
    size_t next = 0;
    vfs::FindData found;
    for (auto _ : state) {
        if (archive.FindFirst(paths[next++ & 1023].c_str(), &found).Failed()) {
            state.SkipWithError("an entry was not found");
            return;
        }
    }
    state.SetLabel(IsNested(state) ? "nested" : "flat");
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (int64_t nested : {0, 1}) {
        for (int64_t entries : {1000, 10000, 100000, 1000000}) {
            b->Args({nested, entries});
        }
    }
}

BENCHMARK(BM_ArchiveOpen)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExactLookup)->Apply(Sizes)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
