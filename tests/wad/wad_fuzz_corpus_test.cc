// The seed archives of the wad_load fuzz target. Each seed is checked to load
// (or fail) as intended; with TARNWAD_WRITE_WAD_CORPUS set to a directory the
// test also writes them there, as in (from the repository's top)
//   TARNWAD_WRITE_WAD_CORPUS=fuzz/corpus/wad_load <build>/tests/wad/wad_tests
//   --gtest_filter=WadFuzzCorpusTest.*
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/wad/fake_archive_stream.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Seed {
    std::string name;
    Bytes archive;
    bool loads;
    size_t rejected;
};

Bytes Text(const char* text) {
    return Bytes(text, text + std::strlen(text));
}

Bytes Tree(uint32_t version, vfs::WadCoding coding) {
    vfs::WadWriter writer(version);
    Bytes map;
    for (int i = 0; i < 40; ++i) {
        Bytes line = Text("tile 0 0 grass; tile 0 1 stone;\n");
        map.insert(map.end(), line.begin(), line.end());
    }
    writer.AddFile("Data\\Maps\\level1.map", map, coding);
    writer.AddFile("data/maps/B.TXT", Text("b"), coding);
    writer.AddFile("readme.txt", Text("hello hello hello hello hello hello hello"), coding);
    writer.AddFile("sounds\\a.wav", Bytes{}, coding);
    writer.AddFile("same", Text("file"), coding);
    writer.AddFile("same\\inner", Text("inner"), coding);
    return writer.Finish();
}

std::vector<Seed> Seeds() {
    std::vector<Seed> seeds;
    seeds.push_back({"v0_stored", Tree(0, vfs::WadCoding::STORED), true, 0});
    seeds.push_back({"v1_lz", Tree(1, vfs::WadCoding::LZ), true, 0});
    seeds.push_back({"v2_zlib", Tree(2, vfs::WadCoding::ZLIB), true, 0});
    seeds.push_back({"v2_empty", wadtest::ArchiveOf({}, 2), true, 0});

    vfs::WadWriter hostile(2);
    const uint8_t byte = 1;
    hostile.AddRawEntry("..\\escape", &byte, 1, 0, 1);
    hostile.AddRawEntry("c:\\windows\\x", &byte, 1, vfs::WAD_FLAG_REFUSED, 1);
    hostile.AddRawEntry("a*b", &byte, 1, 0x6, 9);
    hostile.AddRawEntry("ok\\file", &byte, 1, 0x8, 9);
    seeds.push_back({"v2_unsafe_names", hostile.Finish(), true, 3});

    Bytes outside = wadtest::ArchiveOf({"a", "b"}, 2);
    wadtest::Patch32(outside, wadtest::RecordField(1, wadtest::NAME_OFFSET), 0);
    seeds.push_back({"v2_name_outside_table", outside, true, 1});

    Bytes shortHeader = wadtest::ArchiveOf({"a"}, 0);
    shortHeader.resize(60);
    seeds.push_back({"short_header", shortHeader, false, 0});
    Bytes magic = wadtest::ArchiveOf({"a"}, 0);
    magic[0] = 'X';
    seeds.push_back({"wrong_magic", magic, false, 0});
    Bytes version3 = wadtest::ArchiveOf({"a"}, 0);
    wadtest::Patch32(version3, wadtest::VERSION_AT, 3);
    seeds.push_back({"version_3", version3, false, 0});
    Bytes count = wadtest::ArchiveOf({"a"}, 1);
    wadtest::Patch32(count, wadtest::ENTRY_COUNT_AT, 0x06666667);
    seeds.push_back({"wrapping_entry_count", count, false, 0});
    Bytes shortName = wadtest::ArchiveOf({"a", "b"}, 1);
    wadtest::Patch32(shortName, wadtest::RecordField(1, wadtest::NAME_LENGTH), 100);
    seeds.push_back({"short_name_read", shortName, false, 0});
    return seeds;
}

TEST(WadFuzzCorpusTest, SeedsLoadAsIntendedAndAreWrittenOnRequest) {
    const char* outputDirectory = std::getenv("TARNWAD_WRITE_WAD_CORPUS");
    for (const Seed& seed : Seeds()) {
        vfs::WadDirectory directory;
        EXPECT_EQ(wadtest::LoadArchive(directory, seed.archive).Succeeded(), seed.loads)
            << seed.name;
        EXPECT_EQ(directory.RejectedCount(), seed.rejected) << seed.name;
        if (outputDirectory != nullptr) {
            std::ofstream file(std::string(outputDirectory) + "/" + seed.name + ".wad",
                               std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char*>(seed.archive.data()),
                       static_cast<std::streamsize>(seed.archive.size()));
            EXPECT_TRUE(file.good()) << seed.name;
        }
    }
}

}  // namespace
