#include "vfs/codec/lz_codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "vfs/codec/lz_prefix_chains.h"

namespace vfs {

namespace {

// ---------------------------------------------------------------- decoding

uint32_t ReadSize24(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

int32_t HeaderSizeOf(const uint8_t* src) {
    return (src[0] & LZ_HEADER_LONG) ? LZ_LONG_HEADER_SIZE : LZ_SHORT_HEADER_SIZE;
}

// Copies `count` bytes one at a time, in ascending order.
inline void CopyBytes(uint8_t* to, const uint8_t* from, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        to[i] = from[i];
    }
}

inline void Copy8(uint8_t* to, const uint8_t* from) {
    std::memcpy(to, from, 8);
}

inline void Copy16(uint8_t* to, const uint8_t* from) {
    std::memcpy(to, from, 16);
}

// Repeats `length` bytes from `distance` back at op, with the meaning of a
// byte-by-byte copy in ascending order, writing up to 15 bytes past the end
// of the copy: the caller guarantees length + 15 bytes of room at op and a
// distance of at least 1 that stays inside the output.
//
// A step of s bytes at once is the byte-by-byte copy when the distance is
// at least s: every byte it reads was written before the step. A distance
// below 8 repeats a pattern of `distance` bytes; after the first d' bytes,
// d' being the smallest multiple of the distance that is 8 or more, each
// byte equals the one d' back, so the rest goes in 8-byte steps from there.
inline void CopyMatchWide(uint8_t* op, size_t distance, size_t length) {
    const uint8_t* from = op - distance;
    if (distance >= 16) {
        Copy16(op, from);
        for (size_t i = 16; i < length; i += 16) {
            Copy16(op + i, from + i);
        }
    } else if (distance >= 8) {
        Copy8(op, from);
        for (size_t i = 8; i < length; i += 8) {
            Copy8(op + i, from + i);
        }
    } else if (distance == 1) {
        std::memset(op, *from, length);
    } else {
        const size_t period = distance * ((8 + distance - 1) / distance);
        const size_t head = std::min(length, period);
        CopyBytes(op, from, head);
        for (size_t i = head; i < length; i += 8) {
            Copy8(op + i, op + i - period);
        }
    }
}

// The wide copies read and write in steps of up to 16 bytes: a command runs
// in the fast loop only where its steps, overshoot included, stay inside
// both buffers. A copy command reads at most 4 command bytes and 4 bytes of
// literals (all 4 copied at once, whatever its count).
constexpr size_t kFastInput = 16;
constexpr size_t kStep = 16;

// Decodes commands for as long as each one's wide steps fit in what is left
// of the input and the output; per command that is one test of each side
// and one of the distance against the output produced so far. Returns false
// for a malformed block; otherwise *ipOut and *opOut tell where it stopped
// (near an end, or at the stop command, which it leaves for the checked
// loop).
bool DecodeFast(uint8_t* dest, uint8_t* opEnd, const uint8_t* src, size_t srcLength, size_t* ipOut,
                uint8_t** opOut) {
    const uint8_t* in = src + *ipOut;
    const uint8_t* const inEnd = src + srcLength;
    uint8_t* op = *opOut;
    while (static_cast<size_t>(inEnd - in) >= kFastInput) {
        const uint32_t b0 = in[0];
        const size_t room = static_cast<size_t>(opEnd - op);
        if (b0 < 0x80) {  // short copy: the most frequent command by far
            const size_t literals = b0 & 3;
            const size_t length = ((b0 >> 2) & 7) + 3;
            if (room < literals + length + kStep - 1) {
                break;
            }
            const size_t distance = ((b0 & 0x60) << 3) + in[1] + 1;
            std::memcpy(op, in + 2, 4);
            in += 2 + literals;
            op += literals;
            if (distance > static_cast<size_t>(op - dest)) {
                return false;
            }
            const uint8_t* from = op - distance;
            if (distance >= 16) {
                Copy16(op, from);
            } else if (distance >= 8) {
                Copy8(op, from);
                Copy8(op + 8, from + 8);
            } else {
                CopyMatchWide(op, distance, length);
            }
            op += length;
        } else if (b0 < 0xE0) {  // medium or long copy
            size_t literals;
            size_t length;
            size_t distance;
            size_t commandBytes;
            const uint32_t b1 = in[1];
            if (b0 < 0xC0) {
                literals = b1 >> 6;
                length = (b0 & 0x3F) + 4;
                distance = ((b1 & 0x3F) << 8) + in[2] + 1;
                commandBytes = 3;
            } else {
                literals = b0 & 3;
                length = ((b0 & 0x0C) << 6) + in[3] + 5;
                distance = ((b0 & 0x10) << 12) + (b1 << 8) + in[2] + 1;
                commandBytes = 4;
            }
            if (room < literals + length + kStep - 1) {
                break;
            }
            in += commandBytes;
            std::memcpy(op, in, 4);
            in += literals;
            op += literals;
            if (distance > static_cast<size_t>(op - dest)) {
                return false;
            }
            CopyMatchWide(op, distance, length);
            op += length;
        } else if (b0 < 0xFC) {  // literal run
            const size_t literals = ((b0 & 0x1F) + 1) * 4;
            if (static_cast<size_t>(inEnd - in) < 1 + literals + 2 * kStep - 1 ||
                room < literals + 2 * kStep - 1) {
                break;
            }
            ++in;
            // Most runs are short: two steps at once, a loop for the rest.
            Copy16(op, in);
            Copy16(op + kStep, in + kStep);
            for (size_t i = 2 * kStep; i < literals; i += kStep) {
                Copy16(op + i, in + i);
            }
            in += literals;
            op += literals;
        } else {
            break;  // the stop command: the checked loop ends the block
        }
    }
    *ipOut = static_cast<size_t>(in - src);
    *opOut = op;
    return true;
}

// Decodes the command stream that starts at src[ip] into exactly `size`
// bytes at dest. The fast loop runs while the commands' wide steps fit; then
// each command is checked against the input left (srcLength - ip), the
// output left and the output produced so far, so nothing outside src[0, srcLength) or
// dest[0, size) is ever touched. True when the block is intact and makes
// exactly `size` bytes, an empty block included; false for a malformed one.
bool DecodeCommands(uint8_t* dest, uint32_t size, const uint8_t* src, size_t srcLength, size_t ip) {
    uint8_t* op = dest;
    uint8_t* const opEnd = dest + size;
    if (!DecodeFast(dest, opEnd, src, srcLength, &ip, &op)) {
        return false;
    }
    for (;;) {
        if (ip >= srcLength) {
            return false;  // the input ends without a stop command
        }
        const uint32_t b0 = src[ip];
        const size_t outputLeft = static_cast<size_t>(opEnd - op);

        if (b0 >= 0xE0) {  // a literal run, or the stop command with its last literals
            const bool stop = b0 >= 0xFC;
            const size_t literals = stop ? (b0 & 3) : ((b0 & 0x1F) + 1) * 4;
            ip += 1;
            if (srcLength - ip < literals || outputLeft < literals ||
                (stop && outputLeft != literals)) {
                return false;  // cut short, or not exactly the size the header records
            }
            if (stop) {
                CopyBytes(op, src + ip, literals);  // op may be null for an empty block
                return true;
            }
            std::memcpy(op, src + ip, literals);
            op += literals;
            ip += literals;
            continue;
        }

        // A copy form: 2, 3 or 4 command bytes, 0-3 literals, the back-reference.
        const size_t commandBytes = b0 < 0x80 ? 2 : b0 < 0xC0 ? 3 : 4;
        if (srcLength - ip < commandBytes) {
            return false;
        }
        size_t literals;
        size_t length;
        size_t distance;
        const uint32_t b1 = src[ip + 1];
        if (b0 < 0x80) {
            literals = b0 & 3;
            length = ((b0 >> 2) & 7) + 3;
            distance = ((b0 & 0x60) << 3) + b1 + 1;
        } else if (b0 < 0xC0) {
            literals = b1 >> 6;
            length = (b0 & 0x3F) + 4;
            distance = ((b1 & 0x3F) << 8) + src[ip + 2] + 1;
        } else {
            literals = b0 & 3;
            length = ((b0 & 0x0C) << 6) + src[ip + 3] + 5;
            distance = ((b0 & 0x10) << 12) + (b1 << 8) + src[ip + 2] + 1;
        }
        ip += commandBytes;
        if (srcLength - ip < literals || outputLeft < literals + length) {
            return false;
        }
        std::memcpy(op, src + ip, literals);
        op += literals;
        ip += literals;
        if (distance > static_cast<size_t>(op - dest)) {
            return false;  // reaches before the start of the output
        }
        if (outputLeft - literals >= length + 15) {
            CopyMatchWide(op, distance, length);
        } else if (distance >= length) {
            std::memcpy(op, op - distance, length);
        } else {
            CopyBytes(op, op - distance, length);  // overlapping: repeats the last D bytes
        }
        op += length;
    }
}

// The length of the intact block at src: the header and every command up
// to and including the stop command. Reads nothing but command bytes.
size_t MeasureBlock(const uint8_t* src) {
    size_t ip = static_cast<size_t>(HeaderSizeOf(src));
    for (;;) {
        const uint32_t b0 = src[ip];
        if (b0 < 0x80) {
            ip += 2 + (b0 & 3);
        } else if (b0 < 0xC0) {
            ip += 3 + (src[ip + 1] >> 6);
        } else if (b0 < 0xE0) {
            ip += 4 + (b0 & 3);
        } else if (b0 < 0xFC) {
            ip += 1 + ((b0 & 0x1F) + 1) * 4;
        } else {
            return ip + 1 + (b0 & 3);
        }
    }
}

// ---------------------------------------------------------------- encoding

// The table of CRC-16/ARC (reflected polynomial 0xA001, initial value 0).
constexpr std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrc16Table = MakeCrc16Table();
static_assert(kCrc16Table[1] == 0xC0C1 && kCrc16Table[2] == 0xC181 && kCrc16Table[3] == 0x0140);

// The CRC-16/ARC of the three bytes at src[p] (bytes past the end count as
// 0: positions that close to the end never start a match, so their hash only
// has to exist).
uint32_t Hash3(const uint8_t* src, int32_t n, int32_t p) {
    const uint32_t b0 = src[p];
    const uint32_t b1 = p + 1 < n ? src[p + 1] : 0;
    const uint32_t b2 = p + 2 < n ? src[p + 2] : 0;
    uint32_t h = kCrc16Table[b0];
    h = kCrc16Table[(h ^ b1) & 0xFF] ^ (h >> 8);
    h = kCrc16Table[(h ^ b2) & 0xFF] ^ (h >> 8);
    return h;
}

constexpr int32_t kChainMask = 0x1FFFF;
constexpr int32_t kMaxLiteralRun = 112;

class LzEncoder {
  public:
    LzEncoder(uint8_t* dest, const uint8_t* src, int32_t n, int32_t* head, int32_t* chain)
        : dest(dest), src(src), n(n), head(head), chain(chain), prefixChains(src, n) {}

