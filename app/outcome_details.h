// OutcomeDetails: the secondary text of the unpack command's message box.
#pragma once

#include <cstddef>
#include <string>

#include "app/unpack_outcome.h"

namespace tarnwad {

// The most failed entries and rejected records the details name one by one;
// the rest are counted ("and 3 more").
inline constexpr size_t kMaxNamedInDetails = 5;

// What the message box says below its main text, in plain words, the same on
// every platform: on success the output directory; on failure why: the file
// is not one of the game's archives (naming the entries looked for), it
// cannot be opened and why (and what to do when its folder cannot be written
// to), which entries failed, which records the archive loader left out. Paths are shown with the
// host's separator; control bytes are written as \xNN. Other bytes are kept as they are, for the
// platform to show (names need not be UTF-8). Lines are separated by "\n".
std::string OutcomeDetails(const UnpackOutcome& outcome);

// What to do when the archive's folder cannot be written to, so that the
// output directory cannot be made beside the archive.
std::string ArchiveFolderNotWritableAdvice();

}  // namespace tarnwad
