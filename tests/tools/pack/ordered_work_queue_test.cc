// OrderedWorkQueue: results in the items' order whatever order they are made
// in, the window of items in flight, exceptions, and early destruction.
#include "tools/pack/ordered_work_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarnwad::pack {
namespace {

using namespace std::chrono_literals;

uint64_t CostOne(size_t) {
    return 1;
}

TEST(OrderedWorkQueueTest, WithoutWorkersTakeMakesEachItemWhenAskedOnTheCallingThread) {
    std::vector<size_t> made;
    const std::thread::id caller = std::this_thread::get_id();
    OrderedWorkQueue<std::string> queue(3, 0, 1, 1, CostOne, [&](size_t index, unsigned worker) {
        EXPECT_EQ(worker, 0u);
        EXPECT_EQ(std::this_thread::get_id(), caller);
        made.push_back(index);
        return "item " + std::to_string(index);
    });
    EXPECT_TRUE(made.empty());  // nothing ahead of Take
    EXPECT_EQ(queue.Take(), "item 0");
    EXPECT_EQ(made, std::vector<size_t>{0});
    EXPECT_EQ(queue.Take(), "item 1");
    EXPECT_FALSE(queue.Done());
    EXPECT_EQ(queue.Take(), "item 2");
    EXPECT_EQ(made, (std::vector<size_t>{0, 1, 2}));
    EXPECT_TRUE(queue.Done());
}

TEST(OrderedWorkQueueTest, ResultsComeInOrderWhateverOrderTheyAreMadeIn) {
    for (unsigned workers : {1u, 2u, 3u, 8u}) {
        const size_t count = 200;
        std::mutex mutex;
        std::set<unsigned> workersSeen;
        OrderedWorkQueue<size_t> queue(
            count, workers, 16, 1000, CostOne, [&](size_t index, unsigned worker) {
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    workersSeen.insert(worker);
                }
                // Early items take longest, so later ones are made first.
                std::this_thread::sleep_for(std::chrono::microseconds((count - index) % 7 * 50));
                return index * 3;
            });
        for (size_t i = 0; i < count; ++i) {
            ASSERT_EQ(queue.Take(), i * 3) << workers << " workers";
        }
        EXPECT_TRUE(queue.Done());
        for (unsigned worker : workersSeen) {
            EXPECT_LT(worker, workers);
        }
    }
}

TEST(OrderedWorkQueueTest, NoItemsNeedNoTake) {
    OrderedWorkQueue<int> queue(0, 4, 4, 4, CostOne, [](size_t, unsigned) { return 1; });
    EXPECT_TRUE(queue.Done());
}

// In the tests of the window below, `returned` counts the Takes that have
// returned. The queue counts an item out of its window inside Take, before
// returning it, so when item `index` starts the window holds at least the
// items returned + 1 to `index` (one Take may be on its way out).

TEST(OrderedWorkQueueTest, AtMostMaxItemsAreInFlight) {
    std::atomic<size_t> returned{0};
    std::atomic<size_t> mostAhead{0};
    OrderedWorkQueue<size_t> queue(100, 4, 3, 1000, CostOne, [&](size_t index, unsigned) {
        const size_t ahead = index - returned.load();  // items returned + 1 .. index
        EXPECT_LE(ahead, 3u) << "item " << index;
        size_t seen = mostAhead.load();
        while (ahead > seen && !mostAhead.compare_exchange_weak(seen, ahead)) {
        }
        return index;
    });
    // A slow consumer: the workers wait for the window to move on.
    for (size_t i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(200us);
        ASSERT_EQ(queue.Take(), i);
        ++returned;
    }
    EXPECT_GE(mostAhead.load(), 2u);  // the window was used
}

TEST(OrderedWorkQueueTest, TheCostOfTheItemsInFlightStaysWithinTheBudget) {
    // Costs 1, 2, 3, 4, 5, 1, 2, ... and a budget of 6.
    std::vector<uint64_t> costs;
    for (size_t i = 0; i < 60; ++i) {
        costs.push_back(i % 5 + 1);
    }
    std::atomic<size_t> returned{0};
    std::atomic<bool> severalInFlight{false};
    OrderedWorkQueue<size_t> queue(
        costs.size(), 4, 100, 6, [&](size_t index) { return costs[index]; },
        [&](size_t index, unsigned) {
            const size_t from = returned.load() + 1;
            uint64_t inFlight = 0;
            for (size_t i = from; i <= index; ++i) {
                inFlight += costs[i];
            }
            EXPECT_LE(inFlight, 6u) << "item " << index;
            if (index > from) {
                severalInFlight = true;
            }
            return index;
        });
    for (size_t i = 0; i < costs.size(); ++i) {
        std::this_thread::sleep_for(100us);
        ASSERT_EQ(queue.Take(), i);
        ++returned;
    }
    EXPECT_TRUE(severalInFlight.load());
}

