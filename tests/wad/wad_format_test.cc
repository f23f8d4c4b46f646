// The archive header and record layouts, the coding the flags decide, and
// the path hash.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_path_hash.h"

namespace {

using vfs::WadEntryRecord;
using vfs::WadHeader;
using vfs::WadPathHash;

std::vector<uint8_t> HeaderBytes(uint32_t version) {
    std::vector<uint8_t> bytes(vfs::WAD_HEADER_SIZE, 0);
    std::memcpy(bytes.data(), "QARC", 4);
    bytes[4] = static_cast<uint8_t>(version);
    bytes[5] = static_cast<uint8_t>(version >> 8);
    bytes[6] = static_cast<uint8_t>(version >> 16);
    bytes[7] = static_cast<uint8_t>(version >> 24);
    return bytes;
}

TEST(WadHeaderTest, DecodesLittleEndianFieldsAtTheirOffsets) {
    std::vector<uint8_t> bytes = HeaderBytes(2);
    const uint8_t fields[] = {0x01, 0x02, 0x03, 0x04, 0x11, 0x12,
                              0x13, 0x14, 0x21, 0x22, 0x23, 0x24};
    std::memcpy(bytes.data() + 72, fields, sizeof(fields));
    bytes[8] = 0xAA;
    bytes[87] = 0xBB;

    WadHeader header = WadHeader::Decode(bytes.data());
    EXPECT_TRUE(header.HasMagic());
    EXPECT_EQ(header.version, 2u);
    EXPECT_TRUE(header.NamesInTable());
    EXPECT_EQ(header.entryCount, 0x04030201u);
    EXPECT_EQ(header.nameTableOffset, 0x14131211u);
    EXPECT_EQ(header.nameTableSize, 0x24232221u);

    std::vector<uint8_t> encoded(vfs::WAD_HEADER_SIZE, 0xEE);
    header.Encode(encoded.data());
    EXPECT_EQ(encoded, bytes);  // the reserved bytes survive a copy
}

TEST(WadHeaderTest, ParseAcceptsVersionsZeroToTwoOnly) {
    WadHeader header;
    for (uint32_t version : {0u, 1u, 2u}) {
        std::vector<uint8_t> bytes = HeaderBytes(version);
        ASSERT_TRUE(WadHeader::Parse(bytes.data(), 88, &header).Succeeded()) << version;
        EXPECT_EQ(header.version, version);
        EXPECT_EQ(header.NamesInTable(), version == 2);
    }
    // Unsigned comparison: a huge version is not a negative one.
    for (uint32_t version : {3u, 0x80000000u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bytes = HeaderBytes(version);
        EXPECT_TRUE(WadHeader::Parse(bytes.data(), 88, &header).Failed()) << version;
    }
}

TEST(WadHeaderTest, ParseRefusesShortHeaderAndWrongMagic) {
    std::vector<uint8_t> bytes = HeaderBytes(0);
    WadHeader header;
    header.entryCount = 77;
    EXPECT_TRUE(WadHeader::Parse(bytes.data(), 87, &header).Failed());
    EXPECT_TRUE(WadHeader::Parse(nullptr, 88, &header).Failed());
    bytes[3] = 'c';  // "QARc": the magic is case-sensitive
    EXPECT_TRUE(WadHeader::Parse(bytes.data(), 88, &header).Failed());
    EXPECT_EQ(header.entryCount, 77u);  // untouched on failure
}

TEST(WadEntryRecordTest, DecodesAndEncodesEveryField) {
    uint8_t bytes[vfs::WAD_RECORD_SIZE];
    for (uint32_t i = 0; i < vfs::WAD_RECORD_SIZE; ++i) {
        bytes[i] = static_cast<uint8_t>(i + 1);
    }
    WadEntryRecord record = WadEntryRecord::Decode(bytes);
    EXPECT_EQ(record.pathHash, 0x04030201u);
    EXPECT_EQ(record.nameOffset, 0x08070605u);
    EXPECT_EQ(record.nameLength, 0x0C0B0A09u);
    EXPECT_EQ(record.dataOffset, 0x100F0E0Du);
    EXPECT_EQ(record.storedSize, 0x14131211u);
    EXPECT_EQ(record.flags, 0x18171615u);
    EXPECT_EQ(record.unpackedSize, 0x1C1B1A19u);

    uint8_t encoded[vfs::WAD_RECORD_SIZE] = {};
    record.Encode(encoded);
    EXPECT_EQ(std::memcmp(encoded, bytes, sizeof(bytes)), 0);
}

TEST(WadEntryRecordTest, ReportedSizeIsUnpackedSizeForAnyNonZeroFlags) {
    WadEntryRecord record;
    record.storedSize = 10;
    record.unpackedSize = 99;
    EXPECT_EQ(record.ReportedSize(), 10u);
    for (uint32_t flags : {0x1u, 0x2u, 0x4u, 0x6u, 0x8u}) {
        record.flags = flags;
        EXPECT_EQ(record.ReportedSize(), 99u) << flags;
    }
    EXPECT_EQ(vfs::WadRecordOffset(0), 88u);
    EXPECT_EQ(vfs::WadRecordOffset(3), 208u);
}

TEST(WadEntryRecordTest, TheFirstFlagInOrderDecidesTheCoding) {
    using vfs::WadCoding;
    using vfs::WadCodingOf;
    EXPECT_EQ(WadCodingOf(0x0), WadCoding::STORED);
    EXPECT_EQ(WadCodingOf(0x8), WadCoding::STORED) << "flags that name no coding";
    EXPECT_EQ(WadCodingOf(0x4 | 0x8), WadCoding::LZ);
    EXPECT_EQ(WadCodingOf(0x2 | 0x4), WadCoding::ZLIB) << "zlib before LZ";
    EXPECT_EQ(WadCodingOf(0x1 | 0x2 | 0x4), WadCoding::REFUSED) << "refusal before any coding";
}

TEST(WadPathHashTest, MatchesTheFormatsExamples) {
    EXPECT_EQ(WadPathHash(""), 0u);
    EXPECT_EQ(WadPathHash("abc"), 198u);
    EXPECT_EQ(WadPathHash("abcd"), 1009u);
    EXPECT_EQ(WadPathHash("ABCD"), 1009u);
    EXPECT_EQ(WadPathHash("abcde"), 1078u);
    EXPECT_EQ(WadPathHash("a\\b"), 223u);
    // High bytes: unsigned in the tail, signed inside a group of four.
    EXPECT_EQ(WadPathHash("\xE9"), 233u);
    EXPECT_EQ(WadPathHash("\xE9"
                          "abc"),
              907u);
}

TEST(WadPathHashTest, FoldsOnlyAsciiLettersAndWrapsModulo32Bits) {
    EXPECT_EQ(WadPathHash("Data\\Maps\\A.TXT"), WadPathHash("data\\maps\\a.txt"));
    EXPECT_NE(WadPathHash("a/b"), WadPathHash("a\\b"));  // the caller turns "/" into "\"
    // "@" and "[" border the letters and are not folded; nor is 0xC9 ("É").
    EXPECT_NE(WadPathHash("@"), WadPathHash("`"));
    EXPECT_NE(WadPathHash("\xC9"), WadPathHash("\xE9"));
    // Groups of 0x80 bytes each add -15 * 128: the sum wraps below zero.
    const char negative[] = "\x80\x80\x80\x80";
    EXPECT_EQ(WadPathHash(negative), static_cast<uint32_t>(-15 * 128));
    // The length form hashes exactly the bytes given, NULs included.
    EXPECT_EQ(WadPathHash("abcdXYZ", 4), 1009u);
}

}  // namespace
