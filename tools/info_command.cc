// `tarnwad info ARCHIVE`: what the archive holds, in figures.
#include <cinttypes>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "tools/archive_catalog.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/exit_codes.h"
#include "tools/path_argument.h"
#include "tools/text_format.h"
#include "vfs/wad/wad_header.h"

namespace tarnwad::cli {

namespace {

struct InfoOptions {
    std::string archive;
};

int RunInfo(const InfoOptions& options) {
    ArchiveCatalog catalog;
    std::string failure = catalog.Open(AbsolutePath(options.archive));
    if (!failure.empty()) {
        Complain(options.archive, failure);
        return kExitUsage;
    }
    const vfs::WadHeader& header = catalog.Wad().GetHeader();

    // Figures over the whole record table, records the tree left out included.
    uint64_t unpacked = 0;
    uint64_t stored = 0;
    std::map<std::string, uint32_t> perCoding = {
        {"stored", 0}, {"lz", 0}, {"zlib", 0}, {"refused", 0}};
    for (const vfs::WadEntryRecord& record : catalog.Records()) {
        unpacked += record.ReportedSize();
        stored += record.storedSize;
        ++perCoding[CodingName(record.flags)];
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
    uint32_t rejected = catalog.Wad().GetDirectory().RejectedCount();
    std::printf("rejected records: %" PRIu32 "\n", rejected);
    return kExitSuccess;
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand(
        "info",
        "Show an archive's format version, entry and directory counts, sizes, entries per "
        "coding and name-table size");
    command->add_option("ARCHIVE", options->archive, "The .wad file")->required();
    command->callback([options, &exitCode] { exitCode = RunInfo(*options); });
}

}  // namespace tarnwad::cli
