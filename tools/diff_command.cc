// `tarnwad diff A.wad B.wad|FOLDER`: which entries were added, removed or
// changed in content, and which changed only in how they are kept.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "app/counted_text.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/diff/compared_tree.h"
#include "tools/diff/tree_comparison.h"
#include "tools/display_path.h"
#include "tools/exit_codes.h"
#include "tools/text_format.h"

namespace tarnwad::cli {

namespace {

struct DiffOptions {
    std::string first;
    std::string second;
    bool json = false;
};

std::string FlagsText(uint32_t flags) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", flags);
    return text;
}

// One side of a difference in JSON: null where the entry is missing; a
// folder's file has only its size.
std::string SideJson(const ComparedEntry* entry) {
    if (entry == nullptr) {
        return "null";
    }
    if (entry->entry == nullptr) {
        return "{\"size\":" + std::to_string(entry->record.storedSize) + "}";
    }
    const vfs::WadEntryRecord& record = entry->record;
    return "{\"size\":" + std::to_string(record.ReportedSize()) +
           ",\"stored_size\":" + std::to_string(record.storedSize) + ",\"coding\":\"" +
           CodingName(record.flags) + "\",\"flags\":" + std::to_string(record.flags) +
           ",\"data_offset\":" + std::to_string(record.dataOffset) + "}";
}

// What changed, after the path in the text form.
std::string DetailText(const Difference& difference) {
    const vfs::WadEntryRecord* a = difference.first ? &difference.first->record : nullptr;
    const vfs::WadEntryRecord* b = difference.second ? &difference.second->record : nullptr;
    switch (difference.change) {
        case Change::kAdded:
            return " (" + Counted(b->ReportedSize(), "byte", "bytes") + ")";
        case Change::kRemoved:
            return " (" + Counted(a->ReportedSize(), "byte", "bytes") + ")";
        case Change::kContent:
            return " (" + Counted(a->ReportedSize(), "byte", "bytes") + " -> " +
                   Counted(b->ReportedSize(), "byte", "bytes") + ")";
        case Change::kCoding:
            return std::string(" (") + CodingName(a->flags) + ", " +
                   Counted(a->storedSize, "byte", "bytes") + " stored -> " + CodingName(b->flags) +
                   ", " + Counted(b->storedSize, "byte", "bytes") + " stored)";
        case Change::kFlags:
            return " (flags " + FlagsText(a->flags) + " -> " + FlagsText(b->flags) + ")";
        case Change::kPlace:
            break;
    }
    return " (at " + std::to_string(a->dataOffset) + " -> " + std::to_string(b->dataOffset) + ")";
}

int RunDiff(const DiffOptions& options) {
    ComparedTree first;
    ComparedTree second;
    if (std::string why = first.Open(options.first); !why.empty()) {
        Complain(options.first, why);
        return kExitUsage;
    }
    if (std::string why = second.Open(options.second); !why.empty()) {
        Complain(options.second, why);
        return kExitUsage;
    }
    const Comparison comparison = CompareTrees(first, second);

    size_t counts[6] = {};
    for (const Difference& difference : comparison.differences) {
        const std::string& path = (difference.first ? difference.first : difference.second)->path;
        ++counts[static_cast<int>(difference.change)];
        if (options.json) {
            std::printf(
                "{\"path\":%s,\"path_bytes\":\"%s\",\"change\":\"%s\",\"first\":%s,"
                "\"second\":%s}\n",
                JsonString(DisplayPath(path)).c_str(), HexBytes(path).c_str(),
                ChangeName(difference.change), SideJson(difference.first).c_str(),
                SideJson(difference.second).c_str());
        } else {
            std::printf("%-8s %s%s\n", ChangeName(difference.change), ShownPath(path).c_str(),
                        DetailText(difference).c_str());
        }
    }
    std::fflush(stdout);
    for (const Trouble& trouble : comparison.troubles) {
        Complain(trouble.side, trouble.path, trouble.why);
    }
    const size_t contentChanges = counts[static_cast<int>(Change::kAdded)] +
                                  counts[static_cast<int>(Change::kRemoved)] +
                                  counts[static_cast<int>(Change::kContent)];
    if (!options.json) {
        std::printf(
            "%s and %s: %s in both; %zu added, %zu removed, %zu changed in content, %zu "
            "changed only in coding, flags or place",
            PrintableText(options.first).c_str(), PrintableText(options.second).c_str(),
            Counted(comparison.compared, "path", "paths").c_str(),
            counts[static_cast<int>(Change::kAdded)], counts[static_cast<int>(Change::kRemoved)],
            counts[static_cast<int>(Change::kContent)],
            comparison.differences.size() - contentChanges);
        if (!comparison.troubles.empty()) {
            std::printf(", %s not compared",
                        Counted(comparison.troubles.size(), "entry", "entries").c_str());
        }
        std::printf(": the contents %s\n", !comparison.troubles.empty() ? "cannot all be compared"
                                           : contentChanges > 0         ? "differ"
                                                                        : "are equal");
        std::fflush(stdout);
    }
    if (!comparison.troubles.empty()) {
        return kExitUsage;
    }
    return contentChanges > 0 ? kExitEntriesFailed : kExitSuccess;
}

}  // namespace

void AddDiffCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DiffOptions>();
    CLI::App* command = app.add_subcommand(
        "diff",
        "Compare two archives (or an archive and a folder) by content: entries added, removed, "
        "changed in content, or changed only in coding, flags or place. Exit 0 when the contents "
        "are equal, 1 when they differ, 2 when an entry could not be compared");
    command->add_option("A", options->first, "The first .wad file")->required();
    command->add_option("B", options->second, "The second .wad file, or a folder")->required();
    command->add_flag("--json", options->json,
                      "One JSON object per difference and line (path, change, first, second), "
                      "nothing else on stdout");
    command->callback([options, &exitCode] { exitCode = RunDiff(*options); });
}

}  // namespace tarnwad::cli
