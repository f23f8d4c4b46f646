#include "vfs/core/semaphore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vfs {
namespace {

TEST(SemaphoreLock, HoldsUntilItsScopeEnds) {
    Semaphore semaphore;
    {
        SemaphoreLock guard(semaphore);
        EXPECT_FALSE(guard.held);
        guard.Lock(true);
        EXPECT_TRUE(guard.held);
        EXPECT_FALSE(semaphore.handle.try_acquire());
    }
    EXPECT_TRUE(semaphore.handle.try_acquire()) << "the destructor gave it back";
    semaphore.handle.release();
}

TEST(SemaphoreLock, ATimedOutLockReleasesNothing) {
    Semaphore semaphore;
    SemaphoreLock owner(semaphore);
    owner.Lock(true);
    {
        SemaphoreLock second(semaphore);
        second.Lock(false);  // times out after 5 ms
        EXPECT_FALSE(second.held);
    }
    EXPECT_FALSE(semaphore.handle.try_acquire()) << "the timed-out guard must not release";
    owner.Unlock();
    EXPECT_FALSE(owner.held);
    owner.Unlock();  // a second unlock does nothing
    EXPECT_TRUE(semaphore.handle.try_acquire());
    EXPECT_FALSE(semaphore.handle.try_acquire()) << "still a single count";
    semaphore.handle.release();
}

TEST(SemaphoreLock, SerialisesTwoThreads) {
    Semaphore semaphore;
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            SemaphoreLock guard(semaphore);
            guard.Lock(true);
            ++counter;
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

TEST(SemaphoreLock, WithoutASemaphoreNeverHolds) {
    SemaphoreLock guard(static_cast<Semaphore*>(nullptr));
    guard.Lock(true);
    EXPECT_FALSE(guard.held);
}

}  // namespace
}  // namespace vfs
