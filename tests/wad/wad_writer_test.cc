// The archive writer: layouts of the three versions, codings, and round
// trips through the loader and the codecs.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/wad/fake_archive_stream.h"
#include "vfs/codec/lz_codec.h"
#include "vfs/codec/zlib_codec.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_path_hash.h"
#include "vfs/wad/wad_writer.h"

namespace {

using vfs::WadCoding;
using vfs::WadEntryRecord;
using vfs::WadWriter;
using Bytes = std::vector<uint8_t>;

Bytes Compressible(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>("tarnhollow "[i % 11] + (i / 997) % 3);
    }
    return bytes;
}

Bytes Random(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (uint8_t& byte : bytes) {
        byte = static_cast<uint8_t>(generator());
    }
    return bytes;
}

// The bytes an entry decodes to, read back through its record as the file
// system would: stored bytes as they are, coded ones through the codec the
// first set flag names.
Bytes ReadEntry(const Bytes& archive, uint32_t recordOffset) {
    WadEntryRecord record = WadEntryRecord::Decode(archive.data() + recordOffset);
    EXPECT_LE(uint64_t{record.dataOffset} + record.storedSize, archive.size());
    const uint8_t* stored = archive.data() + record.dataOffset;
    int32_t storedSize = static_cast<int32_t>(record.storedSize);
    if (record.flags & vfs::WAD_FLAG_REFUSED) {
        ADD_FAILURE() << "refused entry";
        return {};
    }
    if (record.flags & (vfs::WAD_FLAG_ZLIB | vfs::WAD_FLAG_LZ)) {
        Bytes decoded(record.unpackedSize);
        int32_t n;
        if (record.flags & vfs::WAD_FLAG_ZLIB) {
            vfs::ZlibCodec codec;
            n = codec.DecompressBounded(decoded.data(), static_cast<int32_t>(decoded.size()),
                                        stored, storedSize, nullptr);
        } else {
            vfs::LzCodec codec;
            n = codec.DecompressBounded(decoded.data(), static_cast<int32_t>(decoded.size()),
                                        stored, storedSize, nullptr);
        }
        EXPECT_EQ(n, static_cast<int32_t>(record.unpackedSize));
        return decoded;
    }
    return Bytes(stored, stored + storedSize);
}

// Every file of the loaded tree, by path, with its record offset.
void CollectFiles(vfs::WadDirectory& directory, const std::string& dir,
                  std::map<std::string, uint32_t>& files) {
    vfs::WadFinder finder;
    std::string pattern = dir + "*";
    finder.Start(directory, pattern.c_str());
    std::vector<std::string> subdirectories;
    for (; !finder.AtEnd(); finder.Advance()) {
        if (finder.MatchedDirectory() != nullptr) {
            subdirectories.push_back(dir + finder.MatchedDirectory()->name.c_str() + "\\");
        } else {
            files[dir + finder.MatchedFile()->name.c_str()] = finder.MatchedFile()->recordOffset;
        }
    }
    for (const std::string& sub : subdirectories) {
        CollectFiles(directory, sub, files);
    }
}

class WadWriterRoundTripTest : public testing::TestWithParam<std::tuple<uint32_t, WadCoding>> {};

INSTANTIATE_TEST_SUITE_P(VersionsAndCodings, WadWriterRoundTripTest,
                         testing::Combine(testing::Values(0u, 1u, 2u),
                                          testing::Values(WadCoding::STORED, WadCoding::LZ,
                                                          WadCoding::ZLIB)));

