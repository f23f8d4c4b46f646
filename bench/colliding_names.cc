#include "bench/colliding_names.h"

#include "bench/corpus_content.h"

#include <cstring>
#include <functional>
#include <unordered_map>
#include <unordered_set>

namespace bench {

namespace {

constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789_-";
constexpr uint32_t kAlphabetSize = sizeof(kAlphabet) - 1;

uint32_t FnvStep(FnvParameters fnv, uint32_t h, const char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        h = (h ^ static_cast<uint8_t>(bytes[i])) * fnv.prime;
    }
    return h;
}

// Two distinct 4-byte blocks that take the hash from `from` to one value.
std::pair<std::string, std::string> FnvCollidingBlocks(FnvParameters fnv, uint32_t from,
                                                       Random& random) {
    std::unordered_map<uint32_t, uint32_t> seen;  // hash after the block -> the block
    seen.reserve(1 << 18);
    for (;;) {
        char block[4];
        uint64_t bits = random.Next();
        for (char& c : block) {
            c = kAlphabet[bits % kAlphabetSize];
            bits /= kAlphabetSize;
        }
        uint32_t packed;
        std::memcpy(&packed, block, 4);
        auto [where, added] = seen.emplace(FnvStep(fnv, from, block, 4), packed);
        if (!added && where->second != packed) {
            char other[4];
            std::memcpy(other, &where->second, 4);
            return {std::string(other, 4), std::string(block, 4)};
        }
    }
}

// 2^k names from k pairs of blocks: name i takes, for each pair from the
// first, the block that the matching bit of i picks (highest bit first).
std::vector<std::string> Combine(const std::vector<std::pair<std::string, std::string>>& pairs,
                                 const std::string& head, uint32_t count) {
    std::vector<std::string> names;
    names.reserve(count);
    const size_t k = pairs.size();
    for (uint32_t i = 0; i < count; ++i) {
        std::string name = head;
        for (size_t level = 0; level < k; ++level) {
            const bool second = ((i >> (k - 1 - level)) & 1) != 0;
            name += second ? pairs[level].second : pairs[level].first;
        }
        names.push_back(std::move(name));
    }
    return names;
}

uint32_t LevelsFor(uint32_t count) {
    uint32_t k = 0;
    while (k < 32 && (uint64_t{1} << k) < count) {
        ++k;
    }
    return k;
}

// The multiplier of std::hash<std::string> in the 64-bit standard library,
// and its inverse modulo 2^64.
constexpr uint64_t kMul = 0xC6A4A7935BD1E995ull;

uint64_t Inverse(uint64_t odd) {
    uint64_t x = odd;  // right in the lowest 3 bits; each step doubles that
    for (int i = 0; i < 5; ++i) {
        x *= 2 - odd * x;
    }
    return x;
}

// v ^ (v >> 47) undoes itself: the top 17 bits pass unchanged.
uint64_t ShiftMix(uint64_t v) {
    return v ^ (v >> 47);
}

// What the hash mixes into its state for the 8 bytes `block`, and back.
uint64_t MixBlock(uint64_t block) {
    return ShiftMix(block * kMul) * kMul;
}
uint64_t UnmixBlock(uint64_t mixed) {
    static const uint64_t inverse = Inverse(kMul);
    return ShiftMix(mixed * inverse) * inverse;
}

bool NameByte(uint8_t c) {
    return c >= 0x20 && c != ':' && c != '*' && c != '?' && c != '/' && c != '\\' &&
           !(c >= 'A' && c <= 'Z');
}

bool NameBytes(uint64_t block) {
    for (int i = 0; i < 8; ++i) {
        if (!NameByte(static_cast<uint8_t>(block >> (8 * i)))) {
            return false;
        }
    }
    return true;
}

std::string BlockText(uint64_t block) {
    std::string text(8, ' ');
    for (int i = 0; i < 8; ++i) {
        text[i] = static_cast<char>(static_cast<uint8_t>(block >> (8 * i)));  // little-endian
    }
    return text;
}

// A block of name bytes whose mixed value, with its top bit flipped, is the
// mixed value of another block of name bytes; both blocks.
std::pair<uint64_t, uint64_t> TopBitPartners(Random& random) {
    for (;;) {
        uint64_t block = 0;
        for (int i = 0; i < 8; ++i) {
            uint8_t c;
            do {
                c = static_cast<uint8_t>(random.Next());
            } while (!NameByte(c));
            block |= uint64_t{c} << (8 * i);
        }
        const uint64_t partner = UnmixBlock(MixBlock(block) ^ (uint64_t{1} << 63));
        if (NameBytes(partner)) {
            return {block, partner};
        }
    }
}

}  // namespace

