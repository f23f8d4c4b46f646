// The checked LZ decoders (DecompressBounded, DecodeExactly) against a plain
// reference decoder written here from the format description in lz_codec.h:
// every command form at every distance from 1 to 20 and at lengths across
// the 8- and 16-byte steps of the wide copies, in the loop far from the
// ends, in the loop near them and in the checked tail; copies and literals
// ending exactly at the end of the output and of the input; blocks cut at
// every point; and many random valid and mutated blocks.
//
// Every block is decoded from a heap buffer of exactly its length into one
// of exactly the capacity, so that the sanitizer build sees any access past
// either end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "vfs/codec/lz_codec.h"

namespace vfs {
namespace {

using Bytes = std::vector<uint8_t>;

// ------------------------------------------------------------ the reference

// The block's output, or nothing where lz_codec.h says a checked decode
// fails: a block shorter than its header, a size above `capacity`, a read
// past the end of the block, a copy from before the start of the output,
// more or fewer bytes than the header records, no stop command. Bytes after
// the stop command are not read. Byte by byte, every index tested.
std::optional<Bytes> ReferenceDecode(const Bytes& block, size_t capacity) {
    if (block.size() < 5) {
        return std::nullopt;
    }
    const size_t header = (block[0] & 1) ? 8 : 5;
    if (block.size() < header) {
        return std::nullopt;
    }
    const size_t size =
        (size_t{block[header - 3]} << 16) | (size_t{block[header - 2]} << 8) | block[header - 1];
    if (size > capacity) {
        return std::nullopt;
    }
    Bytes out;
    size_t ip = header;
    auto byteAt = [&](size_t i, uint32_t* value) {
        if (i >= block.size()) {
            return false;
        }
        *value = block[i];
        return true;
    };
    for (;;) {
        uint32_t b0;
        if (!byteAt(ip, &b0)) {
            return std::nullopt;  // no stop command
        }
        size_t literals = 0;
        size_t length = 0;
        size_t distance = 0;
        size_t commandBytes = 1;
        bool stop = false;
        uint32_t b1 = 0;
        uint32_t b2 = 0;
        uint32_t b3 = 0;
        if (b0 < 0x80) {
            if (!byteAt(ip + 1, &b1)) {
                return std::nullopt;
            }
            commandBytes = 2;
            literals = b0 & 3;
            length = ((b0 >> 2) & 7) + 3;
            distance = ((b0 & 0x60) << 3) + b1 + 1;
        } else if (b0 < 0xC0) {
            if (!byteAt(ip + 1, &b1) || !byteAt(ip + 2, &b2)) {
                return std::nullopt;
            }
            commandBytes = 3;
            literals = b1 >> 6;
            length = (b0 & 0x3F) + 4;
            distance = ((b1 & 0x3F) << 8) + b2 + 1;
        } else if (b0 < 0xE0) {
            if (!byteAt(ip + 1, &b1) || !byteAt(ip + 2, &b2) || !byteAt(ip + 3, &b3)) {
                return std::nullopt;
            }
            commandBytes = 4;
            literals = b0 & 3;
            length = ((b0 & 0x0C) << 6) + b3 + 5;
            distance = ((b0 & 0x10) << 12) + (b1 << 8) + b2 + 1;
        } else if (b0 < 0xFC) {
            literals = ((b0 & 0x1F) + 1) * 4;
        } else {
            literals = b0 & 3;
            stop = true;
        }
        ip += commandBytes;
        for (size_t i = 0; i < literals; ++i) {
            uint32_t literal;
            if (!byteAt(ip, &literal) || out.size() >= size) {
                return std::nullopt;
            }
            out.push_back(static_cast<uint8_t>(literal));
            ++ip;
        }
        if (stop) {
            if (out.size() != size) {
                return std::nullopt;
            }
            return out;
        }
        if (length > 0) {
            if (distance > out.size()) {
                return std::nullopt;
            }
            for (size_t i = 0; i < length; ++i) {
                if (out.size() >= size) {
                    return std::nullopt;
                }
                out.push_back(out[out.size() - distance]);
            }
        }
    }
}

// ------------------------------------------------------------ making blocks

// Writes commands one by one; Finish puts the header with the size the
// reference decoder finds in front.
class BlockWriter {
  public:
    explicit BlockWriter(uint32_t seed) : rng(seed) {}

