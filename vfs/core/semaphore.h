// Semaphore and SemaphoreLock: the library's lock for a shared host stream.
#pragma once

#include <semaphore>

namespace vfs {

// A single-count semaphore used as a lock: not tied to a thread and not
// recursive (taking it twice on one thread blocks forever). Every file system
// and every host back-end stream owns one.
class Semaphore {
  public:
    Semaphore() : handle(1) {}
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    std::binary_semaphore handle;
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

    std::binary_semaphore* semaphore;
    bool held = false;
};

}  // namespace vfs
