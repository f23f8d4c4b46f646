// Codec benchmarks: LZ decode and encode, the zlib-framed decoders against
// raw zlib inflate and libdeflate on the same streams, and whole entries
// opened through an archive, on the corpus's kinds of content at sizes that
// show how the cost grows.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/corpus_content.h"
#include "vfs/codec/lz_codec.h"
#include "vfs/codec/shared_codec.h"
#include "vfs/codec/zlib_codec.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_writer.h"

namespace {

using bench::Bytes;
using bench::ContentKind;

// Content and its blocks, made once per (kind, size).
struct Sample {
    Bytes plain;
    Bytes lz;
    Bytes zlib;  // the framed block: 28-byte header, then the zlib stream
};

// `plain` as one LZ block; at most LZ_MAX_SIZE bytes.
Bytes LzBlockOf(const Bytes& plain) {
    const int32_t n = static_cast<int32_t>(plain.size());
    Bytes block(static_cast<size_t>(vfs::LzCodec::GetMaxCompressedSize(n)));
    vfs::LzCodec lz;
    block.resize(static_cast<size_t>(lz.Compress(block.data(), plain.data(), n, nullptr)));
    return block;
}

const Sample& SampleOf(ContentKind kind, size_t size) {
    static std::map<std::pair<int, size_t>, Sample> samples;
    auto key = std::make_pair(static_cast<int>(kind), size);
    auto found = samples.find(key);
    if (found != samples.end()) {
        return found->second;
    }
    Sample& sample = samples[key];
    sample.plain = bench::MakeContent(kind, size, 42 + size);
    const int32_t n = static_cast<int32_t>(size);
    if (size <= static_cast<size_t>(vfs::LZ_MAX_SIZE)) {
        sample.lz = LzBlockOf(sample.plain);
    }
    vfs::ZlibCodec zlib;
    sample.zlib.resize(size);
    const int32_t length = zlib.Compress(sample.zlib.data(), sample.plain.data(), n, nullptr);
    sample.zlib.resize(static_cast<size_t>(length));
    return sample;
}

ContentKind KindOf(const benchmark::State& state) {
    return static_cast<ContentKind>(state.range(0));
}

void Label(benchmark::State& state, const Bytes& plain, const Bytes& block) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * plain.size()));
    char label[96];
    std::snprintf(label, sizeof(label), "%s, ratio %.3f", bench::ContentKindName(KindOf(state)),
                  plain.empty() ? 0.0 : static_cast<double>(block.size()) / plain.size());
    state.SetLabel(label);
}

// ------------------------------------------------------------------- LZ

void BM_LzDecode(benchmark::State& state) {
    const Sample& sample = SampleOf(KindOf(state), static_cast<size_t>(state.range(1)));
    Bytes out(sample.plain.size());
    vfs::LzCodec codec;
    for (auto _ : state) {
        const int32_t n =
            codec.DecompressBounded(out.data(), static_cast<int32_t>(out.size()), sample.lz.data(),
                                    static_cast<int32_t>(sample.lz.size()), nullptr);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    if (out != sample.plain) {
        state.SkipWithError("LZ decode gave other bytes");
    }
    Label(state, sample.plain, sample.lz);
}

// Many different blocks of one kind and size (1 MiB of output in all, at
// least 2 blocks), decoded one after the other. Decoding one block again and
// again lets the branch predictor learn its sequence of commands when the
// block is small (a few thousand commands): BM_LzDecode then shows a speed
// that entries decoded once, as an unpack does, do not get. Here no
// sequence repeats before 1 MiB of output.
void BM_LzDecodeDistinct(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(1));
    const size_t count = std::max<size_t>(2, (size_t{1} << 20) / size);
    static std::map<std::pair<int, size_t>, std::vector<Sample>> sets;
    std::vector<Sample>& blocks = sets[{static_cast<int>(KindOf(state)), size}];
    for (size_t i = blocks.size(); i < count; ++i) {
        Sample sample;
        sample.plain = bench::MakeContent(KindOf(state), size, 7000 + 31 * i + size);
        sample.lz = LzBlockOf(sample.plain);
        blocks.push_back(std::move(sample));
    }
    Bytes out(size);
    vfs::LzCodec codec;
    for (auto _ : state) {
        int64_t total = 0;
        for (const Sample& sample : blocks) {
            total +=
                codec.DecompressBounded(out.data(), static_cast<int32_t>(size), sample.lz.data(),
                                        static_cast<int32_t>(sample.lz.size()), nullptr);
        }
        if (total != static_cast<int64_t>(size * blocks.size())) {
            state.SkipWithError("an LZ block did not decode");
            return;
        }
        benchmark::ClobberMemory();
    }
    if (out != blocks.back().plain) {
        state.SkipWithError("LZ decode gave other bytes");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * blocks.size()));
    state.SetLabel(std::string(bench::ContentKindName(KindOf(state))) + ", " +
                   std::to_string(blocks.size()) + " blocks");
}

