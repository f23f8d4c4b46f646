// `tarnwad info ARCHIVE`: what the archive holds, in figures.
#include <cinttypes>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "app/counted_text.h"
#include "tools/archive_argument.h"
#include "tools/archive_catalog.h"
#include "tools/archive_option.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/exit_codes.h"
#include "tools/text_format.h"
#include "vfs/wad/wad_header.h"

namespace tarnwad::cli {

namespace {

struct InfoOptions {
    std::string archive;
    bool json = false;
};

int RunInfo(const InfoOptions& options) {
    ArchiveCatalog catalog;
    std::string failure;
    const std::string archivePath = ArchiveHostPath(options.archive, &failure);
    if (archivePath.empty()) {
        Complain(options.archive, failure);
        return kExitUsage;
    }
    failure = catalog.Open(archivePath);
    if (!failure.empty()) {
        Complain(options.archive, failure);
        return kExitUsage;
    }
    const vfs::WadHeader& header = catalog.Wad().GetHeader();

    // Figures over the whole record table, records the tree left out included.
    uint64_t unpacked = 0;
    uint64_t stored = 0;
    uint32_t outside = 0;
    std::map<std::string, uint32_t> perCoding = {
        {"stored", 0}, {"lz", 0}, {"zlib", 0}, {"refused", 0}};
    for (const vfs::WadEntryRecord& record : catalog.Records()) {
        unpacked += record.ReportedSize();
        stored += record.storedSize;
        ++perCoding[CodingName(record.flags)];
        if (uint64_t{record.dataOffset} + record.storedSize > catalog.FileSize()) {
            ++outside;
        }
    }
    const uint32_t rejected = catalog.Wad().GetDirectory().RejectedCount();

    if (options.json) {
        std::printf("{\"archive\":%s,\"format_version\":%" PRIu32 ",\"file_size\":%" PRIu64
                    ",\"entries\":%" PRIu32 ",\"directories\":%" PRIu32
                    ",\"unpacked_size\":%" PRIu64 ",\"stored_size\":%" PRIu64
                    ",\"entries_by_coding\":{\"stored\":%" PRIu32 ",\"lz\":%" PRIu32
                    ",\"zlib\":%" PRIu32 ",\"refused\":%" PRIu32 "},",
                    JsonString(options.archive).c_str(), header.version, catalog.FileSize(),
                    header.entryCount, catalog.DirectoryCount(), unpacked, stored,
                    perCoding["stored"], perCoding["lz"], perCoding["zlib"], perCoding["refused"]);
        if (header.NamesInTable()) {
            std::printf("\"name_table\":{\"size\":%" PRIu32 ",\"offset\":%" PRIu32 "},",
                        header.nameTableSize, header.nameTableOffset);
        } else {
            std::printf("\"name_table\":null,");
        }
        std::printf("\"rejected_records\":%" PRIu32 ",\"entries_outside_file\":%" PRIu32 "}\n",
                    rejected, outside);
        return kExitSuccess;
    }

    std::printf("archive:          %s\n", PrintableText(options.archive).c_str());
    std::printf("format version:   %" PRIu32 "\n", header.version);
    std::printf("file size:        %" PRIu64 " bytes\n", catalog.FileSize());
    std::printf("entries:          %" PRIu32 "\n", header.entryCount);
    std::printf("directories:      %" PRIu32 "\n", catalog.DirectoryCount());
    std::printf("unpacked size:    %" PRIu64 " bytes\n", unpacked);
    std::printf("stored size:      %" PRIu64 " bytes\n", stored);
    for (const char* coding : {"stored", "lz", "zlib", "refused"}) {
        std::printf("%-17s %" PRIu32 "\n", (std::string(coding) + " entries:").c_str(),
                    perCoding[coding]);
    }
    if (header.NamesInTable()) {
        std::printf("name table:       %" PRIu32 " bytes at offset %" PRIu32 "\n",
                    header.nameTableSize, header.nameTableOffset);
    }
    std::printf("rejected records: %" PRIu32 "\n", rejected);
    std::fflush(stdout);
    if (outside > 0) {
        Complain(options.archive,
                 "warning: the data of " + Counted(outside, "entry", "entries") +
                     " lies outside the file, which is damaged or cut short; 'tarnwad verify' "
                     "names them");
    }
    return kExitSuccess;
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info",
        "Show an archive's format version, entry and directory counts, sizes, entries per "
        "coding and name-table size");
    AddArchiveArgument(command, options->archive);
    command->add_flag("--json", options->json,
                      "The same figures as one JSON object, nothing else on stdout");
    command->callback([options, &exitCode] { exitCode = RunInfo(*options); });
}

}  // namespace tarnwad::cli
