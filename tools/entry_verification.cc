#include "tools/entry_verification.h"

#include "app/entry_failure.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"

namespace tarnwad::cli {

EntryCheck VerifyEntry(ArchiveCatalog& catalog, const CatalogEntry& entry,
                       std::vector<uint8_t>& buffer) {
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
    vfs::StreamRef input;
    if (catalog.FileSystem()
            .OpenFile(input, entry.path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0)
            .Failed()) {
        check.outcome = EntryCheck::kFailed;
        check.text = EntryFailureText(vfs::LastError());
        return check;
    }
    const int64_t size = input.GetSize64();
    uint64_t total = 0;
    vfs::ClearLastError();
    for (int32_t n; (n = input.Read(buffer.data(), kVerifyBlockSize)) > 0;) {
        total += static_cast<uint32_t>(n);
    }
    if (size < 0 || total != static_cast<uint64_t>(size)) {
        check.outcome = EntryCheck::kFailed;
        check.text =
            ShortReadText(total, size < 0 ? 0 : static_cast<uint64_t>(size), vfs::LastError());
        return check;
    }
    check.text = RecordSizeNote(entry.record);
    return check;
}

}  // namespace tarnwad::cli
