// EditJournal: the one write that switches an archive from its old state to
// its new one, kept beside the archive until the write is on the disk, so
// that an edit cut short halfway through that write is completed by the
// next one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vfs/core/result.h"
#include "vfs/host/held_directory.h"
#include "vfs/host/host_file.h"

namespace vfs {

class EditJournal {
  public:
    // The journal of the archive `archiveName`: "<name>.tarnwad-journal".
    static std::string NameFor(const std::string& archiveName);

    // Writes and flushes the journal of replacing `before` (the bytes the
    // archive holds at `offset`, fewer where it ends) by `after`, and makes
    // its name durable in `directory`. -1 with the reason.
    static Result Write(const host::HeldDirectory& directory, const std::string& archiveName,
                        uint64_t offset, const std::vector<uint8_t>& before,
                        const std::vector<uint8_t>& after);
    // Deletes the journal once the switch is on the disk.
    static Result Remove(const host::HeldDirectory& directory, const std::string& archiveName);

    // Finishes the edit a journal beside the archive tells of, if any: a
    // journal cut short was written before anything of the switch and is
    // dropped; a whole one is written again over the archive unless it is
    // in place already. -1, with the reason, when the archive holds neither
    // the old nor the new bytes there (piece by piece), as after a change
    // by other means: it is left as it is.
    static Result Complete(const host::HeldDirectory& directory, const std::string& archiveName,
                           host::File& archive);
};

}  // namespace vfs
