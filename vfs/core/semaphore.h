// Semaphore and SemaphoreLock: the library's lock for a shared host stream.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace vfs {

// A binary semaphore that costs no system call unless a thread has to wait:
// taking it when it is free and giving it back when nobody waits are one
// atomic operation each. (The standard library's binary semaphore wakes
// waiters through the kernel on every release, waiting or not.) Its members
// are named as the standard one's.
class BinarySemaphore {
  public:
    BinarySemaphore() = default;
    BinarySemaphore(const BinarySemaphore&) = delete;
    BinarySemaphore& operator=(const BinarySemaphore&) = delete;

    bool try_acquire() {
        uint32_t expected = kFree;
        return state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                             std::memory_order_relaxed);
    }
    void acquire();
    // Tries until `timeout` has passed.
    bool try_acquire_for(std::chrono::microseconds timeout);
    void release() {
        if (state.exchange(kFree, std::memory_order_release) == kTakenWithWaiters) {
            state.notify_one();
        }
    }

  private:
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kTaken = 1;
    static constexpr uint32_t kTakenWithWaiters = 2;
    std::atomic<uint32_t> state{kFree};
};

// A single-count semaphore used as a lock: not tied to a thread and not
// recursive (taking it twice on one thread blocks forever). Every file system
// and every host back-end stream owns one.
class Semaphore {
  public:
    Semaphore() = default;
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    BinarySemaphore handle;
};

// A scoped guard around one operation on a shared stream. Lock(false) waits
// at most 5 ms; whether the guard then holds the semaphore is in `held`, and
// the caller goes on either way. The destructor gives back what it holds.
class SemaphoreLock {
  public:
    explicit SemaphoreLock(Semaphore& owner) : semaphore(&owner.handle) {}
    // A guard over no semaphore (a stream without a lock) never holds one.
    explicit SemaphoreLock(Semaphore* owner)
        : semaphore(owner == nullptr ? nullptr : &owner->handle) {}
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;
    ~SemaphoreLock() { Unlock(); }

    void Lock(bool waitForever);
    void Unlock();

    BinarySemaphore* semaphore;
    bool held = false;
};

}  // namespace vfs
