#include "vfs/host/standard_streams.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace vfs::host {

void OpenMissingStandardStreams() {
    for (int stream = 0; stream <= 2; ++stream) {
        if (fcntl(stream, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor: `stream` itself, as those below it are
        // open by now.
        const int opened = open("/dev/null", stream == 0 ? O_RDONLY : O_WRONLY);
        if (opened < 0) {
            _exit(2);
        }
        if (opened != stream) {
            if (dup2(opened, stream) < 0) {
                _exit(2);
            }
            close(opened);
        }
    }
}

}  // namespace vfs::host