    // Literal runs of `count` (a multiple of 4) random bytes, 112 at most per run.
    void Literals(size_t count) {
        while (count > 0) {
            const size_t run = std::min<size_t>(count, 112);
            commands.push_back(static_cast<uint8_t>(0xE0 + run / 4 - 1));
            AppendLiterals(run);
            count -= run;
        }
    }

    void Short(size_t literals, size_t length, size_t distance) {
        const size_t d = distance - 1;
        commands.push_back(
            static_cast<uint8_t>(((d >> 3) & 0x60) | ((length - 3) << 2) | literals));
        commands.push_back(static_cast<uint8_t>(d));
        AppendLiterals(literals);
    }

    void Medium(size_t literals, size_t length, size_t distance) {
        const size_t d = distance - 1;
        commands.push_back(static_cast<uint8_t>(0x80 | (length - 4)));
        commands.push_back(static_cast<uint8_t>((literals << 6) | (d >> 8)));
        commands.push_back(static_cast<uint8_t>(d));
        AppendLiterals(literals);
    }

    void Long(size_t literals, size_t length, size_t distance) {
        const size_t d = distance - 1;
        const size_t n = length - 5;
        commands.push_back(
            static_cast<uint8_t>(0xC0 | ((d >> 12) & 0x10) | ((n >> 6) & 0x0C) | literals));
        commands.push_back(static_cast<uint8_t>(d >> 8));
        commands.push_back(static_cast<uint8_t>(d));
        commands.push_back(static_cast<uint8_t>(n));
        AppendLiterals(literals);
    }

    // A copy of the given form (0 short, 1 medium, 2 long).
    void Copy(int form, size_t literals, size_t length, size_t distance) {
        if (form == 0) {
            Short(literals, length, distance);
        } else if (form == 1) {
            Medium(literals, length, distance);
        } else {
            Long(literals, length, distance);
        }
    }

    // The whole block, ended by a stop command with `last` literals; the
    // header records the size the commands make.
    Bytes Finish(size_t last, bool longHeader = false) {
        Bytes body = commands;
        body.push_back(static_cast<uint8_t>(0xFC + last));
        for (size_t i = 0; i < last; ++i) {
            body.push_back(static_cast<uint8_t>(rng()));
        }
        Bytes block = longHeader ? Bytes{0x11, 0xFB, 0, 0, 0, 0, 0, 0} : Bytes{0x10, 0xFB, 0, 0, 0};
        block.insert(block.end(), body.begin(), body.end());
        // The size: decode with the largest capacity, which the header does not limit.
        const size_t h = block.size() - body.size();
        block[h - 3] = 0xFF;
        block[h - 2] = 0xFF;
        block[h - 1] = 0xFF;
        const size_t size = Produced(block);
        block[h - 3] = static_cast<uint8_t>(size >> 16);
        block[h - 2] = static_cast<uint8_t>(size >> 8);
        block[h - 1] = static_cast<uint8_t>(size);
        return block;
    }

    std::mt19937 rng;

  private:
    void AppendLiterals(size_t count) {
        for (size_t i = 0; i < count; ++i) {
            commands.push_back(static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 'a' + rng() % 5));
        }
    }

    // The number of bytes the commands of a block make (its header's size
    // ignored, the block taken as well formed).
    static size_t Produced(const Bytes& block) {
        size_t ip = (block[0] & 1) ? 8 : 5;
        size_t produced = 0;
        for (;;) {
            const uint32_t b0 = block[ip];
            if (b0 < 0x80) {
                produced += (b0 & 3) + ((b0 >> 2) & 7) + 3;
                ip += 2 + (b0 & 3);
            } else if (b0 < 0xC0) {
                produced += (block[ip + 1] >> 6) + (b0 & 0x3F) + 4;
                ip += 3 + (block[ip + 1] >> 6);
            } else if (b0 < 0xE0) {
                produced += (b0 & 3) + ((b0 & 0x0C) << 6) + block[ip + 3] + 5;
                ip += 4 + (b0 & 3);
            } else if (b0 < 0xFC) {
                produced += ((b0 & 0x1F) + 1) * 4;
                ip += 1 + ((b0 & 0x1F) + 1) * 4;
            } else {
                return produced + (b0 & 3);
            }
        }
    }

