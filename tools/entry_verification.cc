#include "tools/entry_verification.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "app/entry_failure.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"

namespace tarnwad::cli {

EntryCheck ReadEntryContent(vfs::FileSystemRef& fileSystem, const std::string& path,
                            std::vector<uint8_t>& buffer, vfs::host::ContentHash* hash) {
    EntryCheck check;
    vfs::StreamRef input;
    if (fileSystem.OpenFile(input, path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0)
            .Failed()) {
        check.outcome = EntryCheck::kFailed;
        check.text = EntryFailureText(vfs::LastError());
        return check;
    }
    const int64_t size = input.GetSize64();
    uint64_t total = 0;
    bool hashing = true;
    vfs::ClearLastError();
    for (int32_t n; (n = input.Read(buffer.data(), static_cast<int32_t>(buffer.size()))) > 0;) {
        total += static_cast<uint32_t>(n);
        hashing = hashing && (hash == nullptr || hash->Update(buffer.data(), n));
    }
    if (size < 0 || total != static_cast<uint64_t>(size)) {
        check.outcome = EntryCheck::kFailed;
        check.text =
            ShortReadText(total, size < 0 ? 0 : static_cast<uint64_t>(size), vfs::LastError());
        return check;
    }
    if (hash != nullptr) {
        if (!hashing || !hash->Finish(&check.digest)) {
            check.outcome = EntryCheck::kFailed;
            check.text = "cannot be hashed: the system's SHA-256 failed";
            return check;
        }
        check.hashed = true;
    }
    return check;
}

EntryCheck VerifyEntry(ArchiveCatalog& catalog, const CatalogEntry& entry,
                       std::vector<uint8_t>& buffer, vfs::host::ContentHash* hash) {
    EntryCheck check;
    // What the tree and the record tell, as list tells it: refused, hidden,
    // not found by its path, data outside the file.
    if (entry.file != nullptr &&
        catalog.Wad().CheckEntry(entry.path.c_str(), *entry.file).Failed()) {
        const vfs::ErrorReason& why = vfs::LastError();
        check.outcome = why.code == vfs::ErrorCode::REFUSED  ? EntryCheck::kRefused
                        : why.code == vfs::ErrorCode::HIDDEN ? EntryCheck::kHidden
                                                             : EntryCheck::kFailed;
        check.text = EntryFailureText(why);
        return check;
    }
    check = ReadEntryContent(catalog.FileSystem(), entry.path, buffer, hash);
    if (check.outcome == EntryCheck::kReadInFull) {
        check.text = RecordSizeNote(entry.record);
    }
    return check;
}

std::vector<EntryCheck> HashEntries(ArchiveCatalog& catalog,
                                    const std::vector<const CatalogEntry*>& entries,
                                    unsigned jobs) {
    std::vector<EntryCheck> checks(entries.size());
    std::atomic<size_t> next{0};
    // Each thread takes the next entry not yet taken; entries of one archive
    // open and read on several threads at once.
    auto work = [&] {
        vfs::host::ContentHash hash;
        std::vector<uint8_t> buffer(kVerifyBlockSize);
        for (size_t i; (i = next.fetch_add(1)) < entries.size();) {
            checks[i] = VerifyEntry(catalog, *entries[i], buffer, &hash);
        }
    };
    const size_t threads = std::clamp<size_t>(jobs, 1, std::max<size_t>(entries.size(), 1));
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) {
        helpers.emplace_back(work);
    }
    work();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    return checks;
}

}  // namespace tarnwad::cli
