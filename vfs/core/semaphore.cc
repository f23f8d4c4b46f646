#include "vfs/core/semaphore.h"

#include <chrono>
#include <thread>

namespace vfs {

void BinarySemaphore::acquire() {
    if (try_acquire()) {
        return;
    }
    // Marks the semaphore as awaited, so that its release wakes a waiter,
    // and sleeps until it is free.
    while (state.exchange(kTakenWithWaiters, std::memory_order_acquire) != kFree) {
        state.wait(kTakenWithWaiters, std::memory_order_relaxed);
    }
}

bool BinarySemaphore::try_acquire_for(std::chrono::microseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (try_acquire()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
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
