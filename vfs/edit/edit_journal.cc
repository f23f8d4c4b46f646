#include "vfs/edit/edit_journal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "vfs/core/host_failure.h"
#include "vfs/core/last_error.h"
#include "vfs/core/little_endian.h"
#include "vfs/edit/archive_file_io.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_error.h"

namespace vfs {

namespace {

// "TWJ1", the offset (64-bit), the new bytes' and the old bytes' counts,
// the new bytes, the old bytes, then the CRC-32 of all that comes before.
constexpr uint8_t kMagic[4] = {'T', 'W', 'J', '1'};
constexpr size_t kHead = 4 + 8 + 4 + 4;
// A write torn by a crash leaves whole sectors of the old or the new bytes.
constexpr uint64_t kSector = 512;

uint32_t Checksum(const uint8_t* bytes, size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        const auto piece = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, bytes, piece);
        bytes += piece;
        size -= piece;
    }
    return static_cast<uint32_t>(crc);
}

Result Unfinished(const std::string& journalName) {
    SetLastError(ErrorCode::DAMAGED,
                 "was changed since an edit of it was cut short: its journal \"" + journalName +
                     "\" does not fit it; remove the journal to edit the archive as it is");
    return Result::Fail();
}

}  // namespace

std::string EditJournal::NameFor(const std::string& archiveName) {
    return archiveName + ".tarnwad-journal";
}

Result EditJournal::Write(const host::HeldDirectory& directory, const std::string& archiveName,
                          uint64_t offset, const std::vector<uint8_t>& before,
                          const std::vector<uint8_t>& after) {
    std::vector<uint8_t> journal(kHead + after.size() + before.size() + 4);
    std::memcpy(journal.data(), kMagic, 4);
    StoreLe32(journal.data() + 4, static_cast<uint32_t>(offset));
    StoreLe32(journal.data() + 8, static_cast<uint32_t>(offset >> 32));
    StoreLe32(journal.data() + 12, static_cast<uint32_t>(after.size()));
    StoreLe32(journal.data() + 16, static_cast<uint32_t>(before.size()));
    std::copy(after.begin(), after.end(), journal.begin() + kHead);
    std::copy(before.begin(), before.end(), journal.begin() + kHead + after.size());
    StoreLe32(journal.data() + journal.size() - 4, Checksum(journal.data(), journal.size() - 4));

    const std::string name = NameFor(archiveName);
    host::File file;
    host::ClearLastError();
    if (!file.OpenIn(directory, name.c_str(), host::ACCESS_WRITE, 0,
                     host::Disposition::CreateAlways)) {
        return FailWithHostReason(("cannot keep its journal \"" + name + "\"").c_str());
    }
    if (WriteFileAt(file, 0, journal.data(), journal.size()).Failed() || FlushFile(file).Failed()) {
        return Result::Fail();
    }
    file.Close();
    host::ClearLastError();
    if (!directory.Flush()) {
        return FailWithHostReason("cannot write its directory to the disk");
    }
    return Result::Ok();
}

Result EditJournal::Remove(const host::HeldDirectory& directory, const std::string& archiveName) {
    const std::string name = NameFor(archiveName);
    host::ClearLastError();
    if (!directory.RemoveFile(name.c_str())) {
        return FailWithHostReason(("cannot remove its journal \"" + name + "\"").c_str());
    }
    // Not flushed: a journal that outlives a crash finds the switch in
    // place and is removed again.
    return Result::Ok();
}

Result EditJournal::Complete(const host::HeldDirectory& directory, const std::string& archiveName,
                             host::File& archive) {
    const std::string name = NameFor(archiveName);
    if (directory.Attributes(name.c_str()) == host::INVALID_ATTRIBUTES) {
        return Result::Ok();
    }
    host::File file;
    host::ClearLastError();
    if (!file.OpenIn(directory, name.c_str(), host::ACCESS_READ, host::SHARE_READ,
                     host::Disposition::OpenExisting)) {
        return FailWithHostReason(("has a journal \"" + name + "\" that cannot be opened").c_str());
    }
    const int64_t size = file.GetSize();
    std::vector<uint8_t> journal(size > 0 ? static_cast<size_t>(size) : 0);
    if (ReadFileAt(file, 0, journal.data(), journal.size()).Failed()) {
        return Result::Fail();
    }
    file.Close();
    const auto whole = [&]() {
        if (journal.size() < kHead + 4 || std::memcmp(journal.data(), kMagic, 4) != 0) {
            return false;
        }
        const uint64_t counted =
            kHead + uint64_t{LoadLe32(journal.data() + 12)} + LoadLe32(journal.data() + 16) + 4;
        return counted == journal.size() && LoadLe32(journal.data() + journal.size() - 4) ==
                                                Checksum(journal.data(), journal.size() - 4);
    };
    // A journal cut short: the switch never began.
    if (!whole()) {
        return Remove(directory, archiveName);
    }
    const uint64_t offset =
        LoadLe32(journal.data() + 4) | (uint64_t{LoadLe32(journal.data() + 8)} << 32);
    const uint32_t afterSize = LoadLe32(journal.data() + 12);
    const uint32_t beforeSize = LoadLe32(journal.data() + 16);
    const uint8_t* after = journal.data() + kHead;
    const uint8_t* before = after + afterSize;

    std::vector<uint8_t> now(afterSize);
    const int64_t got = ReadFileUpTo(archive, offset, now.data(), now.size());
    if (got < 0) {
        return Result::Fail();
    }
    now.resize(static_cast<size_t>(got));
    if (now.size() == afterSize && std::memcmp(now.data(), after, afterSize) == 0) {
        return Remove(directory, archiveName);
    }
    // Sector by sector, each must hold the old bytes or the new ones.
    for (uint64_t at = offset; at < offset + afterSize;) {
        const uint64_t stop = std::min(offset + afterSize, (at / kSector + 1) * kSector);
        const size_t from = static_cast<size_t>(at - offset);
        const size_t count = static_cast<size_t>(stop - at);
        const size_t present = now.size() > from ? std::min(count, now.size() - from) : 0;
        const size_t old = beforeSize > from ? std::min<size_t>(count, beforeSize - from) : 0;
        const bool isNew = std::memcmp(now.data() + from, after + from, present) == 0;
        const bool isOld =
            present == old && std::memcmp(now.data() + from, before + from, old) == 0;
        if (!isNew && !isOld) {
            return Unfinished(name);
        }
        at = stop;
    }
    if (WriteFileAt(archive, offset, after, afterSize).Failed() || FlushFile(archive).Failed()) {
        return Result::Fail();
    }
    return Remove(directory, archiveName);
}

}  // namespace vfs
