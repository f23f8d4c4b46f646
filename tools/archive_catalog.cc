#include "tools/archive_catalog.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/host_path_check.h"
#include "vfs/core/find_data.h"
#include "vfs/core/open_flags.h"
#include "vfs/host/host_error.h"
#include "vfs/native/path_stream_ref.h"
#include "vfs/wad/wad_dir_node.h"
#include "vfs/wad/wad_header.h"

namespace tarnwad::cli {

const char* CodingName(uint32_t flags) {
    if ((flags & vfs::WAD_FLAG_REFUSED) != 0) {
        return "refused";
    }
    if ((flags & vfs::WAD_FLAG_ZLIB) != 0) {
        return "zlib";
    }
    if ((flags & vfs::WAD_FLAG_LZ) != 0) {
        return "lz";
    }
    return "stored";
}

namespace {

// Why the file at `path`, which exists, did not open as an archive, from
// what its first bytes say.
std::string WhyNotAnArchive(const std::string& path) {
    vfs::PathStreamRef file;
    vfs::host::ClearLastError();
    if (file.OpenPath(path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ).Failed()) {
        const std::string why = vfs::host::LastErrorText();
        return "cannot be read" + (why.empty() ? std::string() : ": " + why);
    }
    uint8_t bytes[vfs::WAD_HEADER_SIZE];
    const int32_t got = file.Read(bytes, sizeof(bytes));
    if (got < static_cast<int32_t>(vfs::WAD_HEADER_SIZE)) {
        return "is too short to be a WAD archive (" + std::to_string(std::max(got, 0)) +
               " bytes, a header takes " + std::to_string(vfs::WAD_HEADER_SIZE) + ")";
    }
    const vfs::WadHeader header = vfs::WadHeader::Decode(bytes);
    if (!header.HasMagic()) {
        return "is not a WAD archive (it does not begin with \"QARC\")";
    }
    if (header.version > vfs::WAD_MAX_VERSION) {
        return "is a WAD archive of format version " + std::to_string(header.version) +
               ", which this tool does not know (it reads versions 0 to " +
               std::to_string(vfs::WAD_MAX_VERSION) + ")";
    }
    if (const int64_t size = file.GetSize64();
        size > static_cast<int64_t>(vfs::WAD_MAX_ARCHIVE_SIZE)) {
        return "is too large to be a WAD archive: an archive holds at most 4 GiB - 1 bytes, and "
               "this file has " +
               std::to_string(size) + " bytes";
    }
    return "is a damaged WAD archive: its record table or name table lies outside the file";
}

}  // namespace

std::string OpenArchive(vfs::FileSystemRef& archive, const std::string& path) {
    std::string unusable;
    if (OpenUserArchive(archive, path, &unusable).Succeeded()) {
        return {};
    }
    if (!unusable.empty()) {
        return unusable;
    }
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        return "no such file";
    }
    if (std::filesystem::is_directory(status)) {
        return "is a directory, not a WAD archive";
    }
    return WhyNotAnArchive(path);
}

std::string ArchiveCatalog::Open(const std::string& path) {
    std::string failure = OpenArchive(archive, path);
    if (!failure.empty()) {
        return failure;
    }
    wad = dynamic_cast<vfs::WadFileSystem*>(archive.Get());
    if (wad == nullptr) {
        return "cannot be opened as a WAD archive";
    }
    failure = ReadRecordTable(path);
    if (!failure.empty()) {
        return failure;
    }
    if (wad->GetDirectory().Root() != nullptr) {
        Walk(*wad->GetDirectory().Root(), "");
    }
    std::sort(entries.begin(), entries.end(), [](const CatalogEntry& a, const CatalogEntry& b) {
        return a.recordIndex < b.recordIndex;
    });
    return {};
}

std::string ArchiveCatalog::ReadRecordTable(const std::string& path) {
    // The tree keeps each file's record offset; the records themselves are
    // read once here, so that entries of the same path keep their own.
    vfs::PathStreamRef file;
    if (file.OpenPath(path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ).Failed()) {
        return "cannot be read";
    }
    int64_t size = file.GetSize64();
    fileSize = size < 0 ? 0 : static_cast<uint64_t>(size);
    uint32_t count = wad->GetHeader().entryCount;
    // The archive opened, so its record table lies within the file.
    std::vector<uint8_t> table(static_cast<size_t>(count) * vfs::WAD_RECORD_SIZE);
    int32_t start = static_cast<int32_t>(vfs::WAD_HEADER_SIZE);
    if (file.Seek(start, vfs::SEEK_FROM_START) != start) {
        return "cannot be read";
    }
    size_t done = 0;
    while (done < table.size()) {
        size_t chunk = std::min<size_t>(table.size() - done, 1u << 20);
        int32_t n = file.Read(table.data() + done, static_cast<int32_t>(chunk));
        if (n <= 0) {
            return "its record table cannot be read";
        }
        done += static_cast<size_t>(n);
    }
    records.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        records.push_back(vfs::WadEntryRecord::Decode(table.data() + i * vfs::WAD_RECORD_SIZE));
    }
    return {};
}

void ArchiveCatalog::Walk(const vfs::WadDirNode& directory, const std::string& prefix) {
    for (const vfs::WadDirNode* sub = directory.subdirectories.head; sub != nullptr;
         sub = sub->next) {
        ++directoryCount;
        Walk(*sub, prefix + sub->name.c_str() + "\\");
    }
    for (const vfs::WadFileEntry* file = directory.files.head; file != nullptr; file = file->next) {
        CatalogEntry entry;
        entry.path = prefix + file->name.c_str();
        entry.recordIndex = (file->recordOffset - vfs::WAD_HEADER_SIZE) / vfs::WAD_RECORD_SIZE;
        entry.file = file;
        if (entry.recordIndex < records.size()) {
            entry.record = records[entry.recordIndex];
        }
        entries.push_back(std::move(entry));
    }
}

std::vector<const CatalogEntry*> ArchiveCatalog::Select(const std::vector<std::string>& patterns,
                                                        std::vector<std::string>* unmatched,
                                                        PathSelection* selection) {
    PathSelection local;
    PathSelection& chosen = selection != nullptr ? *selection : local;
    for (const std::string& pattern : patterns) {
        bool matched = false;
        vfs::FindData found;
        for (vfs::Result r = archive.FindFirst(pattern.c_str(), &found); r.Succeeded();
             r = archive.FindNext(&found)) {
            matched = true;
            if ((found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0) {
                chosen.AddDirectory(found.path);
            } else {
                chosen.AddFile(found.path);
            }
        }
        if (!matched && unmatched != nullptr) {
            unmatched->push_back(pattern);
        }
    }
    std::vector<const CatalogEntry*> result;
    for (const CatalogEntry& entry : entries) {
        if (chosen.TakesFile(entry.path.c_str())) {
            result.push_back(&entry);
        }
    }
    return result;
}

std::string RecordSizeNote(const vfs::WadEntryRecord& record) {
    const uint32_t coding = vfs::WAD_FLAG_REFUSED | vfs::WAD_FLAG_ZLIB | vfs::WAD_FLAG_LZ;
    if (record.flags == 0 || (record.flags & coding) != 0 ||
        record.unpackedSize == record.storedSize) {
        return {};
    }
    char flags[16];
    std::snprintf(flags, sizeof(flags), "0x%X", record.flags);
    return "its record gives its size as " + std::to_string(record.unpackedSize) +
           " bytes, but its flags (" + flags + ") name no coding, so it is its " +
           std::to_string(record.storedSize) + " stored bytes";
}

}  // namespace tarnwad::cli
