#include "vfs/core/semaphore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

TEST(SemaphoreLock, WaitersAndTimedLocksNeverOverlap) {
    // Four threads, two waiting as long as it takes and two for at most
    // 5 ms: whoever holds the semaphore is alone, and every waiter is woken.
    Semaphore semaphore;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    int counter = 0;
    std::atomic<int> timedHeld{0};
    auto work = [&](bool waitForever) {
        for (int i = 0; i < 5000; ++i) {
            SemaphoreLock guard(semaphore);
            guard.Lock(waitForever);
            if (!guard.held) {
                continue;
            }
            if (inside.fetch_add(1) != 0) {
                overlapped = true;
            }
            ++counter;
            if (!waitForever) {
                ++timedHeld;
            }
            inside.fetch_sub(1);
        }
    };
    std::thread a(work, true);
    std::thread b(work, true);
    std::thread c(work, false);
    std::thread d(work, false);
    a.join();
    b.join();
    c.join();
    d.join();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(counter, 10000 + timedHeld.load());
}

TEST(SemaphoreLock, ABlockedWaiterIsWokenByTheRelease) {
    Semaphore semaphore;
    SemaphoreLock owner(semaphore);
    owner.Lock(true);
    std::atomic<bool> entered{false};
    std::thread waiter([&] {
        SemaphoreLock guard(semaphore);
        guard.Lock(true);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered);
    owner.Unlock();
    waiter.join();
    EXPECT_TRUE(entered);
    EXPECT_TRUE(semaphore.handle.try_acquire()) << "the waiter gave it back";
    semaphore.handle.release();
}

TEST(SemaphoreLock, WithoutASemaphoreNeverHolds) {
    SemaphoreLock guard(static_cast<Semaphore*>(nullptr));
    guard.Lock(true);
    EXPECT_FALSE(guard.held);
}

}  // namespace
}  // namespace vfs
