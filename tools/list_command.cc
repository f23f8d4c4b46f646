// `tarnwad list ARCHIVE [PATTERN...]`: one line per entry, or JSON Lines.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/entry_failure.h"
#include "tools/archive_argument.h"
#include "tools/archive_catalog.h"
#include "tools/archive_option.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/entry_verification.h"
#include "tools/exclude_filter.h"
#include "tools/exclude_option.h"
#include "tools/exit_codes.h"
#include "tools/layer_option.h"
#include "tools/text_format.h"
#include "tools/work_options.h"
#include "vfs/core/last_error.h"
#include "vfs/wad/wad_rejected_record.h"

namespace tarnwad::cli {

namespace {

struct ListOptions {
    std::string archive;
    std::vector<std::string> patterns;
    std::vector<std::string> excludes;
    std::vector<std::string> layers;
    bool json = false;
    bool names = false;
    bool hash = false;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
};

// An entry's SHA-256 in hex, or empty when it was not read in full.
std::string DigestText(const EntryCheck* check) {
    return check != nullptr && check->hashed ? vfs::host::DigestHex(check->digest) : "";
}

// With layers, "layer" tells which serves the entry; only the archive's own
// entries (layer 0) have a record index.
// With --hash, "sha256" holds the content's digest, null when it was not
// read in full.
void PrintJsonLine(const CatalogEntry& entry, bool layered, const EntryCheck* check) {
    const std::string index =
        layered && entry.layer != 0 ? "null" : std::to_string(entry.recordIndex);
    const std::string layer = layered ? ",\"layer\":" + std::to_string(entry.layer) : "";
    const std::string digest = DigestText(check);
    const std::string sha256 =
        check == nullptr ? "" : ",\"sha256\":" + (digest.empty() ? "null" : "\"" + digest + "\"");
    std::printf("{\"path\":%s,\"path_bytes\":\"%s\",\"size\":%" PRIu32 ",\"stored_size\":%" PRIu32
                ",\"coding\":\"%s\",\"flags\":%" PRIu32 ",\"record_index\":%s%s%s}\n",
                JsonString(DisplayPath(entry.path)).c_str(), HexBytes(entry.path).c_str(),
                entry.record.ReportedSize(), entry.record.storedSize,
                CodingName(entry.record.flags), entry.record.flags, index.c_str(), layer.c_str(),
                sha256.c_str());
}

// With layers, a column tells which layer serves each entry (0: the
// archive, then in the order given).
// With --hash (`checks` not empty), a column of each entry's SHA-256 ("-"
// for one not read in full) before the path.
void PrintTable(const std::vector<const CatalogEntry*>& entries, bool layered,
                const std::vector<EntryCheck>& checks) {
    const bool hashed = !checks.empty();
    const std::string hashRule = hashed ? std::string(64, '-') + "  " : "";
    const std::string rule = std::string("----------  ----------  -------  ") +
                             (layered ? "-----  " : "") + hashRule + "----";
    std::printf("%10s  %10s  %-7s  %s%s%s\n%s\n", "size", "stored", "coding",
                layered ? "layer  " : "", hashed ? ("sha256" + std::string(60, ' ')).c_str() : "",
                "path", rule.c_str());
    uint64_t size = 0;
    uint64_t stored = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const CatalogEntry* entry = entries[i];
        const std::string layer = layered ? std::to_string(entry->layer) : "";
        std::string digest = hashed ? DigestText(&checks[i]) : "";
        if (hashed) {
            digest.resize(64, ' ');
            digest = (digest[0] == ' ' ? "-" + digest.substr(1) : digest) + "  ";
        }
        std::printf("%10" PRIu32 "  %10" PRIu32 "  %-7s  %s%s%s%s\n", entry->record.ReportedSize(),
                    entry->record.storedSize, CodingName(entry->record.flags),
                    layered ? std::string(5 - std::min<size_t>(5, layer.size()), ' ').c_str() : "",
                    layered ? (layer + "  ").c_str() : "", digest.c_str(),
                    ShownPath(entry->path).c_str());
        size += entry->record.ReportedSize();
        stored += entry->record.storedSize;
    }
    std::printf("%s\n%10" PRIu64 "  %10" PRIu64 "  %-7s  %s%s%zu %s\n", rule.c_str(), size, stored,
                "", layered ? "       " : "", std::string(hashRule.size(), ' ').c_str(),
                entries.size(), entries.size() == 1 ? "entry" : "entries");
}

int RunList(const ListOptions& options) {
    ArchiveCatalog catalog;
    if (!OpenArchiveArgument(catalog, options.archive, options.layers)) {
        return kExitUsage;
    }
    const bool layered = catalog.Layered();

    std::vector<const CatalogEntry*> entries;
    std::vector<std::string> unmatched;
    if (options.patterns.empty()) {
        for (const CatalogEntry& entry : catalog.Entries()) {
            entries.push_back(&entry);
        }
    } else {
        entries = catalog.Select(options.patterns, &unmatched);
    }
    const ExcludeFilter exclusions(options.excludes);
    std::erase_if(entries, [&](const CatalogEntry* entry) {
        return exclusions.ExcludesWithParents(entry->path);
    });

    const std::vector<EntryCheck> checks =
        options.hash ? HashEntries(catalog, entries, options.jobs) : std::vector<EntryCheck>();
    if (options.json) {
        for (size_t i = 0; i < entries.size(); ++i) {
            PrintJsonLine(*entries[i], layered, options.hash ? &checks[i] : nullptr);
        }
    } else if (options.names) {
        for (const CatalogEntry* entry : entries) {
            std::printf("%s\n", ShownPath(entry->path).c_str());
        }
    } else {
        PrintTable(entries, layered, checks);
    }
    std::fflush(stdout);

    int exitCode = kExitSuccess;
    // Listed all the same: the record is there. What its record and the tree
    // tell of it is told as unpack tells it: an entry that cannot be opened
    // fails; one refused by the archive is in the table as such; a later
    // record of a path, and a size its record gives but its bytes are not,
    // are warnings.
    for (size_t i = 0; i < entries.size(); ++i) {
        const CatalogEntry* entry = entries[i];
        if (entry->file != nullptr &&
            catalog.Wad().CheckEntry(entry->path.c_str(), *entry->file).Failed()) {
            const vfs::ErrorReason& why = vfs::LastError();
            if (why.code == vfs::ErrorCode::HIDDEN) {
                Complain(options.archive, entry->path, "warning: " + EntryFailureText(why));
            } else if (why.code != vfs::ErrorCode::REFUSED) {
                Complain(options.archive, entry->path, EntryFailureText(why));
                exitCode = kExitEntriesFailed;
            }
        } else if (options.hash && checks[i].outcome == EntryCheck::kFailed) {
            // Found by opening and decoding it, which --hash does.
            Complain(options.archive, entry->path, checks[i].text);
            exitCode = kExitEntriesFailed;
        } else if (std::string note = RecordSizeNote(entry->record); !note.empty()) {
            Complain(options.archive, entry->path, "warning: " + note);
        }
    }
    for (const std::string& pattern : unmatched) {
        Complain(options.archive, "no entry matches " + pattern);
        exitCode = kExitEntriesFailed;
    }
    // Records the archive could not place in its tree are in no listing.
    for (const vfs::WadRejectedRecord& record : catalog.Rejected()) {
        Complain(options.archive,
                 "record " + std::to_string(record.index) + " (\"" + PrintableText(record.rawPath) +
                     "\") is not listed: " + vfs::WadRejectReasonText(record.reason));
        exitCode = kExitEntriesFailed;
    }
    uint32_t unlisted = catalog.Wad().GetDirectory().RejectedCount();
    if (unlisted > catalog.Rejected().size()) {
        Complain(options.archive, std::to_string(unlisted) + " records in all are not listed");
    }
    return exitCode;
}

}  // namespace

void AddListCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* command = app.add_subcommand(
        "list", "List the entries of an archive: size, stored size, coding and path");
    AddArchiveArgument(command, options->archive);
    command->add_option("PATTERN", options->patterns,
                        "Only entries matching these patterns: a name at any depth, a path from "
                        "the root; \"*\", \"?\" within a name, \"**\" across directories; a "
                        "directory selects what lies beneath it");
    AddExcludeOption(command, options->excludes, "entries", "their path");
    AddLayerOption(command, options->layers,
                   "list the merged tree, each file from the layer that serves it");
    CLI::Option* json =
        command->add_flag("--json", options->json,
                          "One JSON object per entry and line (path, size, stored_size, coding, "
                          "flags, record_index; with --layer, layer), nothing else on stdout");
    CLI::Option* hash =
        command->add_flag("--hash", options->hash,
                          "Add the SHA-256 of each entry's decoded content (what sha256sum prints "
                          "for the unpacked file; \"sha256\" in JSON), reading every entry");
    command
        ->add_flag("-1,--names", options->names,
                   "Print the paths alone, one per line, with no heading and no totals")
        ->excludes(json)
        ->excludes(hash);
    AddJobsOption(command, options->jobs,
                  "With --hash, read entries on this many threads (default: the number of "
                  "cores); the listing keeps its order");
    command->callback([options, &exitCode] { exitCode = RunList(*options); });
}

}  // namespace tarnwad::cli
