// `tarnwad verify ARCHIVE`: decodes every entry without writing anything.
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/archive_catalog.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/exit_codes.h"
#include "tools/path_argument.h"
#include "tools/text_format.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/wad/wad_rejected_record.h"

namespace tarnwad::cli {

namespace {

struct VerifyOptions {
    std::string archive;
};

constexpr int32_t kBlockSize = 1 << 20;

// Why `entry` cannot be read in full, or nothing when it decodes to its size.
// `firstWithPath` is the record index of the first entry of the same path.
std::string CheckEntry(ArchiveCatalog& catalog, const CatalogEntry& entry, uint32_t firstWithPath,
                       std::vector<uint8_t>& buffer) {
    const vfs::WadEntryRecord& record = entry.record;
    uint64_t dataEnd = uint64_t{record.dataOffset} + record.storedSize;
    if (dataEnd > catalog.FileSize()) {
        return "its data (bytes " + std::to_string(record.dataOffset) + " to " +
               std::to_string(dataEnd) + ") lies outside the " +
               std::to_string(catalog.FileSize()) + "-byte file";
    }
    if (firstWithPath != entry.recordIndex) {
        // Lookups by path find the first record of a path; this one is never
        // read, by the game or by an unpack.
        return "has the same path as record " + std::to_string(firstWithPath) + ", which hides it";
    }
    vfs::StreamRef input;
    if (catalog.FileSystem()
            .OpenFile(input, entry.path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0)
            .Failed()) {
        return std::string("does not decode (") + CodingName(record.flags) + " data, " +
               std::to_string(record.storedSize) + " bytes stored, " +
               std::to_string(record.ReportedSize()) + " expected)";
    }
    uint64_t total = 0;
    for (int32_t n; (n = input.Read(buffer.data(), kBlockSize)) > 0;) {
        total += static_cast<uint32_t>(n);
    }
    if (total != record.ReportedSize()) {
        return "reads " + std::to_string(total) + " bytes, but its size is " +
               std::to_string(record.ReportedSize());
    }
    return {};
}

int RunVerify(const VerifyOptions& options) {
    ArchiveCatalog catalog;
    std::string failure = catalog.Open(AbsolutePath(options.archive));
    if (!failure.empty()) {
        Complain(options.archive, failure);
        return kExitUsage;
    }

    uint32_t good = 0;
    uint32_t refused = 0;
    uint32_t failed = 0;
    std::map<std::string, uint32_t> firstRecordOfPath;
    for (const CatalogEntry& entry : catalog.Entries()) {
        firstRecordOfPath.emplace(entry.path, entry.recordIndex);
    }
    std::vector<uint8_t> buffer(kBlockSize);
    for (const CatalogEntry& entry : catalog.Entries()) {
        if ((entry.record.flags & vfs::WAD_FLAG_REFUSED) != 0) {
            ++refused;
            continue;
        }
        std::string problem = CheckEntry(catalog, entry, firstRecordOfPath.at(entry.path), buffer);
        if (problem.empty()) {
            ++good;
        } else {
            ++failed;
            Complain(options.archive, entry.path, problem);
        }
    }
    const std::vector<vfs::WadRejectedRecord>& rejected = catalog.Wad().GetRejectedRecords();
    for (const vfs::WadRejectedRecord& record : rejected) {
        Complain(options.archive,
                 "record " + std::to_string(record.index) + " (\"" + PrintableText(record.rawPath) +
                     "\") cannot be read: " + vfs::WadRejectReasonText(record.reason));
    }
    uint32_t rejectedCount = catalog.Wad().GetDirectory().RejectedCount();

    std::printf("%s: %zu entries: %u read in full, %u refused by the archive, %u failed",
                PrintableText(options.archive).c_str(), catalog.Entries().size(), good, refused,
                failed);
    if (rejectedCount > 0) {
        std::printf("; %u records rejected", rejectedCount);
    }
    std::printf("\n");
    std::fflush(stdout);
    return failed == 0 && rejectedCount == 0 ? kExitSuccess : kExitEntriesFailed;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* command = app.add_subcommand(
        "verify",
        "Decode every entry without writing anything and report what cannot be read; exit 0 "
        "only when every entry decodes");
    command->add_option("ARCHIVE", options->archive, "The .wad file")->required();
    command->callback([options, &exitCode] { exitCode = RunVerify(*options); });
}

}  // namespace tarnwad::cli