    Bytes commands;
};

// ------------------------------------------------------------ decoding

// DecompressBounded from an exact copy of `block` into exactly `capacity`
// bytes: its result, and the output when it succeeds.
int32_t Bounded(const Bytes& block, size_t capacity, Bytes* out) {
    auto source = std::make_unique<uint8_t[]>(block.size());
    std::copy(block.begin(), block.end(), source.get());
    auto dest = std::make_unique<uint8_t[]>(capacity);
    LzCodec codec;
    const int32_t result =
        codec.DecompressBounded(dest.get(), static_cast<int32_t>(capacity), source.get(),
                                static_cast<int32_t>(block.size()), nullptr);
    if (out != nullptr) {
        out->assign(dest.get(), dest.get() + (result > 0 ? result : 0));
    }
    return result;
}

// DecodeExactly from an exact copy of `block` into exactly `size` bytes.
bool Exactly(const Bytes& block, size_t size, Bytes* out) {
    auto source = std::make_unique<uint8_t[]>(block.size());
    std::copy(block.begin(), block.end(), source.get());
    auto dest = std::make_unique<uint8_t[]>(size);
    LzCodec codec;
    const bool intact = codec.DecodeExactly(dest.get(), static_cast<int32_t>(size), source.get(),
                                            static_cast<int32_t>(block.size()));
    if (out != nullptr) {
        out->assign(dest.get(), dest.get() + (intact ? size : 0));
    }
    return intact;
}

size_t SizeOf(const Bytes& block) {
    const size_t h = (block[0] & 1) ? 8 : 5;
    return (size_t{block[h - 3]} << 16) | (size_t{block[h - 2]} << 8) | block[h - 1];
}

// The decoders agree with the reference on `block` at the capacities that
// matter: the header's size, one less, and some more.
void ExpectAsReference(const Bytes& block, const std::string& what) {
    SCOPED_TRACE(what);
    const size_t size =
        block.size() >= 5 && block.size() >= ((block[0] & 1) ? 8u : 5u) ? SizeOf(block) : 0;
    for (size_t capacity : {size, size + 7, size > 0 ? size - 1 : size_t{0}}) {
        const std::optional<Bytes> expected = ReferenceDecode(block, capacity);
        Bytes out;
        const int32_t result = Bounded(block, capacity, &out);
        if (!expected || expected->empty()) {
            ASSERT_EQ(result, 0) << "capacity " << capacity;
        } else {
            ASSERT_EQ(result, static_cast<int32_t>(expected->size())) << "capacity " << capacity;
            ASSERT_EQ(out, *expected) << "capacity " << capacity;
        }
    }
    if (block.size() >= 5 && block.size() >= ((block[0] & 1) ? 8u : 5u)) {
        const std::optional<Bytes> expected = ReferenceDecode(block, size);
        Bytes out;
        ASSERT_EQ(Exactly(block, size, &out), expected.has_value());
        if (expected) {
            ASSERT_EQ(out, *expected);
        }
    }
}

// The lengths each form can take, crossing the 8- and 16-byte steps and
// reaching the longest.
std::vector<size_t> LengthsOf(int form) {
    if (form == 0) {
        return {3, 4, 5, 6, 7, 8, 9, 10};
    }
    std::vector<size_t> lengths;
    const size_t lowest = form == 1 ? 4 : 5;
    const size_t highest = form == 1 ? 67 : LZ_MAX_COPY_LENGTH;
    for (size_t n = lowest; n <= std::min<size_t>(highest, 50); ++n) {
        lengths.push_back(n);
    }
    for (size_t n :
         {63, 64, 65, 66, 67, 127, 128, 129, 255, 256, 257, 1000, 1023, 1024, 1027, 1028}) {
        if (n <= highest) {
            lengths.push_back(n);
        }
    }
    return lengths;
}

// -------------------------------------------------------------- the tests

// One copy command of each form, distance 1-20, every length and literal
// count, placed (a) far from both ends, where the unchecked-output loop
// decodes it, (b) last before a stop command, so that it ends exactly at the
// end of the output (and its literals or the stop's exactly at the end of
// the input), and (c) in a block too small for the wide loops.
TEST(LzWideCopyTest, EveryFormDistanceAndLengthDecodesAsTheReference) {
    for (int form = 0; form < 3; ++form) {
        for (size_t distance = 1; distance <= 20; ++distance) {
            for (size_t length : LengthsOf(form)) {
                for (size_t literals = 0; literals < 4; ++literals) {
                    const std::string what = "form " + std::to_string(form) + " distance " +
                                             std::to_string(distance) + " length " +
                                             std::to_string(length) + " literals " +
                                             std::to_string(literals);
                    const uint32_t seed = static_cast<uint32_t>(form * 100000 + distance * 1000 +
                                                                length * 4 + literals);
                    {  // (a) far from the ends: 1,200 literals after it
                        BlockWriter writer(seed);
                        writer.Literals(24);
                        writer.Copy(form, literals, length, distance);
                        writer.Literals(1200);
                        ExpectAsReference(writer.Finish(literals % 4), what + " far");
                    }
                    {  // (b) the last command: the copy ends at the end of the output
                        BlockWriter writer(seed + 1);
                        writer.Literals(1200);
                        writer.Copy(form, literals, length, distance);
                        ExpectAsReference(writer.Finish(0), what + " at the end");
                    }
                    {  // (b') the last literals, the stop's, end the input and the output
                        BlockWriter writer(seed + 2);
                        writer.Literals(20);
                        writer.Copy(form, literals, length, distance);
                        ExpectAsReference(writer.Finish(3 - literals), what + " then the stop");
                    }
                    if (distance <= 8) {  // (c) alone after a few literals: all in the checked tail
                        BlockWriter writer(seed + 3);
                        writer.Literals(8);
                        writer.Copy(form, literals, length, distance);
                        ExpectAsReference(writer.Finish(0), what + " small block");
                    }
                }
            }
        }
    }
}

// A copy that ends exactly at the end of the output, then exactly 1-20
// bytes before it (the room the wide steps need is 15 past the copy), for
// every distance 1-20 and lengths across the steps: each output byte right.
TEST(LzWideCopyTest, CopiesEndingAtAndNearTheEndOfTheOutput) {
    for (int form = 0; form < 3; ++form) {
        for (size_t distance = 1; distance <= 20; ++distance) {
            for (size_t length :
                 {size_t{3}, size_t{8}, size_t{9}, size_t{10}, size_t{15}, size_t{16}, size_t{17},
                  size_t{31}, size_t{32}, size_t{33}, size_t{67}, size_t{500}, size_t{1028}}) {
                if ((form == 0 && length > 10) || (form == 1 && (length < 4 || length > 67)) ||
                    (form == 2 && length < 5)) {
                    continue;
                }
                for (size_t after = 0; after <= 20; ++after) {
                    BlockWriter writer(
                        static_cast<uint32_t>(form * 7919 + distance * 131 + length * 17 + after));
                    writer.Literals(1100);
                    writer.Copy(form, 0, length, distance);
                    writer.Literals(after / 4 * 4);
                    const Bytes block = writer.Finish(after % 4);
                    ExpectAsReference(block, "form " + std::to_string(form) + " distance " +
                                                 std::to_string(distance) + " length " +
                                                 std::to_string(length) + " then " +
                                                 std::to_string(after));
                }
            }
        }
    }
}

// Literal runs of every count ending 0-40 bytes before the end of the input,
// the stop command's literals last: the runs' wide steps stay inside.
TEST(LzWideCopyTest, LiteralRunsEndingAtAndNearTheEndOfTheInput) {
    for (size_t run = 4; run <= 112; run += 4) {
        for (size_t after = 0; after <= 40; ++after) {
            BlockWriter writer(static_cast<uint32_t>(run * 101 + after));
            writer.Literals(40);
            writer.Short(0, 10, 7);
            writer.Literals(run);
            writer.Literals(after / 4 * 4);
            const Bytes block = writer.Finish(after % 4);
            ExpectAsReference(block,
                              "run " + std::to_string(run) + " then " + std::to_string(after));
        }
    }
}

// Many small commands heavy with literals at the end of the block: the
// last 0-40 bytes of output come from commands that take more input than
// they make output, so that some of them start with 16 bytes of input still
// left but less than the wide steps' room left in the output (a test of
// the room against the output left, not against a limit op may have
// passed). Each output byte right and nothing written past the end.
TEST(LzWideCopyTest, DenseSmallCommandsAtTheEndOfTheOutput) {
    for (uint32_t seed = 1; seed <= 3000; ++seed) {
        BlockWriter writer(seed);
        std::mt19937& rng = writer.rng;
        writer.Literals(seed % 2 == 0 ? 1100 : 40);
        const size_t commands = 1 + rng() % 12;
        for (size_t i = 0; i < commands; ++i) {
            const size_t literals = rng() % 4 == 0 ? rng() % 4 : 3;
            const size_t distance = 1 + rng() % 24;
            switch (rng() % 5) {
                case 0:
                    writer.Literals(4);
                    break;
                case 1:
                    writer.Medium(literals, 4 + rng() % 6, distance);
                    break;
                case 2:
                    writer.Long(literals, 5 + rng() % 6, distance);
                    break;
                default:
                    writer.Short(literals, 3 + rng() % 3, distance);
                    break;
            }
        }
        ExpectAsReference(writer.Finish(rng() % 4), "seed " + std::to_string(seed));
    }
}

// Valid blocks cut at every length short of their own are refused, and never
// read past the cut (the sanitizer build sees it); a block with bytes after
// its stop command decodes as without them.
TEST(LzWideCopyTest, BlocksCutAnywhereAreRefused) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        BlockWriter writer(seed);
        writer.Literals(32);
        std::mt19937& rng = writer.rng;
        const size_t commands = seed % 3 == 0 ? 6 : 40 + seed * 10;
        for (size_t i = 0; i < commands; ++i) {
            const int form = static_cast<int>(rng() % 4);
            const size_t literals = rng() % 4;
            const size_t distance = 1 + rng() % 30;
            if (form == 3) {
                writer.Literals(4 * (1 + rng() % 10));
            } else {
                const size_t length = form == 0   ? 3 + rng() % 8
                                      : form == 1 ? 4 + rng() % 64
                                                  : 5 + rng() % 200;
                writer.Copy(form, literals, length, distance);
            }
        }
        const Bytes block = writer.Finish(seed % 4, seed % 5 == 0);
        const size_t size = SizeOf(block);
        ExpectAsReference(block, "whole, seed " + std::to_string(seed));
        for (size_t cut = 0; cut < block.size(); ++cut) {
            const Bytes part(block.begin(), block.begin() + static_cast<ptrdiff_t>(cut));
            ASSERT_EQ(Bounded(part, size, nullptr), 0) << "seed " << seed << " cut " << cut;
            if (cut >= 8) {
                ASSERT_FALSE(Exactly(part, size, nullptr)) << "seed " << seed << " cut " << cut;
            }
        }
        Bytes longer = block;
        longer.insert(longer.end(), {0x00, 0x01, 0xFF});
        Bytes out;
        ASSERT_EQ(Bounded(longer, size, &out), static_cast<int32_t>(size));
        ASSERT_EQ(out, *ReferenceDecode(block, size));
    }
}

