#include "tools/archive_catalog.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/host_path_check.h"
#include "app/layered_archive.h"
#include "tools/path_pattern.h"
#include "vfs/core/find_data.h"
#include "vfs/core/last_error.h"
#include "vfs/wad/wad_dir_node.h"
#include "vfs/wad/wad_header.h"

namespace tarnwad::cli {

const char* CodingName(uint32_t flags) {
    switch (vfs::WadCodingOf(flags)) {
        case vfs::WadCoding::REFUSED:
            return "refused";
        case vfs::WadCoding::ZLIB:
            return "zlib";
        case vfs::WadCoding::LZ:
            return "lz";
        case vfs::WadCoding::STORED:
            break;
    }
    return "stored";
}

std::string ArchiveCatalog::Open(const std::string& path) {
    auto* opened = new vfs::WadFileSystem();
    archive.Set(opened);  // the handle owns it from here on
    std::string failure;
    if (OpenUserArchive(*opened, path, &failure).Failed()) {
        archive.Reset();
        return failure;
    }
    wad = opened;
    // The tree keeps each file's record offset; the records themselves are
    // read once here, through the file the archive opened, so that entries
    // of the same path keep their own.
    if (wad->ReadRecordTable(&records).Failed()) {
        return vfs::LastError().text;
    }
    fileSize = wad->GetArchiveSize();
    if (wad->GetDirectory().Root() != nullptr) {
        Walk(*wad->GetDirectory().Root(), "");
    }
    std::sort(entries.begin(), entries.end(), [](const CatalogEntry& a, const CatalogEntry& b) {
        return a.recordIndex < b.recordIndex;
    });
    return {};
}

std::string ArchiveCatalog::OpenLayered(const std::string& path, const std::string& name,
                                        const std::vector<std::string>& layers,
                                        std::string* failedLayer) {
    *failedLayer = name;
    if (std::string failure = Open(path); !failure.empty()) {
        return failure;
    }
    vfs::FileSystemRef stack;
    auto* overlay = new vfs::OverlayFileSystem();
    stack.Set(overlay);
    LayerFailure failure{name, "cannot be read"};
    if (overlay->AddLayer(archive, name).Failed() ||
        AddUserLayers(*overlay, layers, &failure).Failed()) {
        *failedLayer = failure.path;
        return failure.why;
    }
    merged = stack;
    // The archive's entries that it still serves keep their place and
    // verdicts; then the files the layers serve, in the merged tree's order.
    std::erase_if(entries, [&](const CatalogEntry& entry) {
        vfs::OverlayVersion serving;
        return overlay->Serving(entry.path.c_str(), &serving).Failed() || serving.layer != 0 ||
               serving.isDirectory;
    });
    WalkLayers(*overlay, "", entries);
    return {};
}

void ArchiveCatalog::WalkLayers(vfs::OverlayFileSystem& overlay, const std::string& directory,
                                std::vector<CatalogEntry>& out) {
    std::vector<std::string> subdirectories;
    std::vector<std::string> files;
    vfs::FindData found;
    const std::string pattern = directory + "*";
    for (vfs::Result r = overlay.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = overlay.FindNext(&found)) {
        ((found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0 ? subdirectories : files)
            .push_back(directory + found.name);
    }
    for (const std::string& file : files) {
        vfs::OverlayVersion serving;
        if (overlay.Serving(file.c_str(), &serving).Failed() || serving.layer == 0) {
            continue;
        }
        CatalogEntry entry;
        entry.path = file;
        entry.layer = serving.layer;
        if (overlay.ReadRecord(file.c_str(), &entry.record).Failed()) {
            // A host folder's file: its bytes as they are.
            entry.record = vfs::WadEntryRecord();
            entry.record.storedSize = serving.size;
            entry.record.unpackedSize = serving.size;
        }
        out.push_back(std::move(entry));
    }
    for (const std::string& subdirectory : subdirectories) {
        WalkLayers(overlay, subdirectory + "\\", out);
    }
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
    std::vector<bool> taken(entries.size(), false);
    for (const std::string& text : patterns) {
        const PathPattern pattern(text);
        bool matched = false;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (pattern.Covers(entries[i].path)) {
                matched = true;
                taken[i] = true;
            }
        }
        if (!matched && unmatched != nullptr) {
            unmatched->push_back(text);
        }
    }
    std::vector<const CatalogEntry*> result;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (taken[i]) {
            result.push_back(&entries[i]);
            if (selection != nullptr) {
                selection->AddFile(entries[i].path);
            }
        }
    }
    return result;
}

std::string RecordSizeNote(const vfs::WadEntryRecord& record) {
    if (record.flags == 0 || vfs::WadCodingOf(record.flags) != vfs::WadCoding::STORED ||
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
