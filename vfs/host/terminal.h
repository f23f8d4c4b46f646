// Whether a standard stream of the process is a terminal, and how wide it is.
#pragma once

#include <cstdint>

namespace vfs::host {

enum class StandardStream {
    Input,
    Output,
    Error,
};

// Makes the process's standard output carry bytes exactly as they are
// written, for output that is data, not text: Windows otherwise turns every
// "\n" into "\r\n". Nothing to do on POSIX hosts. False when the host
// refuses.
bool SetBinaryOutput();

// True when `stream` is connected to a terminal (not a file or a pipe).
bool IsTerminal(StandardStream stream);

// The number of columns of the terminal on `stream`, or 0 when it is no
// terminal or its width cannot be had.
uint32_t TerminalColumns(StandardStream stream);

}  // namespace vfs::host
