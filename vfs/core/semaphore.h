// Semaphore and SemaphoreLock: the library's lock for a shared host stream.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "vfs/core/export.h"

namespace vfs {

// A single-count semaphore that costs no system call while nobody waits:
// taking and giving back a free count is one atomic operation each. Only a
// thread that finds the count taken sleeps, on a condition variable, and only
// a release that saw a sleeper wakes it. (std::binary_semaphore wakes through
// the kernel on every release, waiter or not.)
class TARNVFS_API BinarySemaphore {
  public:
    BinarySemaphore() = default;
    BinarySemaphore(const BinarySemaphore&) = delete;
    BinarySemaphore& operator=(const BinarySemaphore&) = delete;

    bool try_acquire() {
        int32_t expected = kFree;
        return state.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                             std::memory_order_relaxed);
    }
    void acquire();
    // Waits at most `timeout` for the count.
    bool try_acquire_for(std::chrono::milliseconds timeout);
    void release();

  private:
    // Free; taken with nobody asleep; taken with sleepers (or possibly so: a
    // thread that sleeps takes the count back marked as contended, which at
    // worst costs its release one needless wake).
    static constexpr int32_t kFree = 0;
    static constexpr int32_t kTaken = 1;
    static constexpr int32_t kContended = 2;

    // Waits under `lock` until the count is taken by this thread, or until
    // `deadline` passes (false).
    template <typename Wait>
    bool AcquireSlowly(Wait wait);

    std::atomic<int32_t> state{kFree};
    std::mutex sleepers;
    std::condition_variable woken;
};

// A single-count semaphore used as a lock: not tied to a thread and not
// recursive (taking it twice on one thread blocks forever). Every file system
// and every host back-end stream owns one.
class TARNVFS_API Semaphore {
  public:
    Semaphore() = default;
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    BinarySemaphore handle;
};

// A scoped guard around one operation on a shared stream. Lock(false) waits
// at most 5 ms; whether the guard then holds the semaphore is in `held`, and
// the caller goes on either way. The destructor gives back what it holds.
class TARNVFS_API SemaphoreLock {
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