    int32_t Run() {
        dest[0] = LZ_HEADER_FLAGS;
        dest[1] = LZ_MAGIC;
        dest[2] = static_cast<uint8_t>(n >> 16);
        dest[3] = static_cast<uint8_t>(n >> 8);
        dest[4] = static_cast<uint8_t>(n);
        out = LZ_SHORT_HEADER_SIZE;
        std::fill(head, head + 65536, -1);

        int32_t i = 0;
        while (i < n) {
            const Match match = FindMatch(i);
            if (match.size < match.length) {
                EmitLiteralRuns(i);
                EmitCopy(match, i);
                for (int32_t p = i; p < i + match.length; ++p) {
                    Insert(p);
                }
                i += match.length;
                literalStart = i;
            } else {
                Insert(i);
                ++i;
            }
        }
        EmitLiteralRuns(n);
        const int32_t pending = n - literalStart;
        dest[out++] = static_cast<uint8_t>(0xFC + pending);
        EmitLiterals(pending);
        return out;
    }

  private:
    struct Match {
        int32_t length;
        int32_t size;    // command bytes: 2 short, 3 medium, 4 long
        int32_t offset;  // distance - 1
    };

    // The candidate with the best saving (length minus command bytes) among
    // the earlier positions of the same hash within the window; the nearest
    // wins among equals.
    //
    // Only a candidate that beats the best so far matters, and the walk
    // knows how long such a candidate must be: longer than the best, and,
    // since its command costs at least 2, 3 or 4 bytes by its distance (which
    // only grows along the walk), long enough to save more. Candidates
    // shorter than that are skipped by testing that length's last byte, the
    // walk ends once no candidate can be long enough, and it goes on along
    // the prefix chains, which hold every candidate of that length in the
    // same order. The choice is the one the plain walk makes.
    Match FindMatch(int32_t i) const {
        Match best{2, 2, 0};
        const int32_t remaining = n - i;
        if (remaining < 3) {
            return best;
        }
        const int32_t maxLength = std::min(remaining, LZ_MAX_COPY_LENGTH);
        const int32_t floor = std::max(i - LZ_WINDOW, 0);
        const bool shortcuts = prefixChains.Ready() && remaining >= 8;
        int level = -1;  // -1: the encoder's own chain
        int32_t k = head[Hash3(src, n, i)];
        while (k >= floor) {
            const int32_t offset = i - k - 1;
            const int32_t leastSize = offset < 1024 ? 2 : offset < 16384 ? 3 : 4;
            const int32_t needed =
                std::max(best.length + 1, best.length - best.size + leastSize + 1);
            if (needed > maxLength) {
                break;  // no candidate from here on can be long enough
            }
            if (shortcuts) {
                const int deeper = LzPrefixChains::LevelFor(needed);
                if (deeper > level) {
                    level = deeper;
                    k = prefixChains.FirstBelow(level, i, k + 1);
                    continue;
                }
            }
            if (src[i + needed - 1] == src[k + needed - 1]) {
                const int32_t length = MatchLength(k, i, maxLength);
                const int32_t size = (offset < 1024 && length <= 10)    ? 2
                                     : (offset < 16384 && length <= 67) ? 3
                                                                        : 4;
                if (length > best.length && length - size > best.length - best.size) {
                    best = Match{length, size, offset};
                    if (length >= LZ_MAX_COPY_LENGTH) {
                        break;
                    }
                }
            }
            k = level < 0 ? chain[k & kChainMask] : prefixChains.Next(level, k);
        }
        return best;
    }