// The checked decode into exactly the header's size, as an entry open does.
void BM_LzDecodeExactly(benchmark::State& state) {
    const Sample& sample = SampleOf(KindOf(state), static_cast<size_t>(state.range(1)));
    Bytes out(sample.plain.size());
    vfs::LzCodec codec;
    for (auto _ : state) {
        const bool intact =
            codec.DecodeExactly(out.data(), static_cast<int32_t>(out.size()), sample.lz.data(),
                                static_cast<int32_t>(sample.lz.size()));
        benchmark::DoNotOptimize(intact);
        benchmark::ClobberMemory();
    }
    if (out != sample.plain) {
        state.SkipWithError("LZ decode gave other bytes");
    }
    Label(state, sample.plain, sample.lz);
}

void BM_LzEncode(benchmark::State& state) {
    const Sample& sample = SampleOf(KindOf(state), static_cast<size_t>(state.range(1)));
    vfs::LzCodec codec;
    Bytes work(static_cast<size_t>(codec.GetCompressWorkSize()));
    Bytes out(static_cast<size_t>(
        vfs::LzCodec::GetMaxCompressedSize(static_cast<int32_t>(sample.plain.size()))));
    for (auto _ : state) {
        const int32_t n = codec.Compress(out.data(), sample.plain.data(),
                                         static_cast<int32_t>(sample.plain.size()), work.data());
        benchmark::DoNotOptimize(n);
    }
    Label(state, sample.plain, sample.lz);
}

// ------------------------------------------------------------ zlib-framed

