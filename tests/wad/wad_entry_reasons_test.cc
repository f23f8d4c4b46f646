// Why an entry does not open: the reason WadFileSystem leaves in
// vfs::LastError() at the place where opening fails, and the same verdict
// from CheckEntry, which reads no data.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/temp_directory.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_file_system.h"
#include "vfs/wad/wad_path_hash.h"
#include "vfs/wad/wad_writer.h"

namespace vfs {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// What a record of `path` whose path hash is `recorded` is told.
std::string HashMismatch(const char* path, uint32_t recorded) {
    char text[256];
    std::snprintf(text, sizeof(text),
                  "cannot be found by its path: its record's path hash (0x%08X) is not the hash "
                  "of its path (0x%08X), and lookups compare the hash first, so the game cannot "
                  "find it either",
                  recorded, WadPathHash(path, static_cast<uint32_t>(std::strlen(path))));
    return text;
}

void SetRecordField(std::vector<uint8_t>& archive, uint32_t index, uint32_t WadEntryRecord::*field,
                    uint32_t value) {
    WadEntryRecord record = WadEntryRecord::Decode(archive.data() + WadRecordOffset(index));
    record.*field = value;
    record.Encode(archive.data() + WadRecordOffset(index));
}

class WadEntryReasonsTest : public ::testing::Test {
  protected:
    // Opens `archive` as `fs`, through `wad`.
    void Open(const std::vector<uint8_t>& archive) {
        dir.WriteFile("r.wad", std::string(archive.begin(), archive.end()));
        wad = new WadFileSystem();
        fs.Set(wad);
        ASSERT_EQ(wad->Open(dir.Join("r.wad").c_str(), 0), Result::Ok());
    }

    // The reason OpenFile gives for `path`, or "opens".
    std::string OpenReason(const char* path) {
        StreamRef out;
        SetLastError(ErrorCode::HOST_ERROR, "left over from before");
        if (fs.OpenFile(out, path, OPEN_READ, 0).Succeeded()) {
            return "opens";
        }
        EXPECT_EQ(out.Get(), nullptr) << path;
        return LastError().text;
    }

    // The reason CheckEntry gives for the top-level file of record `index`
    // at `path`, or "opens".
    std::string CheckReason(const char* path, uint32_t index) {
        for (const WadFileEntry* f = wad->GetDirectory().Root()->files.head; f != nullptr;
             f = f->next) {
            if (f->recordOffset == WadRecordOffset(index)) {
                return wad->CheckEntry(path, *f).Succeeded() ? "opens" : LastError().text;
            }
        }
        ADD_FAILURE() << "no record " << index;
        return {};
    }