    // The number of equal leading bytes at k and at i (k < i), up to
    // maxLength (which i has left), compared eight at a time.
    int32_t MatchLength(int32_t k, int32_t i, int32_t maxLength) const {
        int32_t length = 0;
        if constexpr (std::endian::native == std::endian::little) {
            while (length + 8 <= maxLength) {
                uint64_t a;
                uint64_t b;
                std::memcpy(&a, src + k + length, 8);
                std::memcpy(&b, src + i + length, 8);
                if (a != b) {
                    return length + std::countr_zero(a ^ b) / 8;
                }
                length += 8;
            }
        }
        while (length < maxLength && src[k + length] == src[i + length]) {
            ++length;
        }
        return length;
    }

    void Insert(int32_t p) {
        const uint32_t h = Hash3(src, n, p);
        chain[p & kChainMask] = head[h];
        head[h] = p;
        if (prefixChains.Ready()) {
            prefixChains.Insert(p);
        }
    }

    // Emits the pending literals before `end` as runs of multiples of 4,
    // leaving the last 0-3 for the next copy or stop command.
    void EmitLiteralRuns(int32_t end) {
        while (end - literalStart > 3) {
            const int32_t run = std::min((end - literalStart) & ~3, kMaxLiteralRun);
            dest[out++] = static_cast<uint8_t>(0xE0 + run / 4 - 1);
            EmitLiterals(run);
        }
    }