TEST_P(WadWriterRoundTripTest, EveryEntryReadsBackByteExact) {
    auto [version, coding] = GetParam();
    std::map<std::string, Bytes> tree = {
        {"readme.txt", Compressible(1500)}, {"data\\maps\\level1.map", Compressible(70000)},
        {"data\\maps\\empty", {}},          {"data\\sounds\\noise.raw", Random(5000, 7)},
        {"data\\tiny", Bytes{1, 2, 3}},     {"gfx\\big.bin", Compressible(300000)},
    };
    WadWriter writer(version);
    for (const auto& [path, bytes] : tree) {
        ASSERT_TRUE(writer.AddFile(path.c_str(), bytes, coding).Succeeded());
    }
    Bytes archive = writer.Finish();

    vfs::WadHeader header;
    ASSERT_TRUE(vfs::WadHeader::Parse(archive.data(), archive.size(), &header).Succeeded());
    EXPECT_EQ(header.version, version);
    EXPECT_EQ(header.entryCount, tree.size());

    vfs::WadDirectory directory;
    ASSERT_TRUE(wadtest::LoadArchive(directory, archive).Succeeded());
    EXPECT_TRUE(directory.RejectedRecords().empty());
    std::map<std::string, uint32_t> files;
    CollectFiles(directory, "", files);
    ASSERT_EQ(files.size(), tree.size());
    for (const auto& [path, recordOffset] : files) {
        ASSERT_EQ(tree.count(path), 1u) << path;
        EXPECT_EQ(ReadEntry(archive, recordOffset), tree[path]) << path;
        WadEntryRecord record = WadEntryRecord::Decode(archive.data() + recordOffset);
        EXPECT_EQ(record.pathHash, vfs::WadPathHash(path.c_str())) << path;
        EXPECT_EQ(record.unpackedSize, tree[path].size());
    }

    // Compressible data was coded as asked; random and tiny data may have
    // fallen back to being stored.
    uint32_t expectedFlags = coding == WadCoding::LZ     ? vfs::WAD_FLAG_LZ
                             : coding == WadCoding::ZLIB ? vfs::WAD_FLAG_ZLIB
                                                         : 0;
    size_t index = 0;
    for (const auto& [path, bytes] : tree) {
        if (bytes.size() > 1000 && path != "data\\sounds\\noise.raw") {
            EXPECT_EQ(writer.EntryFlags(index), expectedFlags) << path;
        }
        ++index;
    }
}

TEST(WadWriterTest, LaysOutRecordsNamesAndDataInOrder) {
    for (uint32_t version : {0u, 1u, 2u}) {
        WadWriter writer(version);
        writer.AddFile("B\\x", Bytes{9, 8});
        writer.AddFile("a", Bytes{7});
        Bytes archive = writer.Finish();
        ASSERT_EQ(archive.size(), 88u + 2 * 40 + 4 + 2 + 3);
        EXPECT_EQ(std::memcmp(archive.data(), "QARC", 4), 0);
        vfs::WadHeader header = vfs::WadHeader::Decode(archive.data());
        EXPECT_EQ(header.nameTableOffset, version == 2 ? 168u : 0u);
        EXPECT_EQ(header.nameTableSize, version == 2 ? 6u : 0u);

        WadEntryRecord first = WadEntryRecord::Decode(archive.data() + 88);
        WadEntryRecord second = WadEntryRecord::Decode(archive.data() + 128);
        EXPECT_EQ(first.nameOffset, 168u);
        EXPECT_EQ(first.nameLength, 3u);
        EXPECT_EQ(std::memcmp(archive.data() + 168, "B\\x\0a\0", 6), 0);  // names as given
        EXPECT_EQ(second.nameOffset, 172u);
        EXPECT_EQ(first.dataOffset, 174u);
        EXPECT_EQ(first.storedSize, 2u);
        EXPECT_EQ(second.dataOffset, 176u);
        EXPECT_EQ(archive[176], 7);
        EXPECT_EQ(first.pathHash, vfs::WadPathHash("b\\x"));
        EXPECT_EQ(first.flags, 0u);
    }
}

TEST(WadWriterTest, ForwardSlashesAreHashedAsBackslashes) {
    WadWriter writer;
    writer.AddFile("dir/file", Bytes{1});
    Bytes archive = writer.Finish();
    EXPECT_EQ(WadEntryRecord::Decode(archive.data() + 88).pathHash, vfs::WadPathHash("dir\\file"));
    vfs::WadDirectory directory;
    ASSERT_TRUE(wadtest::LoadArchive(directory, archive).Succeeded());
    EXPECT_EQ(wadtest::Matches(directory, "DIR\\FILE"),
              (std::vector<std::string>{"f:dir\\file:1"}));
}

