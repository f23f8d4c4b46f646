#include "bench/corpus_content.h"

#include <cstring>

namespace bench {

uint64_t Random::Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

const char* ContentKindName(ContentKind kind) {
    switch (kind) {
        case ContentKind::TEXT:
            return "text";
        case ContentKind::BINARY:
            return "binary";
        case ContentKind::INCOMPRESSIBLE:
            return "incompressible";
    }
    return "?";
}

namespace {

// A fixed vocabulary of pseudo-words; word w is drawn with a weight falling
// like 1/(w+1), as words of real text are.
class Vocabulary {
  public:
    Vocabulary() {
        Random random(0x7A11);
        static const char kLetters[] = "etaoinshrdlucmfwypvbgkjqxz";
        for (int w = 0; w < kWords; ++w) {
            std::string word;
            const uint32_t length = 2 + random.Below(5) + random.Below(5);
            for (uint32_t i = 0; i < length; ++i) {
                // Frequent letters more often: the square of a uniform pick.
                const uint32_t r = random.Below(26);
                word.push_back(kLetters[r * r / 26]);
            }
            words.push_back(word);
        }
        // Cumulative weights of 1/(w+1), scaled to integers.
        uint64_t total = 0;
        for (int w = 0; w < kWords; ++w) {
            total += 1000000 / (w + 1);
            cumulative.push_back(total);
        }
    }

    const std::string& Pick(Random& random) const {
        const uint64_t target = random.Next() % cumulative.back();
        size_t low = 0;
        size_t high = cumulative.size() - 1;
        while (low < high) {
            const size_t mid = (low + high) / 2;
            if (cumulative[mid] <= target) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        return words[low];
    }

  private:
    static constexpr int kWords = 4000;
    std::vector<std::string> words;
    std::vector<uint64_t> cumulative;
};

void MakeText(Bytes& out, size_t size, Random& random) {
    static const Vocabulary vocabulary;
    static const char* const kKeys[] = {"name",  "model", "texture", "health", "speed",
                                        "spawn", "sound", "script",  "target", "origin"};
    while (out.size() < size) {
        const uint32_t lineKind = random.Below(10);
        std::string line;
        if (lineKind < 3) {  // a key = value line of a configuration file
            line = kKeys[random.Below(10)];
            line += " = ";
            line += std::to_string(random.Below(100000));
        } else {  // a sentence
            const uint32_t words = 3 + random.Below(14);
            for (uint32_t i = 0; i < words; ++i) {
                if (i > 0) {
                    line += ' ';
                }
                line += vocabulary.Pick(random);
            }
            line += random.Below(4) == 0 ? "," : ".";
        }
        line += '\n';
        out.insert(out.end(), line.begin(), line.end());
    }
}

// Records of 32 bytes: a running index, three slowly changing coordinates,
// a few flag bytes, and padding. Compresses about as well as game meshes.
void MakeBinary(Bytes& out, size_t size, Random& random) {
    uint32_t index = random.Below(1000);
    int32_t x = 0;
    int32_t y = 0;
    int32_t z = 0;
    while (out.size() < size) {
        uint8_t record[32] = {};
        x += static_cast<int32_t>(random.Below(64)) - 32;
        y += static_cast<int32_t>(random.Below(16)) - 8;
        z += static_cast<int32_t>(random.Below(256)) - 128;
        const uint32_t fields[4] = {index++, static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                                    static_cast<uint32_t>(z)};
        for (int f = 0; f < 4; ++f) {
            for (int b = 0; b < 4; ++b) {
                record[f * 4 + b] = static_cast<uint8_t>(fields[f] >> (8 * b));
            }
        }
        record[16] = static_cast<uint8_t>(random.Below(4));
        record[17] = static_cast<uint8_t>(random.Below(256));
        record[20] = 0xFF;
        out.insert(out.end(), record, record + sizeof(record));
    }
}

void MakeIncompressible(Bytes& out, size_t size, Random& random) {
    out.resize((size + 7) & ~size_t{7});
    for (size_t i = 0; i < out.size(); i += 8) {
        const uint64_t value = random.Next();
        std::memcpy(out.data() + i, &value, 8);
    }
}

}  // namespace

Bytes MakeContent(ContentKind kind, size_t size, uint64_t seed) {
    Random random(seed * 0x2545F4914F6CDD1Dull + 1);
    Bytes out;
    out.reserve(size + 256);
    switch (kind) {
        case ContentKind::TEXT:
            MakeText(out, size, random);
            break;
        case ContentKind::BINARY:
            MakeBinary(out, size, random);
            break;
        case ContentKind::INCOMPRESSIBLE:
            MakeIncompressible(out, size, random);
            break;
    }
    out.resize(size);
    return out;
}

namespace {

ContentKind PickKind(Random& random) {
    const uint32_t r = random.Below(100);
    return r < 50 ? ContentKind::TEXT : r < 85 ? ContentKind::BINARY : ContentKind::INCOMPRESSIBLE;
}

const char* ExtensionOf(ContentKind kind) {
    switch (kind) {
        case ContentKind::TEXT:
            return ".txt";
        case ContentKind::BINARY:
            return ".bin";
        case ContentKind::INCOMPRESSIBLE:
            return ".ogg";
    }
    return "";
}

// A size between 200 bytes and about 1 MiB, most of them small: 2^(8..20)
// with a random fraction.
size_t PickSize(Random& random, uint32_t maxShift) {
    const uint32_t shift = 8 + random.Below(maxShift - 7);
    return (size_t{1} << shift) + random.Below(1u << shift);
}

}  // namespace

std::vector<CorpusFile> CorpusLayout() {
    std::vector<CorpusFile> files;
    Random random(20261207);
    uint64_t seed = 1;

    // One flat directory of 10,000 small files.
    for (int i = 0; i < 10000; ++i) {
        const ContentKind kind = PickKind(random);
        const size_t size = 200 + random.Below(3800);
        files.push_back({"flat/item" + std::to_string(i) + ExtensionOf(kind), kind, size, seed++});
    }

    // A tree nested up to 6 levels below the root: each directory holds a few
    // files and up to four subdirectories, depth-first, until about 11,000
    // files are placed.
    struct Pending {
        std::string path;
        int depth;
    };
    std::vector<Pending> stack{{"levels", 1}};
    int placed = 0;
    while (!stack.empty() && placed < 11000) {
        const Pending dir = stack.back();
        stack.pop_back();
        const uint32_t fileCount = 10 + random.Below(30);
        for (uint32_t f = 0; f < fileCount; ++f, ++placed) {
            const ContentKind kind = PickKind(random);
            files.push_back({dir.path + "/file" + std::to_string(f) + ExtensionOf(kind), kind,
                             PickSize(random, dir.depth < 3 ? 17 : 14), seed++});
        }
        if (dir.depth < 6) {
            const uint32_t subdirectories = 3 + random.Below(2);
            for (uint32_t s = 0; s < subdirectories; ++s) {
                stack.push_back({dir.path + "/dir" + std::to_string(s), dir.depth + 1});
            }
        }
    }

    // A few large files.
    files.push_back({"big/dialogue.txt", ContentKind::TEXT, 12u << 20, seed++});
    files.push_back({"big/terrain.bin", ContentKind::BINARY, 14u << 20, seed++});
    files.push_back({"big/world.bin", ContentKind::BINARY, 24u << 20, seed++});
    files.push_back({"big/music.ogg", ContentKind::INCOMPRESSIBLE, 32u << 20, seed++});
    return files;
}

}  // namespace bench