TEST(OrderedWorkQueueTest, AnItemOverTheBudgetStartsWhenTheWindowIsEmpty) {
    std::atomic<int> made{0};
    OrderedWorkQueue<int> queue(
        5, 2, 10, 10, [](size_t index) { return index == 2 ? uint64_t{1000} : uint64_t{1}; },
        [&](size_t index, unsigned) {
            ++made;
            return static_cast<int>(index);
        });
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(queue.Take(), i);
    }
    EXPECT_EQ(made.load(), 5);
}

TEST(OrderedWorkQueueTest, TheCostIsHeldUntilTheItemIsTaken) {
    // Budget 2, each item 2: only one at a time, the next starting once the
    // one before is taken.
    std::atomic<int> started{0};
    OrderedWorkQueue<int> queue(
        3, 2, 10, 2, [](size_t) { return uint64_t{2}; },
        [&](size_t index, unsigned) {
            ++started;
            return static_cast<int>(index);
        });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(started.load(), 1);
    EXPECT_EQ(queue.Take(), 0);
    EXPECT_EQ(queue.Take(), 1);
    EXPECT_EQ(queue.Take(), 2);
}

TEST(OrderedWorkQueueTest, AnExceptionIsThrownByTheTakeOfItsItem) {
    for (unsigned workers : {0u, 2u}) {
        OrderedWorkQueue<int> queue(4, workers, 4, 4, CostOne, [](size_t index, unsigned) {
            if (index == 1) {
                throw std::runtime_error("item 1 failed");
            }
            return static_cast<int>(index);
        });
        EXPECT_EQ(queue.Take(), 0);
        EXPECT_THROW(queue.Take(), std::runtime_error);
        EXPECT_EQ(queue.Take(), 2);
        EXPECT_EQ(queue.Take(), 3);
    }
}

TEST(OrderedWorkQueueTest, DestroyedEarlyItStartsNothingMoreAndWaitsForItsWorkers) {
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    {
        OrderedWorkQueue<int> queue(1000, 2, 4, 1000, CostOne, [&](size_t index, unsigned) {
            ++started;
            std::this_thread::sleep_for(5ms);
            ++finished;
            return static_cast<int>(index);
        });
        EXPECT_EQ(queue.Take(), 0);
    }
    EXPECT_EQ(started.load(), finished.load());
    EXPECT_LE(started.load(), 1 + 4 + 2);
}

TEST(OrderedWorkQueueTest, MadeItemsReachTakeWhileLaterOnesAreStillBeingMade) {
    // Items 0 and 1 are made at once; both workers then hold items 2 and 3
    // until the test has taken 0 and 1. Fewer than a batch are ready and the
    // workers are not held back, so Take must hand out 0 and 1 without
    // waiting for 2 and 3. Items 2 and 3 say whether they were let go by
    // the test (their index) or gave up waiting after 10 s (index + 1000).
    std::mutex mutex;
    std::condition_variable changed;
    bool letGo = false;
    OrderedWorkQueue<int> queue(100, 2, 100, 100, CostOne, [&](size_t index, unsigned) {
        int result = static_cast<int>(index);
        if (index == 2 || index == 3) {
            std::unique_lock<std::mutex> lock(mutex);
            if (!changed.wait_for(lock, 10s, [&] { return letGo; })) {
                result += 1000;
            }
        }
        return result;
    });
    EXPECT_EQ(queue.Take(), 0);
    EXPECT_EQ(queue.Take(), 1);
    {
        std::lock_guard<std::mutex> lock(mutex);
        letGo = true;
    }
    changed.notify_all();
    EXPECT_EQ(queue.Take(), 2);
    EXPECT_EQ(queue.Take(), 3);
}

TEST(OrderedWorkQueueTest, EachWorkerMakesOneItemAtATime) {
    const unsigned workers = 3;
    std::vector<std::atomic<int>> busy(workers);
    std::atomic<bool> overlapped{false};
    OrderedWorkQueue<int> queue(60, workers, 8, 100, CostOne, [&](size_t index, unsigned worker) {
        if (++busy[worker] != 1) {
            overlapped = true;
        }
        std::this_thread::sleep_for(100us);
        --busy[worker];
        return static_cast<int>(index);
    });
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(queue.Take(), i);
    }
    EXPECT_FALSE(overlapped.load());
}

}  // namespace
}  // namespace tarnwad::pack
