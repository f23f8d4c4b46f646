#include "vfs/host/terminal.h"

#include "vfs/host/windows_api.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace vfs::host {

namespace {

HANDLE StandardHandle(StandardStream stream) {
    switch (stream) {
        case StandardStream::Input:
            return GetStdHandle(STD_INPUT_HANDLE);
        case StandardStream::Output:
            return GetStdHandle(STD_OUTPUT_HANDLE);
        case StandardStream::Error:
            return GetStdHandle(STD_ERROR_HANDLE);
    }
    return INVALID_HANDLE_VALUE;
}

// Only a console has a console mode: a file, a pipe or a missing stream
// (a null handle) has none.
bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

}  // namespace

bool SetBinaryOutput() {
    std::fflush(stdout);
    return _setmode(_fileno(stdout), _O_BINARY) != -1;
}

bool IsTerminal(StandardStream stream) {
    return IsConsole(StandardHandle(stream));
}

uint32_t TerminalColumns(StandardStream stream) {
    HANDLE handle = StandardHandle(stream);
    if (!IsConsole(handle)) {
        return 0;
    }
    // The width of the window onto the screen buffer, not of the buffer
    // itself, which may be far wider. A console input handle has no screen
    // buffer and answers 0.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(handle, &info)) {
        return 0;
    }
    int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<uint32_t>(columns) : 0;
}

}  // namespace vfs::host
