#include "vfs/core/semaphore.h"

namespace vfs {

template <typename Wait>
bool BinarySemaphore::AcquireSlowly(Wait wait) {
    std::unique_lock<std::mutex> lock(sleepers);
    // Marking the count as contended before sleeping is what makes the
    // holder's release wake us: it sees kContended and notifies under the
    // mutex, which it can only take once this thread sleeps.
    while (state.exchange(kContended, std::memory_order_acquire) != kFree) {
        if (!wait(lock)) {
            // Out of time: one last try, so that a wake meant for this thread
            // is not lost when it gives up just as the count comes free.
            return state.exchange(kContended, std::memory_order_acquire) == kFree;
        }
    }
    return true;
}

void BinarySemaphore::acquire() {
    if (!try_acquire()) {
        AcquireSlowly([this](std::unique_lock<std::mutex>& lock) {
            woken.wait(lock);
            return true;
        });
    }
}

bool BinarySemaphore::try_acquire_for(std::chrono::milliseconds timeout) {
    if (try_acquire()) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    return AcquireSlowly([this, deadline](std::unique_lock<std::mutex>& lock) {
        return woken.wait_until(lock, deadline) == std::cv_status::no_timeout ||
               std::chrono::steady_clock::now() < deadline;
    });
}

void BinarySemaphore::release() {
    if (state.exchange(kFree, std::memory_order_release) == kContended) {
        // Every sleeper wakes and races for the count; the losers mark it
        // contended again and sleep. A wake given to a sleeper that has just
        // timed out is then never the only one.
        std::lock_guard<std::mutex> lock(sleepers);
        woken.notify_all();
    }
}

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