uint32_t FnvHash(FnvParameters fnv, const std::string& text) {
    return FnvStep(fnv, fnv.basis, text.data(), text.size());
}

std::vector<std::string> FnvCollidingNames(uint32_t count, FnvParameters fnv) {
    Random random(0xF100D ^ fnv.prime);
    std::vector<std::pair<std::string, std::string>> pairs;
    uint32_t h = fnv.basis;
    for (uint32_t level = 0; level < LevelsFor(count); ++level) {
        pairs.push_back(FnvCollidingBlocks(fnv, h, random));
        h = FnvStep(fnv, h, pairs.back().first.data(), pairs.back().first.size());
    }
    return Combine(pairs, "", count);
}

uint32_t FnvCollidingNameLength(uint32_t count) {
    return 4 * LevelsFor(count);
}

std::vector<std::string> StdHashCollidingNames(uint32_t count, uint32_t before) {
    if (sizeof(size_t) != 8) {
        return {};
    }
    // The blocks are read 8 bytes at a time from the start of the whole
    // string: pad the name to the next multiple of 8.
    const std::string head((8 - before % 8) % 8, '_');
    // A pair of units, 16 bytes each: a block and its partner, then a block
    // and its partner. After the first blocks the two states differ only in
    // their top bit, which the multiplication by an odd number keeps; the
    // second blocks differ by that bit as well, and cancel it.
    Random random(0x57D);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (uint32_t level = 0; level < LevelsFor(count); ++level) {
        const auto [a, a2] = TopBitPartners(random);
        const auto [b, b2] = TopBitPartners(random);
        pairs.emplace_back(BlockText(a) + BlockText(b), BlockText(a2) + BlockText(b2));
    }
    std::vector<std::string> names = Combine(pairs, head, count);
    const std::hash<std::string> hash;
    const std::string prefix(before, '/');
    const size_t first = hash(prefix + names.front());
    if (names.size() > 1 &&
        (hash(prefix + names[1]) != first || hash(prefix + names.back()) != first)) {
        return {};
    }
    return names;
}

std::vector<std::string> SipHashCollidingNames(uint32_t count, uint32_t length,
                                               const vfs::HashKey& key, uint32_t bits) {
    Random random(0x5195);
    const uint64_t mask = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
    std::unordered_set<std::string> taken;
    std::vector<std::string> names;
    names.reserve(count);
    std::string name(length, ' ');
    while (names.size() < count) {
        for (char& c : name) {
            c = kAlphabet[random.Next() % kAlphabetSize];
        }
        if ((vfs::SipHash<1, 3>(key, name.data(), name.size()) & mask) == 0 &&
            taken.insert(name).second) {
            names.push_back(name);
        }
    }
    return names;
}

std::vector<std::string> OrdinaryNames(uint32_t count, uint32_t length, uint64_t seed) {
    Random random(seed);
    std::unordered_set<std::string> taken;
    std::vector<std::string> names;
    names.reserve(count);
    while (names.size() < count) {
        std::string name(length, ' ');
        for (char& c : name) {
            c = kAlphabet[random.Next() % kAlphabetSize];
        }
        if (taken.insert(name).second) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

}  // namespace bench
