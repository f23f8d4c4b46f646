#include "vfs/codec/lz_codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "vfs/codec/lz_prefix_chains.h"
#include "vfs/core/last_error.h"

namespace vfs {

namespace {

// ---------------------------------------------------------------- decoding

uint32_t ReadSize24(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

int32_t HeaderSizeOf(const uint8_t* src) {
    return (src[0] & LZ_HEADER_LONG) ? LZ_LONG_HEADER_SIZE : LZ_SHORT_HEADER_SIZE;
}

// Ends a decode that cannot go on, leaving why for whoever asks
// (vfs::LastError). Out of line: failures are rare and the loops hot.
[[gnu::cold, gnu::noinline]] bool Broken(const std::string& why) {
    SetLastError(ErrorCode::NOT_DECODABLE, "does not decode: " + why);
    return false;
}

constexpr char kEndsEarly[] = "the LZ data ends early, before its stop command";
constexpr char kTooMuch[] = "the LZ data makes more bytes than its header records";
constexpr char kBeforeStart[] = "an LZ copy reaches back before the start of the output";

// Copies `count` bytes one at a time, in ascending order.
inline void CopyBytes(uint8_t* to, const uint8_t* from, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        to[i] = from[i];
    }
}

inline void Copy4(uint8_t* to, const uint8_t* from) {
    std::memcpy(to, from, 4);
}

inline void Copy8(uint8_t* to, const uint8_t* from) {
    std::memcpy(to, from, 8);
}

inline void Copy16(uint8_t* to, const uint8_t* from) {
    std::memcpy(to, from, 16);
}

// Copies exactly `count` bytes from a place that does not overlap the
// destination, in steps of 8 (the last one overlapping the one before) or
// 4, never touching a byte outside the two ranges.
inline void CopyExact(uint8_t* to, const uint8_t* from, size_t count) {
    if (count >= 8) {
        for (size_t i = 0; i + 8 < count; i += 8) {
            Copy8(to + i, from + i);
        }
        Copy8(to + count - 8, from + count - 8);
    } else if (count >= 4) {
        Copy4(to, from);
        Copy4(to + count - 4, from + count - 4);
    } else {
        CopyBytes(to, from, count);
    }
}

// Repeats `length` bytes from `distance` back at op, with the meaning of a
// byte-by-byte copy in ascending order, writing exactly those bytes. A step
// of 8 bytes reads only bytes written before it when the distance is at
// least 8, and so does the last, overlapping step, whose reads all lie
// before the bytes the earlier steps wrote.
inline void CopyMatchExact(uint8_t* op, size_t distance, size_t length) {
    const uint8_t* from = op - distance;
    if (distance >= 8 && length >= 8) {
        for (size_t i = 0; i + 8 < length; i += 8) {
            Copy8(op + i, from + i);
        }
        Copy8(op + length - 8, from + length - 8);
    } else {
        CopyBytes(op, from, length);
    }
}

// A copy whose distance is below 16, with the meaning of a byte-by-byte
// copy, writing up to 15 bytes past the end of the copy: the caller
// guarantees length + 15 bytes of room at op and a distance of at least 1
// that stays inside the output.
//
// The bytes such a copy reads were mostly written by the last few stores,
// which may not have reached the cache yet: a load that spans two of them
// waits for both (the processor forwards a store's data only to a load
// that lies inside that one store). So the first bytes go one by one, or
// from a single byte, and wider loads read only well behind.
inline void CopyNear(uint8_t* op, size_t distance, size_t length) {
    const uint8_t* from = op - distance;
    if (distance >= 8) {
        // Steps of 8 read at least 8 bytes back: what they read is written.
        Copy8(op, from);
        Copy8(op + 8, from + 8);
        for (size_t i = 16; i < length; i += 8) {
            Copy8(op + i, from + i);
        }
    } else if (distance == 1) {
        // One byte repeated: one load, then only stores.
        const uint64_t pattern = from[0] * uint64_t{0x0101010101010101};
        std::memcpy(op, &pattern, 8);
        std::memcpy(op + 8, &pattern, 8);
        for (size_t i = 16; i < length; i += 8) {
            std::memcpy(op + i, &pattern, 8);
        }
    } else {
        // A pattern of `distance` bytes: after the first d' bytes, d' being
        // the smallest multiple of the distance that is 8 or more, each byte
        // equals the one d' back, so the rest goes in steps of 8 from there.
        const size_t period = distance * ((8 + distance - 1) / distance);
        const size_t head = std::min(length, period);
        CopyBytes(op, from, head);
        for (size_t i = head; i < length; i += 8) {
            Copy8(op + i, op + i - period);
        }
    }
}

// A copy with the meaning of a byte-by-byte copy, writing up to 15 bytes
// past its end: length + 15 bytes of room at op, and the distance stays
// inside the output.
inline void CopyMatchWide(uint8_t* op, size_t distance, size_t length) {
    if (distance >= 16) {
        const uint8_t* from = op - distance;
        Copy16(op, from);
        for (size_t i = 16; i < length; i += 16) {
            Copy16(op + i, from + i);
        }
    } else {
        CopyNear(op, distance, length);
    }
}

// What the first command byte of a copy form says, so that the three forms
// decode without a branch between them: the length is lengthBase plus the
// fourth command byte masked by lengthMask (only the long form has one),
// and the distance is distanceBase plus a field of the command's first four
// bytes read big-endian (b0 b1 b2 b3), shifted right by distanceShift and
// masked by distanceMask. The bits of the distance and the length that the
// first byte itself holds are in the bases.
struct CopyForms {
    uint32_t distanceMask[0xE0];
    uint32_t distanceBase[0xE0];
    uint32_t lengthBase[0xE0];
    uint32_t lengthMask[0xE0];
    uint8_t distanceShift[0xE0];
};

constexpr CopyForms MakeCopyForms() {
    CopyForms forms{};
    for (uint32_t b0 = 0; b0 < 0xE0; ++b0) {
        if (b0 < 0x80) {  // short: 0ddnnnll dddddddd
            forms.distanceMask[b0] = 0xFF;
            forms.distanceShift[b0] = 16;
            forms.distanceBase[b0] = ((b0 & 0x60) << 3) + 1;
            forms.lengthBase[b0] = ((b0 >> 2) & 7) + 3;
            forms.lengthMask[b0] = 0;
        } else if (b0 < 0xC0) {  // medium: 10nnnnnn lldddddd dddddddd
            forms.distanceMask[b0] = 0x3FFF;
            forms.distanceShift[b0] = 8;
            forms.distanceBase[b0] = 1;
            forms.lengthBase[b0] = (b0 & 0x3F) + 4;
            forms.lengthMask[b0] = 0;
        } else {  // long: 110dnnll dddddddd dddddddd nnnnnnnn
            forms.distanceMask[b0] = 0xFFFF;
            forms.distanceShift[b0] = 8;
            forms.distanceBase[b0] = ((b0 & 0x10) << 12) + 1;
            forms.lengthBase[b0] = ((b0 & 0x0C) << 6) + 5;
            forms.lengthMask[b0] = 0xFF;
        }
    }
    return forms;
}

constexpr CopyForms kCopyForms = MakeCopyForms();

// The wide loops read and write in steps of up to 16 bytes. A copy command
// reads at most 8 bytes (up to 4 command bytes, then 4 bytes holding its 0-3
// literals), so they run while 8 bytes of input are left; a literal run
// tests its own reads. A command writes its literals (4 bytes, whatever
// their count) and its copy, whose last step may overshoot by 15 bytes.
constexpr size_t kCommandReach = 8;
constexpr size_t kStep = 16;
// The farthest a copy command writes past op: 3 literals and the longest
// copy with the overshoot of its last step. A literal run writes less.
constexpr size_t kFarReach = 3 + LZ_MAX_COPY_LENGTH + kStep - 1;
// The farthest a copy reaches back (the long form's 17 bits).
constexpr uintptr_t kFarthestDistance = 131072;

// The step of a copy command at each position of a window of the command
// stream: its command bytes and literals (`advance`), and its literals. The
// wide loops look them up instead of working them out, so that the chain
// from one command to the next is one load and one add: the step of each
// position depends only on its first two bytes (short 2 + L and long 4 + L,
// where L = b0 & 3; medium 3 + (b1 >> 6)), so a whole window is worked out
// at once, 16 positions at a time, ahead of the commands. (Positions that
// are not copy commands get a meaningless step, never used.)
constexpr size_t kWindow = 256;

struct StepWindow {
    alignas(16) uint8_t advance[kWindow + 16];
    alignas(16) uint8_t literals[kWindow + 16];
};

inline void StepAt(const uint8_t* p, uint8_t* advance, uint8_t* literals) {
    const uint32_t b0 = p[0];
    const uint32_t b1 = p[1];
    const bool medium = (b0 & 0xC0) == 0x80;
    const uint32_t l = medium ? b1 >> 6 : b0 & 3;
    *literals = static_cast<uint8_t>(l);
    *advance = static_cast<uint8_t>(l + (medium ? 3 : 2 + ((b0 >> 6) & 2)));
}

// The steps of the 16 positions from p, which reads p[0, 17).
inline void Steps16(const uint8_t* p, uint8_t* advance, uint8_t* literals) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i three = _mm_set1_epi8(3);
    const __m128i two = _mm_set1_epi8(2);
    const __m128i formBits = _mm_set1_epi8(static_cast<char>(0xC0));
    const __m128i mediumForm = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    // (16-bit shifts: the bits that come over from the next byte are masked off.)
    const __m128i low = _mm_and_si128(b0, three);
    const __m128i lowAdvance =
        _mm_add_epi8(_mm_add_epi8(low, _mm_and_si128(_mm_srli_epi16(b0, 6), two)), two);
    const __m128i mediumLiterals = _mm_and_si128(_mm_srli_epi16(b1, 6), three);
    const __m128i medium = _mm_cmpeq_epi8(_mm_and_si128(b0, formBits), mediumForm);
    const __m128i stepAdvance =
        _mm_or_si128(_mm_and_si128(medium, _mm_add_epi8(mediumLiterals, three)),
                     _mm_andnot_si128(medium, lowAdvance));
    const __m128i stepLiterals =
        _mm_or_si128(_mm_and_si128(medium, mediumLiterals), _mm_andnot_si128(medium, low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(advance), stepAdvance);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(literals), stepLiterals);
#else
    for (size_t i = 0; i < 16; ++i) {
        StepAt(p + i, advance + i, literals + i);
    }
#endif
}

// The steps of the `count` positions from p, `count` at most kWindow; p has
// `available` > count bytes. Reads nothing outside them.
inline void FillSteps(const uint8_t* p, size_t count, size_t available, StepWindow& steps) {
    for (size_t i = 0; i < count; i += 16) {
        if (i + 17 <= available) {
            Steps16(p + i, steps.advance + i, steps.literals + i);
        } else if (available >= 17) {
            // The last 16 positions the bytes allow, overlapping the ones
            // before: they cover the rest, count <= available - 1.
            const size_t last = available - 17;
            Steps16(p + last, steps.advance + last, steps.literals + last);
            return;
        } else {
            for (size_t j = i; j < count; ++j) {
                StepAt(p + j, steps.advance + j, steps.literals + j);
            }
            return;
        }
    }
}

// Decodes commands while each one's reads and writes, overshoot included,
// stay inside src and dest, from inRef and opRef, and leaves them where it
// stops: near an end, or at the stop command, which it leaves for the
// checked loop. False for a copy from before the start of the output, with
// inRef at its command.
//
// kNearEnd false: runs while op is at least kFarReach bytes before the
// end, where no command reaches past it, so the output needs no test per
// command. kNearEnd true: every command's own reach is tested.
//
// The three copy forms decode without a branch between them (a branch on
// the form mispredicts on most commands of real data): the steps come from
// the StepWindow, the length and distance from the CopyForms table.
template <bool kNearEnd>
bool DecodeWide(uint8_t* const dest, uint8_t* const opEnd, const uint8_t*& inRef,
                const uint8_t* const inEnd, uint8_t*& opRef) {
    const uint8_t* in = inRef;
    uint8_t* op = opRef;
    // Addresses as integers, for the tests of where a step would land.
    const uintptr_t inLimit = reinterpret_cast<uintptr_t>(inEnd) - kCommandReach;
    const uintptr_t opLimit = kNearEnd ? reinterpret_cast<uintptr_t>(opEnd) - (kStep - 1)
                                       : reinterpret_cast<uintptr_t>(opEnd) - kFarReach;
    const uintptr_t outputStart = reinterpret_cast<uintptr_t>(dest);
    StepWindow steps;
    bool more = true;
    while (more && reinterpret_cast<uintptr_t>(in) <= inLimit) {
        // A window of the positions from `in` on that are at most inLimit.
        const uint8_t* const start = in;
        const size_t available = static_cast<size_t>(inEnd - start);
        const size_t count = std::min(available - kCommandReach + 1, kWindow);
        FillSteps(start, count, available, steps);
        size_t k = 0;  // in = start + k
        while (k < count) {
            if (!kNearEnd && reinterpret_cast<uintptr_t>(op) > opLimit) {
                more = false;
                break;
            }
            const uint8_t* const at = start + k;
            const size_t b0 = at[0];
            if (b0 < 0xE0) [[likely]] {
                const size_t advance = steps.advance[k];
                const size_t literals = steps.literals[k];
                const uint32_t word = (static_cast<uint32_t>(b0) << 24) |
                                      (static_cast<uint32_t>(at[1]) << 16) |
                                      (static_cast<uint32_t>(at[2]) << 8) | at[3];
                const size_t length =
                    kCopyForms.lengthBase[b0] + (at[3] & kCopyForms.lengthMask[b0]);
                const size_t distance =
                    kCopyForms.distanceBase[b0] +
                    ((word >> kCopyForms.distanceShift[b0]) & kCopyForms.distanceMask[b0]);
                const uintptr_t copyAt = reinterpret_cast<uintptr_t>(op) + literals;
                if (kNearEnd && copyAt + length > opLimit) [[unlikely]] {
                    more = false;
                    break;
                }
                Copy4(op, at + (advance - literals));  // all 4, whatever the count
                k += advance;
                // Before the start of the output (no wrap: DecodeCommands calls
                // this only for a dest at an address above the farthest distance).
                const uintptr_t fromAt = copyAt - distance;
                if (fromAt < outputStart) [[unlikely]] {
                    inRef = at;  // the command that failed, for the caller's reason
                    return false;
                }
                uint8_t* const to = reinterpret_cast<uint8_t*>(copyAt);
                const uint8_t* const from = reinterpret_cast<const uint8_t*>(fromAt);
                if (distance >= kStep) [[likely]] {
                    Copy16(to, from);
                    if (length > kStep) [[unlikely]] {
                        for (size_t i = kStep; i < length; i += kStep) {
                            Copy16(to + i, from + i);
                        }
                    }
                } else {
                    CopyNear(to, distance, length);
                }
                op = to + length;
            } else if (b0 < 0xFC) {  // a literal run: steps of 16, at least two
                const size_t literals = ((b0 & 0x1F) + 1) * 4;
                // It reads 1 + max(32, literals rounded up to 16) bytes at most,
                // and writes max(32, the same) bytes.
                if (static_cast<size_t>(inEnd - at) < literals + 2 * kStep ||
                    (kNearEnd && static_cast<size_t>(opEnd - op) < literals + 2 * kStep - 1)) {
                    more = false;
                    break;
                }
                const uint8_t* const run = at + 1;
                Copy16(op, run);
                Copy16(op + kStep, run + kStep);
                for (size_t i = 2 * kStep; i < literals; i += kStep) {
                    Copy16(op + i, run + i);
                }
                k += 1 + literals;
                op += literals;
            } else {
                more = false;  // the stop command: the checked loop ends the block
                break;
            }
        }
        in = start + k;
    }
    inRef = in;
    opRef = op;
    return true;
}

// Decodes the command stream that starts at src[ip] into exactly `size`
// bytes at dest. The wide loops run while the commands' steps fit; then
// each command is checked against the input left (srcLength - ip), the
// output left and the output produced so far, so nothing outside
// src[0, srcLength) or dest[0, size) is ever touched. True when the block is
// intact and makes exactly `size` bytes, an empty block included; false for
// a malformed one.
//
// `padded` tells that the buffers have room behind their ends, for a caller
// that decodes into and from copies (DecodeSmall): kPadding bytes past
// src + srcLength, which the wide loop may read, and kFarReach past
// dest + size, which it may write.
bool DecodeCommands(uint8_t* dest, uint32_t size, const uint8_t* src, size_t srcLength, size_t ip,
                    bool padded = false);

// Past the input of a padded decode: room for a literal run's widest reads.
constexpr size_t kPadding = 2 * kStep + kCommandReach + 128;
// Blocks of up to this many bytes, in and out, decode through padded copies.
constexpr size_t kSmallBlock = 2048;

// A small block spends much of its time near the ends of its buffers, where
// each command is checked before it runs. Copied into a buffer with room
// after its end, and decoded into one with room for the farthest reach of a
// command, the block decodes in the wide loop up to its stop command; the
// output is then copied out. A malformed block is found as it would be in
// place: no command starts past the header's size, and the checked loop
// ends the block within its real bounds.
bool DecodeSmall(uint8_t* dest, uint32_t size, const uint8_t* src, size_t srcLength, size_t ip) {
    uint8_t input[kSmallBlock + kPadding];
    uint8_t output[kSmallBlock + kFarReach];
    const size_t commands = srcLength - ip;
    std::memcpy(input, src + ip, commands);
    std::memset(input + commands, 0, kPadding);
    if (!DecodeCommands(output, size, input, commands, 0, true)) {
        return false;
    }
    CopyExact(dest, output, size);
    return true;
}

bool DecodeCommands(uint8_t* dest, uint32_t size, const uint8_t* src, size_t srcLength, size_t ip,
                    bool padded) {
    uint8_t* op = dest;
    uint8_t* const opEnd = dest + size;
    // The wide loops test a copy's source as an address: for a dest that lies
    // above the farthest distance, which every buffer of a hosted program
    // does, it cannot wrap.
    if (padded && reinterpret_cast<uintptr_t>(dest) > kFarthestDistance) {
        // No command starts past the header's size, and none reaches past
        // the output's room; the input's room holds the widest reads.
        const uint8_t* in = src + ip;
        const bool decoded =
            DecodeWide<false>(dest, opEnd + kFarReach, in, src + srcLength + kPadding, op);
        // Commands from the input's end on come from the padding: the block
        // ended before its stop command, whatever they made.
        const uint8_t* const end = src + srcLength;
        if (decoded ? in > end : in >= end) {
            return Broken(kEndsEarly);
        }
        if (!decoded) {
            return Broken(kBeforeStart);
        }
        if (op > opEnd) {
            return Broken(kTooMuch);
        }
        ip = static_cast<size_t>(in - src);
    } else if (!padded && size <= kSmallBlock && srcLength - ip <= kSmallBlock) {
        return DecodeSmall(dest, size, src, srcLength, ip);
    } else if (srcLength - ip >= kCommandReach && size >= kStep &&
               reinterpret_cast<uintptr_t>(dest) > kFarthestDistance) {
        const uint8_t* in = src + ip;
        const uint8_t* const inEnd = src + srcLength;
        if ((size > kFarReach && !DecodeWide<false>(dest, opEnd, in, inEnd, op)) ||
            !DecodeWide<true>(dest, opEnd, in, inEnd, op)) {
            return Broken(kBeforeStart);
        }
        ip = static_cast<size_t>(in - src);
    }
    for (;;) {
        if (ip >= srcLength) {
            return Broken(kEndsEarly);
        }
        const uint32_t b0 = src[ip];
        const size_t outputLeft = static_cast<size_t>(opEnd - op);

        if (b0 >= 0xE0) {  // a literal run, or the stop command with its last literals
            const bool stop = b0 >= 0xFC;
            const size_t literals = stop ? (b0 & 3) : ((b0 & 0x1F) + 1) * 4;
            ip += 1;
            if (srcLength - ip < literals) {
                return Broken(kEndsEarly);
            }
            if (outputLeft < literals) {
                return Broken(kTooMuch);
            }
            if (stop && outputLeft != literals) {
                return Broken("the LZ data stops after " +
                              std::to_string(static_cast<size_t>(op - dest) + literals) +
                              " of the " + std::to_string(size) + " bytes its header records");
            }
            CopyExact(op, src + ip, literals);  // op may be null for an empty block
            if (stop) {
                return true;
            }
            op += literals;
            ip += literals;
            continue;
        }

        // A copy form: 2, 3 or 4 command bytes, 0-3 literals, the back-reference.
        const size_t commandBytes = b0 < 0x80 ? 2 : b0 < 0xC0 ? 3 : 4;
        if (srcLength - ip < commandBytes) {
            return Broken(kEndsEarly);
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
        if (srcLength - ip < literals) {
            return Broken(kEndsEarly);
        }
        if (outputLeft < literals + length) {
            return Broken(kTooMuch);
        }
        CopyBytes(op, src + ip, literals);
        op += literals;
        ip += literals;
        if (distance > static_cast<size_t>(op - dest)) {
            return Broken(kBeforeStart);
        }
        if (outputLeft - literals >= length + kStep - 1) {
            CopyMatchWide(op, distance, length);
        } else {
            CopyMatchExact(op, distance, length);  // overlapping: repeats the last D bytes
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
    if (src == nullptr || size < 0 || (dest == nullptr && size > 0)) {
        return false;
    }
    if (srcLength < LZ_SHORT_HEADER_SIZE || srcLength < HeaderSizeOf(src)) {
        return Broken("the " + std::to_string(std::max(srcLength, 0)) +
                      " bytes of LZ data are fewer than its header takes");
    }
    const int32_t headerSize = HeaderSizeOf(src);
    if (const uint32_t recorded = ReadSize24(src + headerSize - 3);
        recorded != static_cast<uint32_t>(size)) {
        return Broken("its LZ header records " + std::to_string(recorded) + " bytes, its record " +
                      std::to_string(size));
    }
    return DecodeCommands(dest, static_cast<uint32_t>(size), src, static_cast<size_t>(srcLength),
                          static_cast<size_t>(headerSize));
}

}  // namespace vfs
