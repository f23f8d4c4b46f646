#include "vfs/core/semaphore.h"

#include <chrono>

namespace vfs {

void SemaphoreLock::Lock(bool waitForever) {
    if (semaphore == nullptr || held) {
        return;
    }
    if (waitForever) {
        semaphore->acquire();
        held = true;
    } else {
        held = semaphore->try_acquire_for(std::chrono::milliseconds(5));
    }
}

void SemaphoreLock::Unlock() {
    if (held) {
        semaphore->release();
        held = false;
    }
}

}  // namespace vfs
