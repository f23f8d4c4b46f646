#include "vfs/codec/lz_codec.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

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

// Repeats `length` bytes from `distance` back at op, with the meaning of a
// byte-by-byte copy in ascending order; `room` bytes from op may be written.
// Copies in 8- or 16-byte steps where the steps cannot see their own output
// (the distance is at least the step) and the room allows the overshoot.
inline void CopyMatch(uint8_t* op, size_t distance, size_t length, size_t room) {
    const uint8_t* from = op - distance;
    if (distance >= 16 && room >= length + 15) {
        for (size_t i = 0; i < length; i += 16) {
            std::memcpy(op + i, from + i, 16);
        }
    } else if (distance >= 8 && room >= length + 7) {
        for (size_t i = 0; i < length; i += 8) {
            std::memcpy(op + i, from + i, 8);
        }
    } else if (distance >= length) {
        std::memcpy(op, from, length);
    } else if (distance == 1) {
        std::memset(op, *from, length);
    } else {
        CopyBytes(op, from, length);  // overlapping: repeats the last D bytes
    }
}

// Where this much input and output is left, no command can reach the end
// of either, even with the overshoot of the 16-byte steps below: a literal
// run reads at most 1 + 112 bytes, a copy writes at most 3 + 1028.
constexpr size_t kRoomyInput = 1 + 112 + 16;
constexpr size_t kRoomyOutput = 3 + LZ_MAX_COPY_LENGTH + 16;

// Decodes the command stream that starts at src[ip] into exactly `size`
// bytes at dest. Each command is checked once, against the input left
// (srcLength - ip), the output left and the output produced so far, so
// nothing outside src[0, srcLength) or dest[0, size) is ever touched; far
// from both ends one test covers all but the distance. Returns `size`, or
// 0 for a malformed block.
int32_t DecodeCommands(uint8_t* dest, uint32_t size, const uint8_t* src, size_t srcLength,
                       size_t ip) {
    uint8_t* op = dest;
    uint8_t* const opEnd = dest + size;
    for (;;) {
        if (ip >= srcLength) {
            return 0;  // the input ends without a stop command
        }
        const uint32_t b0 = src[ip];
        const bool roomy =
            srcLength - ip >= kRoomyInput && static_cast<size_t>(opEnd - op) >= kRoomyOutput;

        if (b0 >= 0xE0) {  // a literal run, or the stop command with its last literals
            const bool stop = b0 >= 0xFC;
            const size_t literals = stop ? (b0 & 3) : ((b0 & 0x1F) + 1) * 4;
            ip += 1;
            if (stop) {
                if (srcLength - ip < literals || static_cast<size_t>(opEnd - op) != literals) {
                    return 0;  // cut short, or not exactly the size the header records
                }
                CopyBytes(op, src + ip, literals);
                return static_cast<int32_t>(size);
            }
            if (roomy) {
                for (size_t i = 0; i < literals; i += 16) {
                    std::memcpy(op + i, src + ip + i, 16);
                }
            } else {
                if (srcLength - ip < literals || static_cast<size_t>(opEnd - op) < literals) {
                    return 0;
                }
                std::memcpy(op, src + ip, literals);
            }
            op += literals;
            ip += literals;
            continue;
        }

        // A copy form: 2, 3 or 4 command bytes, 0-3 literals, the back-reference.
        const size_t commandBytes = b0 < 0x80 ? 2 : b0 < 0xC0 ? 3 : 4;
        if (!roomy && srcLength - ip < commandBytes) {
            return 0;
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
        if (!roomy &&
            (srcLength - ip < literals || static_cast<size_t>(opEnd - op) < literals + length)) {
            return 0;
        }
        if (srcLength - ip >= 4 && opEnd - op >= 4) {
            // Four bytes at once where both sides have them: the ones past
            // the literals are rewritten by the copy before anything reads them.
            std::memcpy(op, src + ip, 4);
        } else {
            CopyBytes(op, src + ip, literals);
        }
        op += literals;
        ip += literals;
        if (distance > static_cast<size_t>(op - dest)) {
            return 0;  // reaches before the start of the output
        }
        CopyMatch(op, distance, length, static_cast<size_t>(opEnd - op));
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
        : dest(dest), src(src), n(n), head(head), chain(chain) {}

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
    Match FindMatch(int32_t i) const {
        Match best{2, 2, 0};
        const int32_t remaining = n - i;
        if (remaining < 3) {
            return best;
        }
        const int32_t maxLength = std::min(remaining, LZ_MAX_COPY_LENGTH);
        const int32_t floor = std::max(i - LZ_WINDOW, 0);
        for (int32_t k = head[Hash3(src, n, i)]; k >= floor; k = chain[k & kChainMask]) {
            if (best.length == maxLength) {
                break;
            }
            if (src[i + best.length] != src[k + best.length]) {
                continue;
            }
            int32_t length = 0;
            while (length < maxLength && src[k + length] == src[i + length]) {
                ++length;
            }
            if (length <= best.length) {
                continue;
            }
            const int32_t offset = i - k - 1;
            const int32_t size = (offset < 1024 && length <= 10)    ? 2
                                 : (offset < 16384 && length <= 67) ? 3
                                                                    : 4;
            if (length - size > best.length - best.size) {
                best = Match{length, size, offset};
                if (length >= LZ_MAX_COPY_LENGTH) {
                    break;
                }
            }
        }
        return best;
    }

    void Insert(int32_t p) {
        const uint32_t h = Hash3(src, n, p);
        chain[p & kChainMask] = head[h];
        head[h] = p;
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
    return DecodeCommands(dest, size, src, MeasureBlock(src), static_cast<size_t>(headerSize));
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
                          static_cast<size_t>(headerSize));
}

}  // namespace vfs
