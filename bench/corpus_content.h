// Deterministic content for the benchmarks: text-like, binary and
// incompressible bytes, and the layout of the benchmark corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using Bytes = std::vector<uint8_t>;

// A small, fast generator whose output is the same on every platform
// (splitmix64), so that a corpus made twice is byte for byte the same.
class Random {
  public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t Next();
    // Uniform in [0, bound); bound > 0.
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }

  private:
    uint64_t state;
};

enum class ContentKind {
    TEXT,            // words and lines, like scripts and configuration
    BINARY,          // records of slowly changing numbers, like meshes and tables
    INCOMPRESSIBLE,  // random bytes, like already compressed media
};

const char* ContentKindName(ContentKind kind);

// `size` bytes of the given kind; the same seed gives the same bytes.
Bytes MakeContent(ContentKind kind, size_t size, uint64_t seed);

// One file of the corpus: its path below the corpus root ("/" separated),
// and how to make its bytes.
struct CorpusFile {
    std::string path;
    ContentKind kind;
    size_t size;
    uint64_t seed;
};

// The benchmark corpus: a flat directory of 10,000 small files, a tree of
// about 11,000 files nested up to 6 levels deep, and a few files of
// 12-32 MiB; about 130 MB in all, a third of it text, a third binary and a
// third incompressible.
std::vector<CorpusFile> CorpusLayout();

}  // namespace bench
