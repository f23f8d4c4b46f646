#include "tools/diff/compared_tree.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/entry_failure.h"
#include "app/layered_archive.h"
#include "tools/path_argument.h"
#include "vfs/core/find_data.h"
#include "vfs/core/last_error.h"
#include "vfs/host/host_error.h"
#include "vfs/overlay/overlay_file_system.h"

namespace tarnwad::cli {

namespace {

constexpr uint32_t kCompareBlockSize = 1 << 20;

}  // namespace

std::string ComparisonKey(std::string path) {
    for (char& c : path) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return path;
}

std::string ComparedTree::Open(const std::string& path) {
    name = path;
    hostPath = AbsolutePath(path);
    std::error_code error;
    folder = std::filesystem::is_directory(hostPath, error);
    if (!folder) {
        if (std::string failure = catalog.Open(hostPath); !failure.empty()) {
            return failure;
        }
        for (const CatalogEntry& entry : catalog.Entries()) {
            Add({ComparisonKey(entry.path), entry.path, &entry, entry.record});
        }
        return {};
    }
    // A folder is read as a layer is: held, beneath it only, never through
    // a link.
    auto* overlay = new vfs::OverlayFileSystem();
    folderSystem.Set(overlay);
    LayerFailure failure;
    if (AddUserLayers(*overlay, {path}, &failure).Failed()) {
        return failure.why;
    }
    WalkFolder("");
    return {};
}

void ComparedTree::WalkFolder(const std::string& directory) {
    std::vector<std::string> subdirectories;
    vfs::FindData found;
    const std::string pattern = directory + "*";
    for (vfs::Result r = folderSystem.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = folderSystem.FindNext(&found)) {
        const std::string path = directory + found.name;
        if ((found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0) {
            subdirectories.push_back(path);
            continue;
        }
        ComparedEntry entry{ComparisonKey(path), path, nullptr, {}};
        entry.record.storedSize = found.size;
        entry.record.unpackedSize = found.size;
        Add(std::move(entry));
    }
    for (const std::string& subdirectory : subdirectories) {
        WalkFolder(subdirectory + "\\");
    }
}

void ComparedTree::Add(ComparedEntry entry) {
    if (byKey.emplace(entry.key, entries.size()).second) {
        entries.push_back(std::move(entry));
    }
}

const ComparedEntry* ComparedTree::Find(const std::string& key) const {
    auto found = byKey.find(key);
    return found == byKey.end() ? nullptr : &entries[found->second];
}

std::string ComparedTree::Check(const ComparedEntry& entry) {
    if (entry.entry == nullptr || entry.entry->file == nullptr ||
        catalog.Wad().CheckEntry(entry.path.c_str(), *entry.entry->file).Succeeded()) {
        return {};
    }
    return EntryFailureText(vfs::LastError());
}

EntryCheck ComparedTree::Digest(const ComparedEntry& entry, std::vector<uint8_t>& buffer,
                                vfs::host::ContentHash& hash) {
    if (entry.entry != nullptr) {
        return VerifyEntry(catalog, *entry.entry, buffer, &hash);
    }
    return ReadEntryContent(folderSystem, entry.path, buffer, &hash);
}

bool ComparedTree::ReadStored(uint64_t offset, uint8_t* into, uint32_t count, std::string* why) {
    if (!archiveFile.IsOpen() &&
        !archiveFile.Open(hostPath.c_str(), vfs::host::ACCESS_READ, vfs::host::SHARE_READ,
                          vfs::host::Disposition::OpenExisting)) {
        *why = "cannot be opened again" + vfs::host::LastErrorSuffix();
        return false;
    }
    if (!identityChecked) {
        // Another file put in the archive's place since it was opened would
        // be compared in its stead.
        vfs::FileIdentity opened;
        vfs::FileIdentity reopened;
        if (catalog.Wad().GetArchiveIdentity(&opened).Succeeded() &&
            archiveFile.Identity(&reopened) && !(opened == reopened)) {
            *why = "was replaced by another file while being compared";
            return false;
        }
        identityChecked = true;
    }
    // One call per block where the host reads at an offset; else a seek first.
    const bool positioned = vfs::host::File::HasPositionedReads();
    if (!positioned &&
        archiveFile.Seek(static_cast<int64_t>(offset), vfs::host::Origin::Start) < 0) {
        *why = "cannot be read" + vfs::host::LastErrorSuffix();
        return false;
    }
    for (uint32_t done = 0; done < count;) {
        uint32_t n = 0;
        if (!(positioned ? archiveFile.ReadAt(offset + done, into + done, count - done, &n)
                         : archiveFile.Read(into + done, count - done, &n))) {
            *why = "cannot be read" + vfs::host::LastErrorSuffix();
            return false;
        }
        if (n == 0) {
            *why = "ends before an entry's stored bytes: it changed while being compared";
            return false;
        }
        done += n;
    }
    return true;
}

bool ComparedTree::SameStoredBytes(const ComparedEntry& mine, ComparedTree& other,
                                   const ComparedEntry& theirs, std::string* failedSide,
                                   std::string* why) {
    if (mine.record.storedSize != theirs.record.storedSize) {
        return false;
    }
    std::vector<uint8_t> a(std::min(kCompareBlockSize, mine.record.storedSize));
    std::vector<uint8_t> b(a.size());
    for (uint32_t done = 0; done < mine.record.storedSize;) {
        const uint32_t n = std::min<uint32_t>(kCompareBlockSize, mine.record.storedSize - done);
        if (!ReadStored(uint64_t{mine.record.dataOffset} + done, a.data(), n, why)) {
            *failedSide = name;
            return false;
        }
        if (!other.ReadStored(uint64_t{theirs.record.dataOffset} + done, b.data(), n, why)) {
            *failedSide = other.name;
            return false;
        }
        if (std::memcmp(a.data(), b.data(), n) != 0) {
            return false;
        }
        done += n;
    }
    return true;
}

}  // namespace tarnwad::cli
