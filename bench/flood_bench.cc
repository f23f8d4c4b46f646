// Names chosen to collide against ordinary names, in each hash table that
// an archive's names fill: the tree's name index while the archive loads,
// the walk's set of a directory's names, and the mount's table of paths.
// Each crafted set is timed against as many ordinary names of the same
// length; linear cost shows as the same time per name at every count.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/name_set.h"
#include "bench/colliding_names.h"
#include "bench/flood_archive.h"
#include "tools/mount/mount_tree.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/wad/wad_node_name.h"

namespace {

bool Crafted(const benchmark::State& state) {
    return state.range(0) != 0;
}

uint32_t CountOf(const benchmark::State& state) {
    return static_cast<uint32_t>(state.range(1));
}

// The names for (kind, count), made once: the crafted ones of `kind`, or
// as many ordinary names as long as those.
const std::vector<std::string>& NamesOf(bench::FloodKind kind, bool crafted, uint32_t count) {
    static std::map<std::tuple<bench::FloodKind, bool, uint32_t>, std::vector<std::string>> made;
    auto key = std::make_tuple(kind, crafted, count);
    if (auto found = made.find(key); found != made.end()) {
        return found->second;
    }
    std::vector<std::string> names = bench::FloodNames(kind, count, 0);
    if (!crafted && !names.empty()) {
        names = bench::FloodNames(bench::FloodKind::kOrdinary, count,
                                  static_cast<uint32_t>(names.front().size()));
    }
    return made[key] = std::move(names);
}

void Label(benchmark::State& state, const char* crafted) {
    state.SetLabel(Crafted(state) ? crafted : "ordinary");
    state.counters["per_name"] = benchmark::Counter(
        static_cast<double>(CountOf(state)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The archive of one directory of those names, written once into
// TARNWAD_BENCH_DIR (else the system's temporary directory).
std::string ArchiveOf(bench::FloodKind kind, bool crafted, uint32_t count) {
    const char* dir = std::getenv("TARNWAD_BENCH_DIR");
    const std::filesystem::path base =
        dir != nullptr ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(base);
    const std::string name = "flood-" + std::to_string(static_cast<int>(kind)) +
                             (crafted ? "-crafted-" : "-ordinary-") + std::to_string(count) +
                             ".wad";
    const std::string path = (base / name).string();
    if (!std::filesystem::exists(path)) {
        bench::WriteFloodArchive(path, NamesOf(kind, crafted, count));
    }
    return path;
}

// Opening an archive of one directory of names: the load builds the
// directory's name index. Kind 0: ordinary names; 1: names that share one
// 32-bit FNV-1a value; 2: names that share one slot under the index's own
// hash without its process key. `slots` is how many different slots of the
// index the names take (ordinary names: about 79 % of the names).
void BM_DirectoryLoad(benchmark::State& state) {
    const bench::FloodKind kind =
        state.range(0) == 2 ? bench::FloodKind::kKeylessIndex : bench::FloodKind::kWadIndex;
    const uint32_t count = CountOf(state);
    const std::string path = ArchiveOf(kind, Crafted(state), count);
    for (auto _ : state) {
        vfs::FileSystemRef archive;
        if (archive.OpenArchive(path.c_str(), 0).Failed()) {
            state.SkipWithError("cannot open the archive");
            return;
        }
    }
    std::set<uint32_t> slots;
    for (const std::string& name : NamesOf(kind, Crafted(state), count)) {
        slots.insert(vfs::WadNameHash(name.data(), static_cast<uint32_t>(name.size())) &
                     (bench::IndexSlots(count) - 1));
    }
    state.counters["slots"] = static_cast<double>(slots.size());
    Label(state, state.range(0) == 2 ? "crafted, keyless" : "crafted, FNV-1a");
}

// The set of names that the walk keeps for a directory whose names may
// repeat, filled with every name of the directory.
void BM_WalkNameSet(benchmark::State& state) {
    const std::vector<std::string>& names =
        NamesOf(bench::FloodKind::kWalkSet, Crafted(state), CountOf(state));
    for (auto _ : state) {
        tarnwad::NameSet set;
        for (const std::string& name : names) {
            set.Insert(name);
        }
        benchmark::DoNotOptimize(set.Size());
    }
    Label(state, "crafted, FNV-1a 64");
}

// The mount's table of paths, filled with one file for each name.
void BM_MountTree(benchmark::State& state) {
    const std::vector<std::string>& names =
        NamesOf(bench::FloodKind::kMountTable, Crafted(state), CountOf(state));
    if (names.empty()) {
        state.SkipWithError("std::hash is not the hash the names are made for");
        return;
    }
    const std::string directory = std::string(bench::kFloodDirectory) + "\\";
    const vfs::WadEntryRecord record;
    for (auto _ : state) {
        tarnwad::mount::MountTree tree;
        for (const std::string& name : names) {
            tree.AddFile(directory + name, record);
        }
        benchmark::DoNotOptimize(tree.NodeCount());
    }
    Label(state, "crafted, std::hash");
}

// Each count once with ordinary names (0) and once with crafted ones (1).
void Counts(benchmark::internal::Benchmark* b, std::initializer_list<int64_t> counts) {
    for (int64_t count : counts) {
        for (int64_t crafted : {0, 1}) {
            b->Args({crafted, count});
        }
    }
}

void LoadCounts(benchmark::internal::Benchmark* b) {
    Counts(b, {20000, 200000});
    b->Args({0, 4096});
    b->Args({2, 4096});
}

void WalkCounts(benchmark::internal::Benchmark* b) {
    Counts(b, {20000, 200000});
}

// The names grow by 16 bytes for each doubling: 32,768 is about as many as
// a name's length allows.
void MountCounts(benchmark::internal::Benchmark* b) {
    Counts(b, {4096, 32768});
}

BENCHMARK(BM_DirectoryLoad)->Apply(LoadCounts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkNameSet)->Apply(WalkCounts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MountTree)->Apply(MountCounts)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
