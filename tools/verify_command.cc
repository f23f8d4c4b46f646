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
#include "tools/progress_line.h"
#include "tools/text_format.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/terminal.h"
#include "vfs/wad/wad_rejected_record.h"

namespace tarnwad::cli {

namespace {

struct VerifyOptions {
    std::string archive;
    bool json = false;
};

constexpr int32_t kBlockSize = 1 << 20;

// Why `entry` cannot be read in full, or nothing when it decodes to its size.
// `firstWithPath` is the record index of the first entry of the same path.
std::string CheckEntry(ArchiveCatalog& catalog, const CatalogEntry& entry, uint32_t firstWithPath,
                       std::vector<uint8_t>& buffer) {
    const vfs::WadEntryRecord& record = entry.record;
    if (std::string where = DataOutsideFile(entry, catalog.FileSize()); !where.empty()) {
        return where;
    }
    if (std::string why = TooLargeToDecode(entry); !why.empty()) {
        return why;
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

// A bar on stderr where someone watches, and only then.
ProgressStyle BarUnlessQuiet(bool quiet) {
    return !quiet && vfs::host::IsTerminal(vfs::host::StandardStream::Error)
               ? ProgressStyle::kBar
               : ProgressStyle::kSilent;
}

struct VerifyFailure {
    const CatalogEntry* entry;
    std::string problem;
};

void PrintJson(const VerifyOptions& options, size_t entries, uint32_t good, uint32_t refused,
               const std::vector<VerifyFailure>& failures,
               const std::vector<vfs::WadRejectedRecord>& rejected, uint32_t rejectedCount) {
    std::printf(
        "{\"archive\":%s,\"entries\":%zu,\"read_in_full\":%u,\"refused\":%u,"
        "\"failed\":%zu,\"rejected_records\":%u,\"failures\":[",
        JsonString(options.archive).c_str(), entries, good, refused, failures.size(),
        rejectedCount);
    for (size_t i = 0; i < failures.size(); ++i) {
        const CatalogEntry& entry = *failures[i].entry;
        std::printf("%s{\"path\":%s,\"path_bytes\":\"%s\",\"record_index\":%u,\"reason\":%s}",
                    i == 0 ? "" : ",", JsonString(entry.path).c_str(), HexBytes(entry.path).c_str(),
                    entry.recordIndex, JsonString(failures[i].problem).c_str());
    }
    std::printf("],\"rejected\":[");
    for (size_t i = 0; i < rejected.size(); ++i) {
        std::printf("%s{\"record_index\":%u,\"path_bytes\":\"%s\",\"reason\":%s}",
                    i == 0 ? "" : ",", rejected[i].index, HexBytes(rejected[i].rawPath).c_str(),
                    JsonString(vfs::WadRejectReasonText(rejected[i].reason)).c_str());
    }
    std::printf("]}\n");
}

int RunVerify(const VerifyOptions& options) {
    vfs::host::CatchInterrupts();
    ArchiveCatalog catalog;
    std::string failure = catalog.Open(AbsolutePath(options.archive));
    if (!failure.empty()) {
        Complain(options.archive, failure);
        return kExitUsage;
    }

    std::map<std::string, uint32_t> firstRecordOfPath;
    std::map<std::string, uint64_t> sizes;
    uint64_t totalBytes = 0;
    for (const CatalogEntry& entry : catalog.Entries()) {
        firstRecordOfPath.emplace(entry.path, entry.recordIndex);
        sizes.emplace(entry.path, entry.record.ReportedSize());
        totalBytes += entry.record.ReportedSize();
    }
    ProgressLine progress(BarUnlessQuiet(options.json), stderr,
                          vfs::host::TerminalColumns(vfs::host::StandardStream::Error));
    progress.SetTotals(static_cast<uint32_t>(catalog.Entries().size()), totalBytes,
                       std::move(sizes));

    uint32_t good = 0;
    uint32_t refused = 0;
    std::vector<VerifyFailure> failures;
    std::vector<uint8_t> buffer(kBlockSize);
    for (const CatalogEntry& entry : catalog.Entries()) {
        if (vfs::host::InterruptRequested()) {
            progress.Finish();
            Complain(
                options.archive,
                "interrupted: " + Counted(good + refused + failures.size(), "entry", "entries") +
                    " of " + std::to_string(catalog.Entries().size()) + " checked");
            return kExitInterrupted;
        }
        progress.Status(entry.path.c_str());
        if ((entry.record.flags & vfs::WAD_FLAG_REFUSED) != 0) {
            ++refused;
            continue;
        }
        std::string problem = CheckEntry(catalog, entry, firstRecordOfPath.at(entry.path), buffer);
        if (problem.empty()) {
            ++good;
        } else {
            failures.push_back({&entry, problem});
            if (!options.json) {
                progress.Finish();
                Complain(options.archive, entry.path, problem);
            }
        }
    }
    progress.Finish();
    const std::vector<vfs::WadRejectedRecord>& rejected = catalog.Wad().GetRejectedRecords();
    uint32_t rejectedCount = catalog.Wad().GetDirectory().RejectedCount();
    const int code = failures.empty() && rejectedCount == 0 ? kExitSuccess : kExitEntriesFailed;
    if (options.json) {
        PrintJson(options, catalog.Entries().size(), good, refused, failures, rejected,
                  rejectedCount);
        std::fflush(stdout);
        return code;
    }
    for (const vfs::WadRejectedRecord& record : rejected) {
        Complain(options.archive,
                 "record " + std::to_string(record.index) + " (\"" + PrintableText(record.rawPath) +
                     "\") cannot be read: " + vfs::WadRejectReasonText(record.reason));
    }

    std::printf("%s: %s: %u read in full, %u refused by the archive, %zu failed",
                PrintableText(options.archive).c_str(),
                Counted(catalog.Entries().size(), "entry", "entries").c_str(), good, refused,
                failures.size());
    if (rejectedCount > 0) {
        std::printf("; %s rejected", Counted(rejectedCount, "record", "records").c_str());
    }
    std::printf("\n");
    std::fflush(stdout);
    return code;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* command = app.add_subcommand(
        "verify",
        "Decode every entry without writing anything and report what cannot be read; exit 0 "
        "only when every entry decodes");
    command->add_option("ARCHIVE", options->archive, "The .wad file")->required();
    command->add_flag("--json", options->json,
                      "One JSON object with the counts, every failed entry and every rejected "
                      "record, nothing else on stdout");
    command->callback([options, &exitCode] { exitCode = RunVerify(*options); });
}

}  // namespace tarnwad::cli
