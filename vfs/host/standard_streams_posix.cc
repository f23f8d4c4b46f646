#include "vfs/host/standard_streams.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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

namespace vfs::host {

std::string StandardInputFilePath() {
    struct stat status {};
    if (fstat(STDIN_FILENO, &status) != 0 || !S_ISREG(status.st_mode)) {
        return {};
    }
    // Opening the descriptor's entry opens the file itself, from its start,
    // whatever name it has now (or none, once deleted).
    return "/proc/self/fd/0";
}

std::ptrdiff_t ReadStandardInput(void* buffer, size_t size) {
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

std::string HoldNamelessFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    if (unlink(path.c_str()) != 0) {
        close(fd);
        return {};
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

std::string TemporaryDirectoryPath() {
    const char* directory = std::getenv("TMPDIR");
    std::string path = directory != nullptr && directory[0] == '/' ? directory : "/tmp";
    if (path.back() != '/') {
        path += '/';
    }
    return path;
}

}  // namespace vfs::host