TEST(WadWriterTest, CodingsThatCannotApplyStoreTheBytes) {
    WadWriter writer;
    ASSERT_TRUE(writer.AddFile("small", Bytes(28, 0), WadCoding::ZLIB).Succeeded());
    ASSERT_TRUE(writer.AddFile("random", Random(4000, 3), WadCoding::ZLIB).Succeeded());
    ASSERT_TRUE(writer.AddFile("empty", Bytes{}, WadCoding::LZ).Succeeded());
    EXPECT_EQ(writer.EntryFlags(0), 0u);
    EXPECT_EQ(writer.EntryFlags(1), 0u);
    EXPECT_EQ(writer.EntryFlags(2), vfs::WAD_FLAG_LZ);
    Bytes archive = writer.Finish();
    EXPECT_EQ(ReadEntry(archive, 88), Bytes(28, 0));
    EXPECT_EQ(ReadEntry(archive, 128), Random(4000, 3));
    EXPECT_EQ(ReadEntry(archive, 168), Bytes{});
}

TEST(WadWriterTest, RawEntriesAndOverridesAreWrittenAsGiven) {
    WadWriter writer(1);
    const uint8_t stored[3] = {1, 2, 3};
    writer.AddRawEntry("..\\x", stored, 3, vfs::WAD_FLAG_REFUSED, 500);
    writer.AddFile("f", Compressible(2000), WadCoding::LZ);
    writer.SetFlags(1, 0x6);
    writer.SetPathHash(1, 0xDEADBEEF);
    writer.SetFlags(7, 1);  // out of range: ignored
    Bytes archive = writer.Finish();
    WadEntryRecord raw = WadEntryRecord::Decode(archive.data() + 88);
    EXPECT_EQ(raw.flags, vfs::WAD_FLAG_REFUSED);
    EXPECT_EQ(raw.storedSize, 3u);
    EXPECT_EQ(raw.unpackedSize, 500u);
    EXPECT_EQ(std::memcmp(archive.data() + raw.nameOffset, "..\\x", 5), 0);
    WadEntryRecord coded = WadEntryRecord::Decode(archive.data() + 128);
    EXPECT_EQ(coded.flags, 0x6u);
    EXPECT_EQ(coded.pathHash, 0xDEADBEEFu);
    EXPECT_EQ(writer.EntryCount(), 2u);
}

// The coder codes each file exactly as AddFile does, its work areas reused
// from one call to the next, whatever came before.
TEST(WadEntryCoderTest, CodesAsAddFileDoesCallAfterCall) {
    const std::vector<Bytes> files = {Compressible(300000), Bytes{},           Bytes(28, 0),
                                      Random(5000, 9),      Compressible(29),  Compressible(70000),
                                      Bytes{1, 2, 3},       Compressible(1500)};
    vfs::WadEntryCoder coder;
    for (WadCoding coding : {WadCoding::STORED, WadCoding::LZ, WadCoding::ZLIB}) {
        for (size_t i = 0; i < files.size(); ++i) {
            WadWriter expected;
            ASSERT_TRUE(expected.AddFile("f", files[i], coding).Succeeded());
            const Bytes archive = expected.Finish();
            const WadEntryRecord record = WadEntryRecord::Decode(archive.data() + 88);
            const Bytes stored(archive.begin() + record.dataOffset,
                               archive.begin() + record.dataOffset + record.storedSize);

            Bytes coded = {9, 9, 9};
            const uint32_t flags = coder.Code(files[i].data(), files[i].size(), coding, coded);
            EXPECT_EQ(flags, record.flags) << "file " << i;
            if (flags != 0) {
                EXPECT_EQ(coded, stored) << "file " << i;
            } else {
                EXPECT_EQ(stored, files[i]) << "file " << i;
            }
        }
    }
}