    void EmitLiterals(int32_t count) {
        if (count == 0) {
            return;  // src may be null for an empty input
        }
        std::memcpy(dest + out, src + literalStart, static_cast<size_t>(count));
        out += count;
        literalStart += count;
    }

    void EmitCopy(const Match& match, int32_t i) {
        const int32_t literals = i - literalStart;
        const uint32_t d = static_cast<uint32_t>(match.offset);
        const uint32_t l = static_cast<uint32_t>(literals);
        if (match.size == 2) {
            const uint32_t len = static_cast<uint32_t>(match.length - 3);
            dest[out++] = static_cast<uint8_t>(((d >> 3) & 0x60) | (len << 2) | l);
            dest[out++] = static_cast<uint8_t>(d);
        } else if (match.size == 3) {
            const uint32_t len = static_cast<uint32_t>(match.length - 4);
            dest[out++] = static_cast<uint8_t>(0x80 | len);
            dest[out++] = static_cast<uint8_t>((l << 6) | (d >> 8));
            dest[out++] = static_cast<uint8_t>(d);
        } else {
            const uint32_t len = static_cast<uint32_t>(match.length - 5);
            dest[out++] = static_cast<uint8_t>(0xC0 | ((d >> 12) & 0x10) | ((len >> 6) & 0x0C) | l);
            dest[out++] = static_cast<uint8_t>(d >> 8);
            dest[out++] = static_cast<uint8_t>(d);
            dest[out++] = static_cast<uint8_t>(len);
        }
        EmitLiterals(literals);
    }

