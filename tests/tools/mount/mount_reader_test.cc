#include "tools/mount/mount_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <latch>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/mount/mount_test_archive.h"
#include "tools/mount/mount_tree.h"
#include "vfs/core/little_endian.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad::mount {
namespace {

using testing::ArchiveFiles;
using testing::Lines;
using testing::Noise;
using testing::OpenWad;
using testing::Text;
using vfs::WadCoding;

struct Complaints {
    std::mutex mutex;
    std::vector<std::string> lines;

    std::function<void(const std::string&, const std::string&)> Sink() {
        return [this](const std::string& path, const std::string& why) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(path + ": " + why);
        };
    }
};

// A mounted archive without FUSE: the tree and the reader over it.
struct Mounted {
    Mounted(const std::string& path, uint64_t budget, Complaints& complaints)
        : archive(OpenWad(path)) {
        BuildMountTree(archive, tree, report);
        reader = std::make_unique<MountReader>(archive, tree, budget, complaints.Sink());
        EXPECT_TRUE(reader->OpenArchiveFile(path));
    }

    uint32_t Index(const char* mountPath) {
        const MountNode* node = tree.Find(mountPath);
        EXPECT_NE(node, nullptr) << mountPath;
        return node == nullptr ? 0 : tree.IndexOf(*node);
    }

    // The whole file through one open, in reads of `chunk` bytes.
    std::vector<uint8_t> ReadAll(const char* mountPath, size_t chunk = 4096) {
        MountReader::Opened opened;
        if (!reader->Open(Index(mountPath), &opened)) {
            ADD_FAILURE() << mountPath << " does not open";
            return {};
        }
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> buffer(chunk);
        for (;;) {
            const int64_t got = reader->Read(opened, buffer.data(), chunk, bytes.size());
            EXPECT_GE(got, 0);
            if (got <= 0) {
                return bytes;
            }
            bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
        }
    }

    vfs::FileSystemRef archive;
    MountTree tree;
    MountTreeReport report;
    std::unique_ptr<MountReader> reader;
};

std::map<std::string, std::vector<uint8_t>> Contents() {
    return {
        {"/groundtile.png", Noise(3000, 1)},
        {"/maps/level1/layout.txt", Lines("tile", 4000)},
        {"/maps/level1/heights.bin", Noise(150000, 2)},
        {"/maps/level2/layout.txt", Lines("rock", 3000)},
        {"/sounds/empty.raw", {}},
        {"/sounds/wind.txt", Lines("gust", 30000)},
    };
}

std::string SaveContents(ArchiveFiles& files, WadCoding big) {
    vfs::WadWriter writer(2);
    writer.AddFile("groundtile.png", Noise(3000, 1), WadCoding::STORED);
    writer.AddFile("maps\\level1\\layout.txt", Lines("tile", 4000), WadCoding::LZ);
    writer.AddFile("maps\\level1\\heights.bin", Noise(150000, 2), WadCoding::STORED);
    writer.AddFile("maps\\level2\\layout.txt", Lines("rock", 3000), WadCoding::ZLIB);
    writer.AddFile("sounds\\empty.raw", {}, WadCoding::STORED);
    writer.AddFile("sounds\\wind.txt", Lines("gust", 30000), big);
    return files.Save("c.wad", writer);
}

TEST(MountReaderTest, EveryCodingReadsByteForByte) {
    ArchiveFiles files;
    Complaints complaints;
    Mounted mounted(SaveContents(files, WadCoding::ZLIB), 1 << 20, complaints);
    for (const auto& [path, bytes] : Contents()) {
        for (size_t chunk : {1u, 4096u, 131072u}) {
            if (chunk == 1 && bytes.size() > 5000) {
                continue;
            }
            EXPECT_EQ(mounted.ReadAll(path.c_str(), chunk), bytes) << path << " by " << chunk;
        }
    }
    EXPECT_TRUE(complaints.lines.empty());
}