// The framed block through the codec's whole-block decoder.
void BM_ZlibBlockDecode(benchmark::State& state) {
    const Sample& sample = SampleOf(KindOf(state), static_cast<size_t>(state.range(1)));
    Bytes out(sample.plain.size());
    vfs::ZlibCodec codec;
    for (auto _ : state) {
        const int32_t n = codec.DecompressBounded(
            out.data(), static_cast<int32_t>(out.size()), sample.zlib.data(),
            static_cast<int32_t>(sample.zlib.size()), nullptr);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    if (out != sample.plain) {
        state.SkipWithError("zlib-framed decode gave other bytes");
    }
    Label(state, sample.plain, sample.zlib);
}

// The framed block pulled through a reader in 16 KiB chunks, as the
// streaming operation does.
struct MemoryReader {
    const Bytes* block;
    size_t at;
};

int ReadFromMemory(uint8_t* buffer, int32_t count, void* user) {
    auto* reader = static_cast<MemoryReader*>(user);
    const size_t n = std::min(static_cast<size_t>(count), reader->block->size() - reader->at);
    std::memcpy(buffer, reader->block->data() + reader->at, n);
    reader->at += n;
    return static_cast<int>(n);
}

void BM_ZlibReaderDecode(benchmark::State& state) {
    const Sample& sample = SampleOf(KindOf(state), static_cast<size_t>(state.range(1)));
    Bytes out(sample.plain.size());
    Bytes chunk(16384);
    for (auto _ : state) {
        MemoryReader reader{&sample.zlib, 0};
        const int32_t n = vfs::DecompressWithReaderBounded(
            out.data(), static_cast<int32_t>(out.size()), chunk.data(),
            static_cast<int32_t>(chunk.size()), ReadFromMemory, &reader, nullptr);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    if (out != sample.plain) {
        state.SkipWithError("zlib-framed decode gave other bytes");
    }
    Label(state, sample.plain, sample.zlib);
}

// Raw zlib inflate of the same zlib stream, in one call: the yardstick.
void BM_RawInflate(benchmark::State& state) {
    const Sample& sample = SampleOf(KindOf(state), static_cast<size_t>(state.range(1)));
    Bytes out(sample.plain.size());
    for (auto _ : state) {
        z_stream z{};
        inflateInit(&z);
        z.next_in = const_cast<Bytef*>(sample.zlib.data() + vfs::ZLIB_BLOCK_HEADER_SIZE);
        z.avail_in = static_cast<uInt>(sample.zlib.size() - vfs::ZLIB_BLOCK_HEADER_SIZE);
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        benchmark::DoNotOptimize(rc);
        benchmark::ClobberMemory();
    }
    if (out != sample.plain) {
        state.SkipWithError("inflate gave other bytes");
    }
    Label(state, sample.plain, sample.zlib);
}

// libdeflate's zlib decoder on the same stream, a decompressor per call.
void BM_Libdeflate(benchmark::State& state) {
    const Sample& sample = SampleOf(KindOf(state), static_cast<size_t>(state.range(1)));
    Bytes out(sample.plain.size());
    for (auto _ : state) {
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        size_t produced = 0;
        const libdeflate_result rc = libdeflate_zlib_decompress(
            d, sample.zlib.data() + vfs::ZLIB_BLOCK_HEADER_SIZE,
            sample.zlib.size() - vfs::ZLIB_BLOCK_HEADER_SIZE, out.data(), out.size(), &produced);
        libdeflate_free_decompressor(d);
        benchmark::DoNotOptimize(rc);
        benchmark::ClobberMemory();
    }
    if (out != sample.plain) {
        state.SkipWithError("libdeflate gave other bytes");
    }
    Label(state, sample.plain, sample.zlib);
}

// ---------------------------------------------------- entries of an archive

// An archive of one entry per coding, written once into the benchmark
// directory (TARNWAD_BENCH_DIR, else the system's temporary directory).
std::string ArchiveOf(ContentKind kind, size_t size) {
    static std::map<std::pair<int, size_t>, std::string> archives;
    auto key = std::make_pair(static_cast<int>(kind), size);
    auto found = archives.find(key);
    if (found != archives.end()) {
        return found->second;
    }
    const Sample& sample = SampleOf(kind, size);
    vfs::WadWriter writer;
    writer.AddFile("stored.dat", sample.plain, vfs::WadCoding::STORED);
    writer.AddFile("lz.dat", sample.plain, vfs::WadCoding::LZ);
    writer.AddFile("zlib.dat", sample.plain, vfs::WadCoding::ZLIB);
    const Bytes archive = writer.Finish();
    const char* dir = std::getenv("TARNWAD_BENCH_DIR");
    const std::filesystem::path base =
        dir != nullptr ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(base);
    const std::string path = (base / ("entry-" + std::string(bench::ContentKindName(kind)) + "-" +
                                      std::to_string(size) + ".wad"))
                                 .string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(archive.data(), 1, archive.size(), file);
    std::fclose(file);
    archives[key] = path;
    return path;
}

// Opens one entry of the archive and reads it whole, as an unpack does:
// range(2) picks the entry (0 stored, 1 LZ, 2 zlib-framed).
void BM_EntryRead(benchmark::State& state) {
    static const char* const kEntries[] = {"stored.dat", "lz.dat", "zlib.dat"};
    const size_t size = static_cast<size_t>(state.range(1));
    const Sample& sample = SampleOf(KindOf(state), size);
    vfs::FileSystemRef archive;
    if (archive.OpenArchive(ArchiveOf(KindOf(state), size).c_str(), 0).Failed()) {
        state.SkipWithError("cannot open the archive");
        return;
    }
    Bytes out(102400);
    for (auto _ : state) {
        vfs::StreamRef entry;
        if (archive.OpenFile(entry, kEntries[state.range(2)], vfs::OPEN_READ, 0).Failed()) {
            state.SkipWithError("cannot open the entry");
            return;
        }
        int64_t total = 0;
        for (int32_t n; (n = entry.Read(out.data(), static_cast<int32_t>(out.size()))) > 0;) {
            total += n;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.plain.size()));
    state.SetLabel(std::string(bench::ContentKindName(KindOf(state))) + ", " +
                   kEntries[state.range(2)]);
}

// ---------------------------------------------------- the corpus's entries

// The stored blocks of one coding in the corpus archive that bench/run packs
// (TARNWAD_BENCH_CORPUS names it), with their unpacked sizes.
struct CorpusEntries {
    std::vector<Bytes> blocks;
    std::vector<uint32_t> sizes;
    uint64_t unpacked = 0;
    uint32_t largest = 0;
};

const CorpusEntries* CorpusEntriesOf(uint32_t flag) {
    static std::map<uint32_t, CorpusEntries> entries;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        const char* path = std::getenv("TARNWAD_BENCH_CORPUS");
        std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
        if (file == nullptr) {
            return nullptr;
        }
        Bytes archive;
        uint8_t chunk[1 << 16];
        for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), file)) > 0;) {
            archive.insert(archive.end(), chunk, chunk + n);
        }
        std::fclose(file);
        vfs::WadHeader header;
        if (vfs::WadHeader::Parse(archive.data(), static_cast<uint32_t>(archive.size()), &header)
                .Failed()) {
            return nullptr;
        }
        for (uint32_t i = 0; i < header.entryCount; ++i) {
            const vfs::WadEntryRecord record =
                vfs::WadEntryRecord::Decode(archive.data() + vfs::WadRecordOffset(i));
            CorpusEntries& kind = entries[record.flags];
            kind.blocks.emplace_back(archive.begin() + record.dataOffset,
                                     archive.begin() + record.dataOffset + record.storedSize);
            kind.sizes.push_back(record.unpackedSize);
            kind.unpacked += record.unpackedSize;
            kind.largest = std::max(kind.largest, record.unpackedSize);
        }
    }
    auto found = entries.find(flag);
    return found == entries.end() ? nullptr : &found->second;
}

