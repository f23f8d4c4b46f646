// Whether a standard stream of the process is a terminal, and how wide it is.
#pragma once

#include <cstdint>

namespace vfs::host {

enum class StandardStream {
    Input,
    Output,
    Error,
};

// True when `stream` is connected to a terminal (not a file or a pipe).
bool IsTerminal(StandardStream stream);

// The number of columns of the terminal on `stream`, or 0 when it is no
// terminal or its width cannot be had.
uint32_t TerminalColumns(StandardStream stream);

}  // namespace vfs::host