TEST(MountReaderTest, ReadsAtAndPastTheEnd) {
    ArchiveFiles files;
    Complaints complaints;
    Mounted mounted(SaveContents(files, WadCoding::ZLIB), 1 << 20, complaints);
    for (const char* path : {"/groundtile.png", "/maps/level2/layout.txt"}) {
        MountReader::Opened opened;
        ASSERT_TRUE(mounted.reader->Open(mounted.Index(path), &opened));
        const std::vector<uint8_t> expected = Contents()[path];
        uint8_t buffer[64];
        EXPECT_EQ(mounted.reader->Read(opened, buffer, 64, expected.size() - 10), 10) << path;
        EXPECT_EQ(std::memcmp(buffer, expected.data() + expected.size() - 10, 10), 0);
        EXPECT_EQ(mounted.reader->Read(opened, buffer, 64, expected.size()), 0) << path;
        EXPECT_EQ(mounted.reader->Read(opened, buffer, 64, expected.size() + 1000), 0) << path;
    }
}

TEST(MountReaderTest, ManyOpensAndSmallReadsOnManyThreadsDecodeOnce) {
    ArchiveFiles files;
    Complaints complaints;
    Mounted mounted(SaveContents(files, WadCoding::ZLIB), 64 << 20, complaints);
    const std::vector<uint8_t> wind = Contents()["/sounds/wind.txt"];
    const std::vector<uint8_t> layout = Contents()["/maps/level1/layout.txt"];
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            const bool windNotLayout = t % 2 == 0;
            const std::vector<uint8_t>& expected = windNotLayout ? wind : layout;
            uint32_t seed = 99u + static_cast<uint32_t>(t);
            for (int round = 0; round < 20; ++round) {
                MountReader::Opened opened;
                if (!mounted.reader->Open(mounted.Index(windNotLayout ? "/sounds/wind.txt"
                                                                      : "/maps/level1/layout.txt"),
                                          &opened)) {
                    ++wrong;
                    continue;
                }
                for (int i = 0; i < 50; ++i) {
                    seed = seed * 1664525u + 1013904223u;
                    const uint64_t at = seed % expected.size();
                    uint8_t buffer[4096];
                    const int64_t got = mounted.reader->Read(opened, buffer, sizeof(buffer), at);
                    const uint64_t want = std::min<uint64_t>(4096, expected.size() - at);
                    if (got != static_cast<int64_t>(want) ||
                        std::memcmp(buffer, expected.data() + at, want) != 0) {
                        ++wrong;
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    const EntryCacheStats stats = mounted.reader->CacheStats();
    EXPECT_EQ(stats.decodes, 2u);  // wind.txt and layout.txt, once each
    EXPECT_EQ(stats.hits, kThreads * 20u - 2);
}

TEST(MountReaderTest, AnEntryLargerThanTheBudgetIsDecodedForEachOpen) {
    ArchiveFiles files;
    Complaints complaints;
    Mounted mounted(SaveContents(files, WadCoding::LZ), 64 << 10, complaints);
    const std::vector<uint8_t> wind = Contents()["/sounds/wind.txt"];
    ASSERT_GT(wind.size(), 64u << 10);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mounted.ReadAll("/sounds/wind.txt", 65536), wind);
    }
    EXPECT_EQ(mounted.reader->CacheStats().uncached, 3u);
    EXPECT_EQ(mounted.reader->CacheStats().cachedBytes, 0u);
    // A small one is still kept.
    EXPECT_EQ(mounted.ReadAll("/maps/level1/layout.txt"), Contents()["/maps/level1/layout.txt"]);
    EXPECT_EQ(mounted.ReadAll("/maps/level1/layout.txt"), Contents()["/maps/level1/layout.txt"]);
    EXPECT_EQ(mounted.reader->CacheStats().decodes, 4u);
}

TEST(MountReaderTest, ABrokenEntryFailsItsOpensAndIsNamedOnceWhileTheOthersRead) {
    ArchiveFiles files;
    vfs::WadWriter writer(2);
    writer.AddFile("groundtile.png", Text("g"));
    const uint8_t brokenLz[] = {0x10, 0xFB, 0x00, 0x00, 0x09, 0xE0};
    writer.AddRawEntry("bad.lz", brokenLz, sizeof(brokenLz), vfs::WAD_FLAG_LZ, 9);
    const uint8_t notZlib[40] = {1, 2, 3};
    writer.AddRawEntry("bad.zlib", notZlib, sizeof(notZlib), vfs::WAD_FLAG_ZLIB, 100);
    writer.AddFile("outside.bin", Noise(100, 3));
    writer.AddFile("fine.txt", Lines("fine", 100), WadCoding::LZ);
    std::vector<uint8_t> bytes = writer.Finish();
    // outside.bin's data offset (record 3) points past the end of the file.
    vfs::StoreLe32(bytes.data() + vfs::WadRecordOffset(3) + 12,
                   static_cast<uint32_t>(bytes.size()) + 50);
    Complaints complaints;
    Mounted mounted(files.Save("b.wad", bytes), 1 << 20, complaints);

    for (int round = 0; round < 3; ++round) {
        MountReader::Opened opened;
        EXPECT_FALSE(mounted.reader->Open(mounted.Index("/bad.lz"), &opened));
        EXPECT_FALSE(mounted.reader->Open(mounted.Index("/bad.zlib"), &opened));
        EXPECT_FALSE(mounted.reader->Open(mounted.Index("/outside.bin"), &opened));
        EXPECT_EQ(mounted.ReadAll("/fine.txt"), Lines("fine", 100));
        EXPECT_EQ(mounted.ReadAll("/groundtile.png"), Text("g"));
    }
    ASSERT_EQ(complaints.lines.size(), 3u);
    // The reason is the one opening the entry gives, as unpack tells it.
    EXPECT_EQ(complaints.lines[0],
              "bad.lz: does not decode: the LZ data ends early, before its stop command; reads "
              "fail");
    EXPECT_EQ(complaints.lines[1],
              "bad.zlib: does not decode: the zlib-framed data does not begin with \"BILZ\"; "
              "reads fail");
    EXPECT_EQ(complaints.lines[2], "outside.bin: its data (bytes " +
                                       std::to_string(bytes.size() + 50) + " to " +
                                       std::to_string(bytes.size() + 150) + ") lies outside the " +
                                       std::to_string(bytes.size()) + "-byte file; reads fail");
    // A failed entry is not decoded again.
    EXPECT_EQ(mounted.reader->CacheStats().failures, 2u);
}

TEST(MountReaderTest, DirectoriesDoNotOpen) {
    ArchiveFiles files;
    Complaints complaints;
    Mounted mounted(SaveContents(files, WadCoding::ZLIB), 1 << 20, complaints);
    MountReader::Opened opened;
    EXPECT_FALSE(mounted.reader->Open(mounted.Index("/maps"), &opened));
    EXPECT_FALSE(mounted.reader->Open(0, &opened));
    EXPECT_TRUE(complaints.lines.empty());
}

// Whether `done` comes true within 10 seconds.
template <typename Done>
bool Eventually(Done done) {
    for (int wait = 0; wait < 1000; ++wait) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// What the reader handed over to be kept, by node.
struct Deliveries {
    std::mutex mutex;
    std::map<uint32_t, std::vector<std::vector<uint8_t>>> bytes;

    MountReader::Deliver Sink() {
        return [this](uint32_t index, const uint8_t* data, uint64_t size) {
            std::lock_guard<std::mutex> lock(mutex);
            bytes[index].emplace_back(data, data + size);
        };
    }
};

// A directory of `count` files, coded LZ, zlib-framed and stored in turn,
// each of about `size` bytes.
std::string SaveDirectory(ArchiveFiles& files, int count, int lines) {
    vfs::WadWriter writer(2);
    const WadCoding codings[] = {WadCoding::LZ, WadCoding::ZLIB, WadCoding::STORED};
    for (int i = 0; i < count; ++i) {
        const std::string name = "d\\f" + std::to_string(100 + i) + ".txt";
        writer.AddFile(name.c_str(), Lines(name.c_str(), lines + i), codings[i % 3]);
    }
    return files.Save("d.wad", writer);
}

TEST(MountReaderTest, FilesOpenedInOrderAreMadeReadyAheadDecodedAndHandedOverOnce) {
    ArchiveFiles files;
    Complaints complaints;
    Deliveries deliveries;
    Mounted mounted(SaveDirectory(files, 30, 200), 1 << 20, complaints);
    mounted.reader->StartAhead(2, deliveries.Sink());
    const std::vector<uint32_t>& children = mounted.tree.Find("/d")->children;
    for (size_t at = 0; at < children.size(); ++at) {
        const std::string path = *mounted.tree.Node(children[at]).path;
        const std::string name = "d\\" + path.substr(3);
        const int i = std::stoi(path.substr(4)) - 100;
        EXPECT_EQ(mounted.ReadAll(path.c_str()), Lines(name.c_str(), 200 + i)) << path;
        if (at == 2) {
            // The third in order: the next ones are made ready.
            EXPECT_TRUE(Eventually([&] { return mounted.reader->DeliveredCount() > 3; }));
        }
    }
    mounted.reader->StopAhead();
    const EntryCacheStats stats = mounted.reader->CacheStats();
    EXPECT_EQ(stats.decodes, 20u);  // the coded files, once each
    EXPECT_EQ(stats.evictions, 0u);
    // Every file went over once, whole, whether opened or made ready first.
    ASSERT_EQ(deliveries.bytes.size(), 30u);
    for (const auto& [index, handed] : deliveries.bytes) {
        ASSERT_EQ(handed.size(), 1u) << index;
        EXPECT_EQ(handed[0], mounted.ReadAll(mounted.tree.Node(index).path->c_str()));
    }
    EXPECT_TRUE(complaints.lines.empty());
}

TEST(MountReaderTest, NothingIsMadeReadyAheadOutOfOrderOrBeyondItsShareOfTheBudget) {
    ArchiveFiles files;
    Complaints complaints;
    Deliveries deliveries;
    // Files of about 2.4 KiB: a budget of 16 KiB leaves 2 KiB ahead, none.
    Mounted small(SaveDirectory(files, 12, 200), 16 << 10, complaints);
    small.reader->StartAhead(2, deliveries.Sink());
    for (uint32_t index : small.tree.Find("/d")->children) {
        small.ReadAll(small.tree.Node(index).path->c_str());
    }
    small.reader->StopAhead();
    EXPECT_EQ(small.reader->AheadCount(), 0u);

    Mounted mounted(SaveDirectory(files, 12, 200), 1 << 20, complaints);
    mounted.reader->StartAhead(2, deliveries.Sink());
    const std::vector<uint32_t>& children = mounted.tree.Find("/d")->children;
    for (size_t at : {7u, 2u, 10u, 5u, 0u}) {
        mounted.ReadAll(mounted.tree.Node(children[at]).path->c_str());
    }
    mounted.reader->StopAhead();
    EXPECT_EQ(mounted.reader->AheadCount(), 0u);
}

TEST(MountReaderTest, AnEntryThatFailsAheadIsNamedOnceWhenOpenedAndNotDecodedAgain) {
    ArchiveFiles files;
    vfs::WadWriter writer(2);
    writer.AddFile("a.txt", Lines("a", 100), WadCoding::LZ);
    writer.AddFile("b.txt", Lines("b", 100), WadCoding::LZ);
    writer.AddFile("c.txt", Lines("c", 100), WadCoding::LZ);
    const uint8_t brokenLz[] = {0x10, 0xFB, 0x00, 0x00, 0x09, 0xE0};
    writer.AddRawEntry("d.lz", brokenLz, sizeof(brokenLz), vfs::WAD_FLAG_LZ, 9);
    writer.AddFile("e.txt", Lines("e", 100), WadCoding::LZ);
    Complaints complaints;
    Deliveries deliveries;
    Mounted mounted(files.Save("b.wad", writer), 1 << 20, complaints);
    mounted.reader->StartAhead(1, deliveries.Sink());
    mounted.ReadAll("/a.txt");
    mounted.ReadAll("/b.txt");
    mounted.ReadAll("/c.txt");  // in order: d.lz and e.txt are decoded ahead
    ASSERT_TRUE(Eventually([&] { return mounted.reader->CacheStats().decodes == 5; }));
    EXPECT_EQ(mounted.reader->CacheStats().failures, 1u);
    EXPECT_TRUE(complaints.lines.empty());  // no one opened it yet
    for (int round = 0; round < 3; ++round) {
        MountReader::Opened opened;
        EXPECT_FALSE(mounted.reader->Open(mounted.Index("/d.lz"), &opened));
    }
    mounted.reader->StopAhead();
    EXPECT_EQ(complaints.lines,
              std::vector<std::string>{"d.lz: does not decode: the LZ data ends early, before "
                                       "its stop command; reads fail"});
    EXPECT_EQ(mounted.reader->CacheStats().failures, 1u);
}

}  // namespace
}  // namespace tarnwad::mount