// Decodes every entry of one coding in the corpus archive, one after the
// other, as an unpack does: range(0) picks the decoder (0 LZ, 1 the
// zlib-framed entry decoder, 2 raw inflate of the same streams).
void BM_CorpusEntries(benchmark::State& state) {
    const int64_t decoder = state.range(0);
    const CorpusEntries* corpus =
        CorpusEntriesOf(decoder == 0 ? vfs::WAD_FLAG_LZ : vfs::WAD_FLAG_ZLIB);
    if (corpus == nullptr) {
        state.SkipWithError("no corpus archive: set TARNWAD_BENCH_CORPUS (bench/run does)");
        return;
    }
    Bytes out(corpus->largest);
    vfs::LzCodec lz;
    vfs::ZlibCodec& zlib = vfs::GetZlibCodec();
    for (auto _ : state) {
        int64_t total = 0;
        for (size_t e = 0; e < corpus->blocks.size(); ++e) {
            const Bytes& block = corpus->blocks[e];
            const int32_t size = static_cast<int32_t>(corpus->sizes[e]);
            const int32_t length = static_cast<int32_t>(block.size());
            if (decoder == 0) {
                total += lz.DecompressBounded(out.data(), size, block.data(), length, nullptr);
            } else if (decoder == 1) {
                total += zlib.DecompressWholeBlock(out.data(), size, block.data(), length, nullptr);
            } else {
                z_stream z{};
                inflateInit(&z);
                z.next_in = const_cast<Bytef*>(block.data() + vfs::ZLIB_BLOCK_HEADER_SIZE);
                z.avail_in = static_cast<uInt>(block.size() - vfs::ZLIB_BLOCK_HEADER_SIZE);
                z.next_out = out.data();
                z.avail_out = static_cast<uInt>(size);
                inflate(&z, Z_FINISH);
                total += static_cast<int64_t>(z.total_out);
                inflateEnd(&z);
            }
        }
        if (total != static_cast<int64_t>(corpus->unpacked)) {
            state.SkipWithError("an entry did not decode");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus->unpacked));
    static const char* const kNames[] = {"LZ entries", "zlib-framed entries", "raw inflate"};
    state.SetLabel(std::string(kNames[decoder]) + ", " + std::to_string(corpus->blocks.size()) +
                   " entries");
}

// The LZ-coded entries of the corpus that bench/run packs, made again in
// memory: every corpus file that `tarnwad pack`'s automatic choice (the
// smallest of stored, LZ and zlib-framed, LZ winning a tie with zlib) would
// store LZ-coded, so that no corpus archive is needed (the same 541 entries
// of 183,650 bytes). Only files of up to 4 KiB are coded: in this corpus
// zlib codes every larger one smaller (the LZ entries of the packed corpus
// are all below 600 bytes), and coding all the files twice takes long.
const CorpusEntries& CorpusLzEntriesInMemory() {
    static const CorpusEntries entries = [] {
        CorpusEntries made;
        vfs::ZlibCodec zlib;
        Bytes zlibBlock;
        for (const bench::CorpusFile& file : bench::CorpusLayout()) {
            if (file.size > 4096) {
                continue;
            }
            const Bytes plain = bench::MakeContent(file.kind, file.size, file.seed);
            const int32_t n = static_cast<int32_t>(plain.size());
            const Bytes block = LzBlockOf(plain);
            if (block.size() >= plain.size()) {
                continue;  // stored
            }
            zlibBlock.resize(plain.size());
            const int32_t zlibLength = zlib.Compress(zlibBlock.data(), plain.data(), n, nullptr);
            if (zlibLength > 0 && static_cast<size_t>(zlibLength) < block.size()) {
                continue;  // zlib-framed
            }
            made.blocks.push_back(std::move(block));
            made.sizes.push_back(static_cast<uint32_t>(n));
            made.unpacked += plain.size();
            made.largest = std::max(made.largest, static_cast<uint32_t>(n));
        }
        return made;
    }();
    return entries;
}

