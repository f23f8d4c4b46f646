// `tarnwad verify ARCHIVE`: opens, decodes and reads every entry, writing
// nothing, and says what that could and could not check. Only with
// --against REF, every entry's content compared with REF's, may it call the
// archive intact.
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/counted_text.h"
#include "tools/archive_argument.h"
#include "tools/archive_catalog.h"
#include "tools/archive_option.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/diff/compared_tree.h"
#include "tools/diff/content_reference.h"
#include "tools/display_path.h"
#include "tools/entry_verification.h"
#include "tools/exit_codes.h"
#include "tools/layer_option.h"
#include "tools/progress_line.h"
#include "tools/text_format.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/terminal.h"
#include "vfs/wad/wad_rejected_record.h"

namespace tarnwad::cli {

namespace {

struct VerifyOptions {
    std::string archive;
    std::vector<std::string> layers;
    std::string against;  // REF: an archive, a folder or a hash listing; empty: none
    bool json = false;
};

struct Finding {
    const CatalogEntry* entry;
    std::string text;
};

struct Tally {
    uint32_t readInFull = 0;
    uint32_t withChecksum = 0;  // of those read in full: zlib-framed, checked by zlib
    uint32_t refused = 0;
    uint32_t hidden = 0;
    std::vector<Finding> failures;
    std::vector<Finding> warnings;
    // With --against: every entry whose content is not REF's, and REF's
    // paths the archive lacks, with what differs.
    uint32_t compared = 0;  // entries whose content was compared with REF's
    std::vector<Finding> differences;
    std::vector<std::pair<std::string, std::string>> missing;  // REF's path, what
};

// Whether the archive's content was checked against REF and found equal:
// every entry read in full, equal to REF's, and nothing of REF missing.
bool Intact(const Tally& tally, uint32_t rejectedCount) {
    return tally.failures.empty() && rejectedCount == 0 && tally.differences.empty() &&
           tally.missing.empty();
}

// With layers, "layer" tells which serves each entry; only the archive's
// own entries (layer 0) have a record index.
void PrintFindingsJson(const char* key, const std::vector<Finding>& findings, bool layered) {
    std::printf(",\"%s\":[", key);
    for (size_t i = 0; i < findings.size(); ++i) {
        const CatalogEntry& entry = *findings[i].entry;
        const std::string index =
            layered && entry.layer != 0 ? "null" : std::to_string(entry.recordIndex);
        const std::string layer = layered ? ",\"layer\":" + std::to_string(entry.layer) : "";
        std::printf("%s{\"path\":%s,\"path_bytes\":\"%s\",\"record_index\":%s%s,\"reason\":%s}",
                    i == 0 ? "" : ",", JsonString(DisplayPath(entry.path)).c_str(),
                    HexBytes(entry.path).c_str(), index.c_str(), layer.c_str(),
                    JsonString(findings[i].text).c_str());
    }
    std::printf("]");
}

void PrintJson(const VerifyOptions& options, size_t entries, const Tally& tally,
               const std::vector<vfs::WadRejectedRecord>& rejected, uint32_t rejectedCount,
               bool layered) {
    std::printf(
        "{\"archive\":%s,\"entries\":%zu,\"read_in_full\":%u,\"checksum_passed\":%u,"
        "\"without_checksum\":%u,\"refused\":%u,\"hidden\":%u,\"failed\":%zu,"
        "\"rejected_records\":%u",
        JsonString(options.archive).c_str(), entries, tally.readInFull, tally.withChecksum,
        tally.readInFull - tally.withChecksum, tally.refused, tally.hidden, tally.failures.size(),
        rejectedCount);
    PrintFindingsJson("failures", tally.failures, layered);
    PrintFindingsJson("warnings", tally.warnings, layered);
    if (!options.against.empty()) {
        std::printf(",\"against\":%s,\"compared\":%u,\"intact\":%s",
                    JsonString(options.against).c_str(), tally.compared,
                    Intact(tally, rejectedCount) ? "true" : "false");
        PrintFindingsJson("differences", tally.differences, layered);
        std::printf(",\"missing\":[");
        for (size_t i = 0; i < tally.missing.size(); ++i) {
            std::printf("%s{\"path\":%s,\"path_bytes\":\"%s\",\"reason\":%s}", i == 0 ? "" : ",",
                        JsonString(tally.missing[i].first).c_str(),
                        HexBytes(tally.missing[i].first).c_str(),
                        JsonString(tally.missing[i].second).c_str());
        }
        std::printf("]");
    }
    std::printf(",\"rejected\":[");
    for (size_t i = 0; i < rejected.size(); ++i) {
        std::printf("%s{\"record_index\":%u,\"path_bytes\":\"%s\",\"reason\":%s}",
                    i == 0 ? "" : ",", rejected[i].index, HexBytes(rejected[i].rawPath).c_str(),
                    JsonString(vfs::WadRejectReasonText(rejected[i].reason)).c_str());
    }
    std::printf("]}\n");
}

// What the entries read in full were checked for: each opens, decodes and
// reads to its size; only zlib-framed data carries a checksum, which zlib
// checks as it decodes. Stored and LZ-coded data carry none.
std::string WhatWasChecked(const Tally& tally) {
    const uint32_t with = tally.withChecksum;
    const uint32_t without = tally.readInFull - with;
    const std::string unchecked = std::string(without == 1 ? " has" : " have") +
                                  " no checksum, so a changed byte in " +
                                  (without == 1 ? "it" : "them") + " would go unnoticed";
    if (with == 0) {
        return "the " + Counted(without, "entry", "entries") + " read in full " +
               (without == 1 ? "is" : "are") + " stored or LZ-coded and" + unchecked;
    }
    if (without == 0) {
        return "the " + Counted(with, "entry", "entries") + " read in full " +
               (with == 1 ? "is" : "are") + " zlib-framed and passed zlib's checksum";
    }
    return "of the " + Counted(tally.readInFull, "entry", "entries") + " read in full, " +
           std::to_string(with) + " zlib-framed passed zlib's checksum; " +
           std::to_string(without) + " stored or LZ-coded" + unchecked;
}

// Compares the content of `entry` (its check hashed it when read in full)
// with REF's, noting and naming every difference.
void CompareWithReference(const VerifyOptions& options, const CatalogEntry& entry,
                          const EntryCheck& check, ContentReference& reference, Tally& tally,
                          ProgressLine& progress) {
    const ContentReference::Lookup theirs = reference.Find(ComparisonKey(entry.path));
    std::string what;
    if (theirs.state == ContentReference::Lookup::kMissing) {
        what = "not in " + options.against;
    } else if (!check.hashed) {
        return;  // failed or refused here: counted as such, not compared
    } else if (theirs.state == ContentReference::Lookup::kFailed) {
        what = "cannot be compared: in " + options.against + " it " + theirs.why;
    } else {
        ++tally.compared;
        if (theirs.digest == check.digest) {
            return;
        }
        what = "content differs from " + options.against + "'s";
    }
    tally.differences.push_back({&entry, what});
    if (!options.json) {
        progress.Finish();
        Complain(options.archive, entry.path, what);
    }
}

int RunVerify(const VerifyOptions& options) {
    vfs::host::CatchInterrupts();
    ArchiveCatalog catalog;
    if (!OpenArchiveArgument(catalog, options.archive, options.layers)) {
        return kExitUsage;
    }
    ContentReference reference;
    if (!options.against.empty()) {
        if (std::string why = reference.Open(options.against); !why.empty()) {
            Complain(options.against, why);
            return kExitUsage;
        }
    }

    std::map<std::string, uint64_t> sizes;
    uint64_t totalBytes = 0;
    for (const CatalogEntry& entry : catalog.Entries()) {
        sizes.emplace(entry.path, entry.record.ReportedSize());
        totalBytes += entry.record.ReportedSize();
    }
    ProgressLine progress(ChooseProgressStyle(/*quiet=*/options.json, /*verbose=*/false), stderr,
                          vfs::host::TerminalColumns(vfs::host::StandardStream::Error));
    progress.SetTotals(static_cast<uint32_t>(catalog.Entries().size()), totalBytes,
                       std::move(sizes));

    Tally tally;
    std::vector<uint8_t> buffer(kVerifyBlockSize);
    vfs::host::ContentHash hash;
    const bool against = !options.against.empty();
    for (const CatalogEntry& entry : catalog.Entries()) {
        if (vfs::host::InterruptRequested()) {
            progress.Finish();
            const size_t checked =
                tally.readInFull + tally.refused + tally.hidden + tally.failures.size();
            Complain(options.archive, "interrupted: " + Counted(checked, "entry", "entries") +
                                          " of " + std::to_string(catalog.Entries().size()) +
                                          " checked");
            return kExitInterrupted;
        }
        progress.Status(entry.path.c_str());
        EntryCheck check = VerifyEntry(catalog, entry, buffer, against ? &hash : nullptr);
        if (against && check.outcome != EntryCheck::kHidden) {
            CompareWithReference(options, entry, check, reference, tally, progress);
        }
        switch (check.outcome) {
            case EntryCheck::kRefused:
                ++tally.refused;
                continue;
            case EntryCheck::kHidden:
                ++tally.hidden;
                break;
            case EntryCheck::kReadInFull:
                ++tally.readInFull;
                tally.withChecksum +=
                    vfs::WadCodingOf(entry.record.flags) == vfs::WadCoding::ZLIB ? 1 : 0;
                break;
            case EntryCheck::kFailed:
                break;
        }
        if (check.text.empty()) {
            continue;
        }
        const bool failed = check.outcome == EntryCheck::kFailed;
        (failed ? tally.failures : tally.warnings).push_back({&entry, check.text});
        if (!options.json) {
            progress.Finish();
            Complain(options.archive, entry.path, (failed ? "" : "warning: ") + check.text);
        }
    }
    progress.Finish();
    if (against) {
        for (const std::string& path : reference.Unvisited()) {
            tally.missing.emplace_back(path, "missing: " + options.against + " has it");
            if (!options.json) {
                Complain(options.archive, path, tally.missing.back().second);
            }
        }
    }
    const std::vector<vfs::WadRejectedRecord>& rejected = catalog.Rejected();
    uint32_t rejectedCount = catalog.Wad().GetDirectory().RejectedCount();
    const int code = Intact(tally, rejectedCount) ? kExitSuccess : kExitEntriesFailed;
    if (options.json) {
        PrintJson(options, catalog.Entries().size(), tally, rejected, rejectedCount,
                  catalog.Layered());
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
                Counted(catalog.Entries().size(), "entry", "entries").c_str(), tally.readInFull,
                tally.refused, tally.failures.size());
    if (tally.hidden > 0) {
        std::printf(", %u hidden by an earlier entry of the same path", tally.hidden);
    }
    if (rejectedCount > 0) {
        std::printf("; %s rejected", Counted(rejectedCount, "record", "records").c_str());
    }
    std::printf("\n");
    if (against) {
        // Only now, every entry's content compared, may the archive be called
        // intact.
        const size_t differing = tally.differences.size() + tally.missing.size();
        std::printf(
            "%s: %s\n", PrintableText(options.archive).c_str(),
            Intact(tally, rejectedCount)
                ? ("intact: the content of every entry equals " + PrintableText(options.against) +
                   "'s (" + Counted(tally.compared, "entry", "entries") + " compared by SHA-256)")
                      .c_str()
                : ("not intact: " + Counted(differing, "difference", "differences") + " from " +
                   PrintableText(options.against) + " of " +
                   Counted(tally.compared, "entry", "entries") + " compared")
                      .c_str());
    } else if (tally.readInFull > 0) {
        std::printf("%s: %s\n", PrintableText(options.archive).c_str(),
                    WhatWasChecked(tally).c_str());
    }
    std::fflush(stdout);
    return code;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* command = app.add_subcommand(
        "verify",
        "Open and decode every entry, writing nothing, and check that each reads to its size; "
        "zlib-framed entries also pass zlib's checksum, while stored and LZ-coded ones carry "
        "none, so a changed byte in them goes unnoticed. Exit 0 when every entry reads in full");
    AddArchiveArgument(command, options->archive);
    AddLayerOption(command, options->layers,
                   "check every file of the merged tree, each from the layer that serves it");
    command
        ->add_option("--against", options->against,
                     "Also compare every entry's content (SHA-256) with REF: another archive, "
                     "a folder, or a listing written by list --json --hash; every difference "
                     "is named, and only then does verify call the archive intact")
        ->option_text("REF");
    command->add_flag("--json", options->json,
                      "One JSON object with the counts, every failed entry, every warning and "
                      "every rejected record (with --against: every difference), nothing else "
                      "on stdout");
    command->callback([options, &exitCode] { exitCode = RunVerify(*options); });
}

}  // namespace tarnwad::cli