// A copy reaching one byte before the start of the output is refused
// wherever it is: first command, far from the ends, near them, in the tail.
TEST(LzWideCopyTest, ACopyFromBeforeTheOutputIsRefusedInEveryLoop) {
    for (int form = 0; form < 3; ++form) {
        for (size_t before : {size_t{4}, size_t{24}, size_t{200}, size_t{1100}}) {
            for (size_t after : {size_t{0}, size_t{8}, size_t{1200}}) {
                for (size_t literals = 0; literals < 4; ++literals) {
                    BlockWriter writer(static_cast<uint32_t>(form + before + after + literals));
                    writer.Literals(before);
                    const size_t length = form == 0 ? 5 : 20;
                    const size_t distance = before + literals + 1;  // one byte too far
                    if (form == 0 && distance > 1024) {
                        continue;
                    }
                    writer.Copy(form, literals, length, distance);
                    writer.Literals(after);
                    const Bytes block = writer.Finish(0);
                    ASSERT_FALSE(ReferenceDecode(block, SizeOf(block)).has_value());
                    ExpectAsReference(block, "form " + std::to_string(form) + " before " +
                                                 std::to_string(before) + " after " +
                                                 std::to_string(after));
                }
            }
        }
    }
}

// Random blocks of every command form (distances biased to the short ones
// where copies overlap their own output), decoded as the reference does;
// then mutated: bytes changed, cut, or taken out, and the header's size
// changed by a little, the decoders accept exactly what the reference
// accepts, with the same bytes.
TEST(LzWideCopyTest, RandomAndMutatedBlocksDecodeAsTheReference) {
    std::mt19937 mutations(20261208);
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        BlockWriter writer(seed);
        std::mt19937& rng = writer.rng;
        writer.Literals(4 * (1 + rng() % 8));
        size_t produced = 0;
        const size_t commands = seed % 4 == 0 ? 3 + rng() % 10 : 20 + rng() % 400;
        for (size_t i = 0; i < commands; ++i) {
            const uint32_t kind = rng() % 10;
            const size_t literals = rng() % 4;
            const uint32_t reach = rng() % 4;
            size_t distance = reach == 0   ? 1 + rng() % 8
                              : reach == 1 ? 1 + rng() % 24
                              : reach == 2 ? 1 + rng() % 300
                                           : 1 + rng() % 131072;
            distance = std::min<size_t>(distance, 4 + produced);  // mostly valid
            produced += 64;
            if (kind < 4) {
                writer.Short(literals, 3 + rng() % 8, std::min<size_t>(distance, 1024));
            } else if (kind < 7) {
                writer.Medium(literals, 4 + rng() % 64, std::min<size_t>(distance, 16384));
            } else if (kind < 9) {
                writer.Long(literals, 5 + (rng() % 3 == 0 ? rng() % 1024 : rng() % 40), distance);
            } else {
                writer.Literals(4 * (1 + rng() % 28));
            }
        }
        const Bytes block = writer.Finish(rng() % 4, seed % 7 == 0);
        ExpectAsReference(block, "seed " + std::to_string(seed));

        for (int m = 0; m < 8; ++m) {
            Bytes mutated = block;
            const size_t header = (mutated[0] & 1) ? 8 : 5;
            switch (mutations() % 5) {
                case 0:  // a byte of the commands changed
                    mutated[header + mutations() % (mutated.size() - header)] =
                        static_cast<uint8_t>(mutations());
                    break;
                case 1:  // several bytes changed
                    for (int k = 0; k < 4; ++k) {
                        mutated[header + mutations() % (mutated.size() - header)] ^=
                            static_cast<uint8_t>(1u << (mutations() % 8));
                    }
                    break;
                case 2:  // cut
                    mutated.resize(header + mutations() % (mutated.size() - header));
                    break;
                case 3: {  // a stretch taken out
                    const size_t at = header + mutations() % (mutated.size() - header);
                    const size_t count = std::min<size_t>(1 + mutations() % 6, mutated.size() - at);
                    mutated.erase(mutated.begin() + static_cast<ptrdiff_t>(at),
                                  mutated.begin() + static_cast<ptrdiff_t>(at + count));
                    break;
                }
                default: {  // the size in the header off by a little
                    const size_t size = SizeOf(block) + (mutations() % 9) - 4;
                    mutated[header - 3] = static_cast<uint8_t>(size >> 16);
                    mutated[header - 2] = static_cast<uint8_t>(size >> 8);
                    mutated[header - 1] = static_cast<uint8_t>(size);
                    break;
                }
            }
            if (mutated.size() < header) {
                continue;
            }
            ExpectAsReference(mutated,
                              "seed " + std::to_string(seed) + " mutation " + std::to_string(m));
        }
    }
}

