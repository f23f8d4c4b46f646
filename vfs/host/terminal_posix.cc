#include "vfs/host/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace vfs::host {

namespace {

int Descriptor(StandardStream stream) {
    switch (stream) {
        case StandardStream::Input:
            return STDIN_FILENO;
        case StandardStream::Output:
            return STDOUT_FILENO;
        case StandardStream::Error:
            return STDERR_FILENO;
    }
    return -1;
}

}  // namespace

bool SetBinaryOutput() {
    return true;
}

bool IsTerminal(StandardStream stream) {
    return isatty(Descriptor(stream)) == 1;
}

uint32_t TerminalColumns(StandardStream stream) {
    int descriptor = Descriptor(stream);
    if (isatty(descriptor) != 1) {
        return 0;
    }
    struct winsize size {};
    if (ioctl(descriptor, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

}  // namespace vfs::host