TEST(WadWriterTest, WriteToHandsOverTheBytesFinishMakes) {
    for (uint32_t version : {0u, 1u, 2u}) {
        WadWriter writer(version);
        writer.AddFile("a\\one", Compressible(5000), WadCoding::LZ);
        writer.AddFile("empty", Bytes{}, WadCoding::STORED);
        writer.AddRawEntry("moved", Bytes{4, 5, 6, 7}, 0, 4);
        writer.AddFile("z", Random(700, 1), WadCoding::ZLIB);
        const Bytes finished = writer.Finish();
        EXPECT_EQ(finished.size(), writer.ArchiveSize());
        struct Pieces {
            Bytes bytes;
            size_t count = 0;
        } pieces;
        EXPECT_TRUE(writer.WriteTo(
            [](const uint8_t* bytes, size_t size, void* userValue) {
                Pieces& into = *static_cast<Pieces*>(userValue);
                into.bytes.insert(into.bytes.end(), bytes, bytes + size);
                ++into.count;
                return true;
            },
            &pieces));
        EXPECT_EQ(pieces.bytes, finished) << "version " << version;
        EXPECT_EQ(pieces.count, 4u);  // the front, then the three entries with bytes

        size_t calls = 0;
        EXPECT_FALSE(
            writer.WriteTo([](const uint8_t*, size_t,
                              void* userValue) { return ++*static_cast<size_t*>(userValue) < 2; },
                           &calls));
        EXPECT_EQ(calls, 2u);  // stops at the first refusal
    }
}

// A placed entry's bytes are the caller's to write after the front; the
// records place them as if the writer held them.
TEST(WadWriterTest, PlacedEntriesAreLaidOutAsHeldOnesAre) {
    const Bytes lz = [] {
        WadWriter one;
        one.AddFile("x", Compressible(5000), WadCoding::LZ);
        const Bytes archive = one.Finish();
        const WadEntryRecord record = WadEntryRecord::Decode(archive.data() + 88);
        return Bytes(archive.begin() + record.dataOffset, archive.end());
    }();
    WadWriter held(1);
    held.AddRawEntry("a\\lz", lz.data(), lz.size(), vfs::WAD_FLAG_LZ, 5000);
    held.AddRawEntry("b", Bytes{7, 8}, 0, 2);
    WadWriter placed(1);
    ASSERT_TRUE(placed.AddPlacedEntry("a\\lz", lz.size(), vfs::WAD_FLAG_LZ, 5000).Succeeded());
    ASSERT_TRUE(placed.AddPlacedEntry("b", 2, 0, 2).Succeeded());
    EXPECT_EQ(placed.ArchiveSize(), held.ArchiveSize());

    Bytes front;
    ASSERT_TRUE(placed.WriteFront(
        [](const uint8_t* bytes, size_t size, void* userValue) {
            static_cast<Bytes*>(userValue)->insert(static_cast<Bytes*>(userValue)->end(), bytes,
                                                   bytes + size);
            return true;
        },
        &front));
    EXPECT_EQ(front.size(), WadEntryRecord::Decode(front.data() + 88).dataOffset);
    Bytes written = front;
    written.insert(written.end(), lz.begin(), lz.end());
    written.insert(written.end(), {7, 8});
    EXPECT_EQ(written, held.Finish());

    // Finish puts zeros where the placed bytes go.
    Bytes zeros = front;
    zeros.resize(front.size() + lz.size() + 2, 0);
    EXPECT_EQ(placed.Finish(), zeros);
}

TEST(WadWriterTest, RawEntriesTakenOverAreWrittenAsGiven) {
    WadWriter writer;
    Bytes stored = {1, 2, 3};
    ASSERT_TRUE(writer.AddRawEntry("x", std::move(stored), vfs::WAD_FLAG_LZ, 40).Succeeded());
    const Bytes archive = writer.Finish();
    const WadEntryRecord record = WadEntryRecord::Decode(archive.data() + 88);
    EXPECT_EQ(record.flags, vfs::WAD_FLAG_LZ);
    EXPECT_EQ(record.storedSize, 3u);
    EXPECT_EQ(record.unpackedSize, 40u);
    EXPECT_EQ(Bytes(archive.begin() + record.dataOffset, archive.end()), (Bytes{1, 2, 3}));
}

}  // namespace