    test::TempDirectory dir;
    WadFileSystem* wad = nullptr;
    FileSystemRef fs;
};

TEST_F(WadEntryReasonsTest, OpenFileSaysWhyEachKindOfEntryDoesNotOpen) {
    WadWriter writer(2);
    writer.AddFile("fine.txt", Bytes("fine"));           // 0
    writer.AddFile("d\\f.txt", Bytes("in d"));           // 1
    writer.AddFile("d", Bytes("a file named d"));        // 2
    writer.AddFile("refused.txt", Bytes("secret"));      // 3
    writer.AddFile("hash.txt", Bytes("mislabelled"));    // 4
    writer.AddFile("outside.bin", Bytes("0123456789"));  // 5
    writer.AddRawEntry("cut.lz", reinterpret_cast<const uint8_t*>("\x10\xFB\x00\x00\x0A\xE0zz"), 8,
                       WAD_FLAG_LZ, 10);  // 6
    writer.AddRawEntry("size.lz",
                       reinterpret_cast<const uint8_t*>("\x10\xFB\x00\x00\x03\xFF"
                                                        "abc"),
                       9, WAD_FLAG_LZ, 10);                                  // 7
    writer.AddFile("sum.z", Bytes(std::string(300, 'z')), WadCoding::ZLIB);  // 8
    writer.SetFlags(3, WAD_FLAG_REFUSED);
    std::vector<uint8_t> archive = writer.Finish();
    SetRecordField(archive, 4, &WadEntryRecord::pathHash, 0x1234);
    SetRecordField(archive, 5, &WadEntryRecord::storedSize, 100000);
    // The zlib stream's checksum, its last byte, no longer matches.
    const WadEntryRecord sum = WadEntryRecord::Decode(archive.data() + WadRecordOffset(8));
    archive[sum.dataOffset + sum.storedSize - 1] ^= 0x01;
    Open(archive);
    const std::string size = std::to_string(archive.size());
    const WadEntryRecord outside = WadEntryRecord::Decode(archive.data() + WadRecordOffset(5));

    EXPECT_EQ(OpenReason("fine.txt"), "opens");
    const std::pair<const char*, ErrorReason> cases[] = {
        {"missing.txt", {ErrorCode::NOT_FOUND, "no such entry"}},
        {"d",
         {ErrorCode::IS_DIRECTORY,
          "cannot be opened: its path names a directory of the archive as well, and lookups "
          "find the directory first"}},
        {"refused.txt", {ErrorCode::REFUSED, "refused by the archive"}},
        {"hash.txt", {ErrorCode::HASH_MISMATCH, HashMismatch("hash.txt", 0x1234)}},
        {"outside.bin",
         {ErrorCode::OUTSIDE_FILE, "its data (bytes " + std::to_string(outside.dataOffset) +
                                       " to " + std::to_string(outside.dataOffset + 100000) +
                                       ") lies outside the " + size + "-byte file"}},
        {"cut.lz",
         {ErrorCode::NOT_DECODABLE,
          "does not decode: the LZ data ends early, before its stop command"}},
        {"size.lz",
         {ErrorCode::NOT_DECODABLE,
          "does not decode: its LZ header records 3 bytes, its record 10"}},
        {"sum.z",
         {ErrorCode::NOT_DECODABLE,
          "does not decode: zlib finds the data damaged: incorrect data check"}},
    };
    for (const auto& [path, reason] : cases) {
        EXPECT_EQ(OpenReason(path), reason.text);
        EXPECT_EQ(LastError().code, reason.code) << path;
    }
}

TEST_F(WadEntryReasonsTest, CheckEntryGivesOpenFilesVerdictForEveryRecordWithoutReading) {
    WadWriter writer(2);
    writer.AddFile("a.txt", Bytes("first"));             // 0: served
    writer.AddFile("A.TXT", Bytes("second"));            // 1: hidden by 0
    writer.AddFile("b.txt", Bytes("mislabelled"));       // 2: its hash is wrong
    writer.AddFile("b.txt", Bytes("served instead"));    // 3: served, though later
    writer.AddFile("refused.txt", Bytes("secret"));      // 4
    writer.AddFile("outside.bin", Bytes("0123456789"));  // 5
    writer.SetFlags(4, WAD_FLAG_REFUSED);
    std::vector<uint8_t> archive = writer.Finish();
    SetRecordField(archive, 2, &WadEntryRecord::pathHash, 7);
    SetRecordField(archive, 5, &WadEntryRecord::storedSize, 100000);
    Open(archive);

    EXPECT_EQ(CheckReason("a.txt", 0), "opens");
    EXPECT_EQ(CheckReason("a.txt", 1), "hidden by an earlier entry of the same path");
    EXPECT_EQ(LastError().code, ErrorCode::HIDDEN);
    EXPECT_EQ(CheckReason("b.txt", 2), HashMismatch("b.txt", 7));
    EXPECT_EQ(CheckReason("b.txt", 3), "opens");
    EXPECT_EQ(CheckReason("refused.txt", 4), OpenReason("refused.txt"));
    EXPECT_EQ(CheckReason("outside.bin", 5), OpenReason("outside.bin"));
}

}  // namespace
}  // namespace vfs