// The corpus's LZ-coded entries (made in memory, see above) decoded one after
// the other by the checked decoder: small blocks, where the cost of a call
// and of the checked tail near the buffers' ends shows. range(0) picks the
// decoder: 0 DecompressBounded, 1 DecodeExactly.
void BM_LzCorpusEntries(benchmark::State& state) {
    const CorpusEntries& corpus = CorpusLzEntriesInMemory();
    const bool exactly = state.range(0) == 1;
    Bytes out(corpus.largest);
    vfs::LzCodec lz;
    for (auto _ : state) {
        int64_t total = 0;
        for (size_t e = 0; e < corpus.blocks.size(); ++e) {
            const Bytes& block = corpus.blocks[e];
            const int32_t size = static_cast<int32_t>(corpus.sizes[e]);
            const int32_t length = static_cast<int32_t>(block.size());
            if (exactly) {
                total += lz.DecodeExactly(out.data(), size, block.data(), length) ? size : 0;
            } else {
                total += lz.DecompressBounded(out.data(), size, block.data(), length, nullptr);
            }
        }
        if (total != static_cast<int64_t>(corpus.unpacked)) {
            state.SkipWithError("an entry did not decode");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.unpacked));
    state.SetLabel(std::string(exactly ? "DecodeExactly" : "DecompressBounded") + ", " +
                   std::to_string(corpus.blocks.size()) + " entries, " +
                   std::to_string(corpus.unpacked) + " bytes");
}

constexpr int64_t kText = static_cast<int64_t>(ContentKind::TEXT);
constexpr int64_t kBinary = static_cast<int64_t>(ContentKind::BINARY);
constexpr int64_t kRandom = static_cast<int64_t>(ContentKind::INCOMPRESSIBLE);

void DecodeSizes(benchmark::internal::Benchmark* b) {
    for (int64_t kind : {kText, kBinary}) {
        for (int64_t size : {4 << 10, 64 << 10, 1 << 20, 12 << 20}) {
            b->Args({kind, size});
        }
    }
}

// The LZ decoders over more sizes than the zlib ones: from blocks that fit
// the first-level cache to ones whose back-references miss the second.
void LzDecodeSizes(benchmark::internal::Benchmark* b) {
    for (int64_t kind : {kText, kBinary}) {
        for (int64_t size : {4 << 10, 16 << 10, 64 << 10, 256 << 10, 1 << 20, 4 << 20, 12 << 20}) {
            b->Args({kind, size});
        }
    }
}

void DistinctSizes(benchmark::internal::Benchmark* b) {
    for (int64_t kind : {kText, kBinary}) {
        for (int64_t size : {4 << 10, 64 << 10, 256 << 10}) {
            b->Args({kind, size});
        }
    }
}

void EncodeSizes(benchmark::internal::Benchmark* b) {
    for (int64_t kind : {kText, kBinary, kRandom}) {
        for (int64_t size : {64 << 10, 1 << 20}) {
            b->Args({kind, size});
        }
    }
}

void EntrySizes(benchmark::internal::Benchmark* b) {
    for (int64_t kind : {kText, kBinary}) {
        for (int64_t size : {4 << 10, 1 << 20, 12 << 20}) {
            for (int64_t entry : {0, 1, 2}) {
                b->Args({kind, size, entry});
            }
        }
    }
}

BENCHMARK(BM_LzDecode)->Apply(LzDecodeSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LzDecodeDistinct)->Apply(DistinctSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LzDecodeExactly)->Apply(DecodeSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LzCorpusEntries)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LzEncode)->Apply(EncodeSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibBlockDecode)->Apply(DecodeSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibReaderDecode)->Apply(DecodeSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawInflate)->Apply(DecodeSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libdeflate)->Apply(DecodeSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EntryRead)->Apply(EntrySizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CorpusEntries)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
