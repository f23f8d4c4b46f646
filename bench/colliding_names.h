// Names chosen to collide in hash tables: what a hostile archive would hold
// to make loading it or walking it slow, for the benchmarks and for the
// tests that such names are still found and listed as any others.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vfs/core/keyed_hash.h"

namespace bench {

// The byte-wise hash h = (h XOR byte) * prime modulo 2^32, from `basis`:
// 32-bit FNV-1a, and the low 32 bits of 64-bit FNV-1a (whose low bits never
// depend on its high ones).
struct FnvParameters {
    uint32_t basis;
    uint32_t prime;
};
inline constexpr FnvParameters kFnv1a32{2166136261u, 16777619u};
inline constexpr FnvParameters kFnv1a64Low{static_cast<uint32_t>(14695981039346656037ull),
                                           static_cast<uint32_t>(1099511628211ull)};

uint32_t FnvHash(FnvParameters fnv, const std::string& text);

// `count` distinct names of lower-case letters, digits, "_" and "-", all of
// one length and all with the same FnvHash: the name is a row of 4-byte
// blocks, each one of two blocks that bring the hash to the same value from
// where the blocks before them left it, so 2^k names take k such pairs, each
// found by a birthday search of about 80,000 blocks. Deterministic.
std::vector<std::string> FnvCollidingNames(uint32_t count, FnvParameters fnv);
// The length of those names: 4 bytes for each doubling of `count`.
uint32_t FnvCollidingNameLength(uint32_t count);

// `count` distinct names whose hash under the standard library's
// std::hash<std::string> is the same, when each is hashed as the end of a
// string that holds `before` bytes before it (a parent path, say): 8-byte
// blocks whose mixed values differ only in their top bit, in pairs that
// cancel out, whatever the hash's seed and the bytes before them. Made of
// bytes a name in an archive may hold (no control byte, separator, wildcard,
// ":" or upper-case letter). Each doubling of `count` makes the names 16
// bytes longer: 32,768 of them take 246 bytes, about the most one name may
// hold. Empty where std::hash is not the 64-bit hash these blocks are made
// for; checked against the real std::hash.
std::vector<std::string> StdHashCollidingNames(uint32_t count, uint32_t before);

// `count` distinct names of `length` bytes from the alphabet of
// FnvCollidingNames whose SipHash-1-3 under `key` has its low `bits` bits
// all 0: names chosen against a keyed hash whose key is known (the all-zero
// key of an unkeyed use, say). Found by trying random names, about 2^bits
// for each. Deterministic.
std::vector<std::string> SipHashCollidingNames(uint32_t count, uint32_t length,
                                               const vfs::HashKey& key, uint32_t bits);

// `count` distinct names of `length` bytes from the alphabet of
// FnvCollidingNames, drawn at random from `seed`: what a directory of
// ordinary names looks like to a hash.
std::vector<std::string> OrdinaryNames(uint32_t count, uint32_t length, uint64_t seed);

}  // namespace bench
