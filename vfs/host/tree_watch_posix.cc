#include "vfs/host/tree_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "vfs/host/held_directory.h"

namespace vfs::host {

namespace {

// What another process may do to a watched directory that leaves a path
// resolved to it leading elsewhere.
constexpr uint32_t kWatched = IN_MOVE_SELF | IN_DELETE_SELF | IN_UNMOUNT;

class InotifyWatch : public TreeWatch {
  public:
    explicit InotifyWatch(int events) : events(events) {}
    ~InotifyWatch() override { ::close(events); }

    int64_t Add(const HeldDirectory& directory) override {
        if (!directory.IsOpen()) {
            return -1;
        }
        // The descriptor's entry in /proc leads to the very directory held,
        // wherever it is now.
        char path[40];
        std::snprintf(path, sizeof(path), "/proc/self/fd/%d",
                      static_cast<int>(directory.NativeHandle()));
        return ::inotify_add_watch(events, path, kWatched | IN_ONLYDIR);
    }

    uint64_t Changes() override {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(events, buffer, sizeof(buffer));
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN) {
                    // Nothing more can be known: every path is in doubt.
                    ++changes;
                }
                return changes;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & (kWatched | IN_Q_OVERFLOW)) != 0) {
                    ++changes;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

  private:
    int events;
    uint64_t changes = 0;
};

}  // namespace

std::unique_ptr<TreeWatch> TreeWatch::Start() {
    const int events = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (events < 0) {
        return nullptr;
    }
    return std::make_unique<InotifyWatch>(events);
}

}  // namespace vfs::host