    uint8_t* const dest;
    const uint8_t* const src;
    const int32_t n;
    int32_t* const head;
    int32_t* const chain;
    LzPrefixChains prefixChains;
    int32_t out = 0;
    int32_t literalStart = 0;
};

}  // namespace

int32_t LzCodec::Compress(uint8_t* dest, const uint8_t* src, int32_t srcLength, void* work) {
    // A block of more than LZ_MAX_SIZE bytes could not record its own size,
    // and would never decode: refuse rather than write it.
    if (dest == nullptr || srcLength < 0 || srcLength > LZ_MAX_SIZE ||
        (src == nullptr && srcLength > 0)) {
        return 0;
    }
    // The tables are 32-bit positions: a caller's area that is not aligned
    // for them is replaced, like a missing one, by an allocation of our own.
    std::unique_ptr<int32_t[]> owned;
    int32_t* tables = static_cast<int32_t*>(work);
    if (work == nullptr || reinterpret_cast<uintptr_t>(work) % alignof(int32_t) != 0) {
        owned.reset(new (std::nothrow) int32_t[kHeadEntries + kChainEntries]);
        if (!owned) {
            return 0;
        }
        tables = owned.get();
    }
    LzEncoder encoder(dest, src, srcLength, tables, tables + kHeadEntries);
    return encoder.Run();
}

int32_t LzCodec::Decompress(uint8_t* dest, const uint8_t* src, void* /*work*/) {
    if (src == nullptr) {
        return 0;
    }
    // The caller vouches for the block and for dest; the block's extent is
    // still found first, so that the decoder's wide copies stay inside it.
    const int32_t headerSize = HeaderSizeOf(src);
    const uint32_t size = ReadSize24(src + headerSize - 3);
    return DecodeCommands(dest, size, src, MeasureBlock(src), static_cast<size_t>(headerSize))
               ? static_cast<int32_t>(size)
               : 0;
}

int32_t LzCodec::GetDecompressedSize(const uint8_t* src) {
    if (src == nullptr) {
        return 0;
    }
    const bool shortHeader = src[0] == LZ_HEADER_FLAGS && src[1] == LZ_MAGIC;
    return static_cast<int32_t>(ReadSize24(src + (shortHeader ? 2 : 5)));
}

int32_t LzCodec::DecompressBounded(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                                   int32_t srcLength, void* /*work*/) {
    if (src == nullptr || srcLength < LZ_SHORT_HEADER_SIZE || destCapacity < 0 ||
        (dest == nullptr && destCapacity > 0)) {
        return 0;
    }
    const int32_t headerSize = HeaderSizeOf(src);
    if (srcLength < headerSize) {
        return 0;
    }
    const uint32_t size = ReadSize24(src + headerSize - 3);
    if (size > static_cast<uint32_t>(destCapacity)) {
        return 0;
    }
    return DecodeCommands(dest, size, src, static_cast<size_t>(srcLength),
                          static_cast<size_t>(headerSize))
               ? static_cast<int32_t>(size)
               : 0;
}

bool LzCodec::DecodeExactly(uint8_t* dest, int32_t size, const uint8_t* src, int32_t srcLength) {
    if (src == nullptr || size < 0 || (dest == nullptr && size > 0) ||
        srcLength < LZ_SHORT_HEADER_SIZE) {
        return false;
    }
    const int32_t headerSize = HeaderSizeOf(src);
    if (srcLength < headerSize || ReadSize24(src + headerSize - 3) != static_cast<uint32_t>(size)) {
        return false;
    }
    return DecodeCommands(dest, static_cast<uint32_t>(size), src, static_cast<size_t>(srcLength),
                          static_cast<size_t>(headerSize));
}

}  // namespace vfs
