// How the tool tells its user what went wrong: one line on stderr each,
// "tarnwad: " then the file it concerns, then plain words. Names in either
// part may come from an archive or from the disk: whatever in them could
// drive the terminal is escaped. Nothing once a reader has closed the
// tool's output (vfs::host::OutputClosed): then it stops quietly.
#pragma once

#include <cstdio>
#include <string>

#include "tools/display_path.h"
#include "tools/text_format.h"
#include "vfs/host/process_signals.h"

namespace tarnwad::cli {

inline void Complain(const std::string& subject, const std::string& text) {
    // Once a reader has closed the output, the tool stops quietly.
    if (vfs::host::OutputClosed()) {
        return;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "tarnwad: %s: %s\n", PrintableText(subject).c_str(),
                 PrintableText(text).c_str());
}

// About the entry at the library path `entry` of `archive`: the entry's
// path as the host writes paths (DisplayPath).
inline void Complain(const std::string& archive, const std::string& entry,
                     const std::string& text) {
    Complain(archive + ": " + DisplayPath(entry), text);
}

}  // namespace tarnwad::cli