// Blocks the encoder makes from data with runs and repeats at every
// distance decode as the reference does, at sizes around the loops' limits
// and around the largest block decoded through padded copies.
TEST(LzWideCopyTest, EncodedBlocksAroundTheLoopLimits) {
    LzCodec codec;
    for (size_t size : {size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{31}, size_t{100},
                        size_t{1045}, size_t{1046}, size_t{1047}, size_t{1100}, size_t{2047},
                        size_t{2048}, size_t{2049}, size_t{2100}, size_t{5000}}) {
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            std::mt19937 rng(seed * 977 + static_cast<uint32_t>(size));
            Bytes plain;
            while (plain.size() < size) {
                const size_t distance = 1 + rng() % 20;
                if (plain.size() < distance || rng() % 3 == 0) {
                    plain.push_back(static_cast<uint8_t>(rng() % 4));
                } else {
                    for (size_t n = 1 + rng() % 40; n > 0 && plain.size() < size; --n) {
                        plain.push_back(plain[plain.size() - distance]);
                    }
                }
            }
            Bytes block(
                static_cast<size_t>(LzCodec::GetMaxCompressedSize(static_cast<int32_t>(size))));
            block.resize(static_cast<size_t>(
                codec.Compress(block.data(), plain.data(), static_cast<int32_t>(size), nullptr)));
            ASSERT_EQ(*ReferenceDecode(block, size), plain);
            ExpectAsReference(block, "size " + std::to_string(size));
        }
    }
}

}  // namespace
}  // namespace vfs
