#include "app/outcome_details.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/unpack_dialog.h"
#include "tests/host/temp_directory.h"
#include "vfs/host/host_path.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad {
namespace {

using vfs::WadWriter;

// The separator the details show between path components.
std::string Separator() {
    return vfs::host::HostReadsBackslashAsSeparator() ? "\\" : "/";
}

std::string WithSlashes(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

class DetailsHost : public DialogHost {
  public:
    void GetPathText(char* buffer, uint32_t size) override {
        std::snprintf(buffer, size, "%s", path.c_str());
    }
    void SetStatusLine(const char*) override {}
    void ShowMessage(const char* text, const char* caption) override {
        messages.push_back(std::string(caption) + " " + text);
    }
    void ShowDetailedMessage(const char* text, const char* caption,
                             const char* shownDetails) override {
        ShowMessage(text, caption);
        details = shownDetails;
    }

    std::string path;
    std::vector<std::string> messages;
    std::string details;
};

class OutcomeDetailsTest : public ::testing::Test {
  protected:
    // Unpacks `bytes`, written as `name`, and gives the message's details;
    // the main text and caption stay the two fixed ones.
    std::string DetailsOfUnpack(const std::string& name, const std::string& bytes) {
        dir.WriteFile(name, bytes);
        host.path = dir.Join(name);
        host.messages.clear();
        dialog.OnUnpack();
        EXPECT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages.back(), dialog.lastOutcome.succeeded
                                            ? "Succeeded! Finished unpacking WAD file"
                                            : "Failed! Unable to unpack WAD file");
        return host.details;
    }

    static std::string Archive(WadWriter& writer) {
        std::vector<uint8_t> bytes = writer.Finish();
        return {bytes.begin(), bytes.end()};
    }

    vfs::test::TempDirectory dir;
    DetailsHost host;
    UnpackDialog dialog{host};
};

TEST_F(OutcomeDetailsTest, SuccessNamesTheOutputFolder) {
    WadWriter writer(2);
    writer.AddFile("groundtile.png", {'g'});
    std::string details = DetailsOfUnpack("level.wad", Archive(writer));
    ASSERT_TRUE(dialog.lastOutcome.succeeded);
    EXPECT_EQ(WithSlashes(details), "Unpacked into " + WithSlashes(dir.Join("level")));
}

TEST_F(OutcomeDetailsTest, ArchivesThatDoNotOpenSayWhy) {
    WadWriter writer(2);
    writer.AddFile("groundtile.png", std::vector<uint8_t>(500, 'g'));
    std::string whole = Archive(writer);

    EXPECT_EQ(DetailsOfUnpack("cut.wad", whole.substr(0, 100)),
              "The archive is damaged or cut short: its record table (bytes 88 to 128) lies "
              "outside the 100-byte file.");
    EXPECT_EQ(DetailsOfUnpack("tiny.wad", whole.substr(0, 10)),
              "The archive is too short to be a WAD archive (10 bytes, a header takes 88).");
    EXPECT_EQ(DetailsOfUnpack("text.wad", std::string(200, 't')),
              "The archive is not a WAD archive: it does not begin with \"QARC\".");
    std::string future = whole;
    future[4] = 9;  // the version field
    EXPECT_NE(DetailsOfUnpack("future.wad", future).find("format version 9"), std::string::npos);
    // Sparse where the host has sparse files: 4 GiB + 1 bytes cost no disk.
    dir.WriteFile("huge.wad", whole);
    std::error_code error;
    std::filesystem::resize_file(dir.Join("huge.wad"), (uintmax_t{4} << 30) + 1, error);
    if (!error) {
        host.path = dir.Join("huge.wad");
        dialog.OnUnpack();
        EXPECT_EQ(host.details,
                  "The archive is too large to be a WAD archive: an archive holds at most 4 GiB "
                  "- 1 bytes, and this file has 4294967297 bytes.");
    }

    host.path.clear();
    dialog.OnUnpack();
    EXPECT_EQ(host.details, "No archive was chosen.");
}

TEST_F(OutcomeDetailsTest, AnArchiveOfAnotherGameNamesTheEntriesLookedFor) {
    WadWriter writer(2);
    writer.AddFile("maps\\groundtile.png", {'x'});
    std::string details = DetailsOfUnpack("other.wad", Archive(writer));
    EXPECT_EQ(details.rfind("This is not a Tarnhollow archive", 0), 0u) << details;
    for (const char* name : kProbeNames) {
        EXPECT_NE(details.find(name), std::string::npos) << name << " not named in " << details;
    }
}

TEST(OutcomeDetails, FailedEntriesAreNamedUpToALimitThenCounted) {
    UnpackOutcome outcome;
    outcome.outputDirectory = "out";
    for (int i = 1; i <= 7; ++i) {
        outcome.copy.failures.push_back({"maps\\f" + std::to_string(i) + ".txt",
                                         CopyFailureKind::kCreateFile,
                                         i == 1 ? "permission denied" : ""});
    }
    const std::string sep = Separator();
    EXPECT_EQ(OutcomeDetails(outcome),
              "7 entries were not unpacked into out:\n"
              "maps" +
                  sep +
                  "f1.txt: cannot be created: permission denied\n"
                  "maps" +
                  sep +
                  "f2.txt: cannot be created\n"
                  "maps" +
                  sep +
                  "f3.txt: cannot be created\n"
                  "maps" +
                  sep +
                  "f4.txt: cannot be created\n"
                  "maps" +
                  sep +
                  "f5.txt: cannot be created\n"
                  "and 2 more");

    outcome.copy.failures.resize(kMaxNamedInDetails);
    EXPECT_EQ(OutcomeDetails(outcome).find("more"), std::string::npos)
        << "no count when every failure is named";
    outcome.copy.failures.resize(1);
    EXPECT_EQ(OutcomeDetails(outcome).rfind("1 entry was not unpacked into out:\n", 0), 0u);
}

TEST(OutcomeDetails, RejectedRecordsAndRefusedEntriesAreReported) {
    UnpackOutcome outcome;
    for (uint32_t i = 0; i < 6; ++i) {
        outcome.rejected.push_back({i + 3, "..\\x", vfs::WadRejectReason::DOT_COMPONENT});
    }
    // A stored name cannot break the text into lines of its own making.
    outcome.rejected[1].rawPath = "bad\nname";
    outcome.rejected[1].reason = vfs::WadRejectReason::CONTROL_BYTE;
    outcome.refused = {"secret\\a", "secret\\b"};
    std::string details = OutcomeDetails(outcome);
    EXPECT_EQ(
        details.rfind("6 records of the archive were left out as unsafe:\nrecord 3 \"..\\x\": ", 0),
        0u)
        << details;
    EXPECT_NE(details.find("record 4 \"bad\\x0Aname\": "), std::string::npos) << details;
    EXPECT_NE(details.find("\nand 1 more\n\nSkipped 2 entries that the archive marks as not to "
                           "be opened."),
              std::string::npos)
        << details;
    EXPECT_EQ(std::count(details.begin(), details.end(), '\n'), 5 + 1 + 2);

    outcome.succeeded = true;
    outcome.rejected.clear();
    outcome.outputDirectory = "out";
    EXPECT_EQ(OutcomeDetails(outcome),
              "Unpacked into out\n\nSkipped 2 entries that the archive marks as not to be opened.");
}

}  // namespace
}  // namespace tarnwad
