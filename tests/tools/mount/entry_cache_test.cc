#include "tools/mount/entry_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <latch>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace tarnwad::mount {
namespace {

class BytesEntry : public DecodedEntry {
  public:
    explicit BytesEntry(size_t size, uint8_t fill = 0) : bytes(size, fill) {}
    const uint8_t* Data() const override { return bytes.empty() ? nullptr : bytes.data(); }
    uint64_t Size() const override { return bytes.size(); }

  private:
    std::vector<uint8_t> bytes;
};

// A decoder of `size` bytes that counts its calls.
EntryCache::Decoder Counting(std::atomic<int>& calls, size_t size, uint8_t fill = 0) {
    return [&calls, size, fill]() -> EntryCache::Entry {
        ++calls;
        return std::make_shared<BytesEntry>(size, fill);
    };
}

TEST(EntryCacheTest, AnEntryIsDecodedOnceWhileCached) {
    EntryCache cache(1000);
    std::atomic<int> calls{0};
    EntryCache::Entry first = cache.Get(1, Counting(calls, 100, 7));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Size(), 100u);
    EXPECT_EQ(first->Data()[99], 7);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(cache.Get(1, Counting(calls, 100)), first);
    }
    EXPECT_EQ(calls.load(), 1);
    const EntryCacheStats stats = cache.Stats();
    EXPECT_EQ(stats.decodes, 1u);
    EXPECT_EQ(stats.hits, 10u);
    EXPECT_EQ(stats.cachedBytes, 100u);
}

TEST(EntryCacheTest, TheLeastRecentlyUsedGoFirstWhenTheBudgetIsExceeded) {
    EntryCache cache(100);
    std::atomic<int> calls{0};
    cache.Get(1, Counting(calls, 40));
    cache.Get(2, Counting(calls, 40));
    cache.Get(1, Counting(calls, 40));  // 1 is now the more recent
    cache.Get(3, Counting(calls, 40));  // 120 bytes: 2 goes
    EXPECT_TRUE(cache.Holds(1));
    EXPECT_FALSE(cache.Holds(2));
    EXPECT_TRUE(cache.Holds(3));
    EXPECT_EQ(cache.Stats().evictions, 1u);
    EXPECT_EQ(cache.Stats().cachedBytes, 80u);
    EXPECT_EQ(calls.load(), 3);
    // 2 is decoded again, and 1 (now the oldest) makes room for it.
    cache.Get(2, Counting(calls, 40));
    EXPECT_EQ(calls.load(), 4);
    EXPECT_FALSE(cache.Holds(1));
    EXPECT_TRUE(cache.Holds(2));
    EXPECT_TRUE(cache.Holds(3));
    EXPECT_LE(cache.Stats().peakBytes, 100u);
}

TEST(EntryCacheTest, ALargeEntryMayPushOutSeveralSmallOnes) {
    EntryCache cache(100);
    std::atomic<int> calls{0};
    for (uint64_t key = 0; key < 10; ++key) {
        cache.Get(key, Counting(calls, 10));
    }
    EXPECT_EQ(cache.Stats().cachedBytes, 100u);  // an exact fit stays
    cache.Get(99, Counting(calls, 75));
    EXPECT_TRUE(cache.Holds(99));
    for (uint64_t key = 0; key < 8; ++key) {
        EXPECT_FALSE(cache.Holds(key)) << key;
    }
    EXPECT_TRUE(cache.Holds(8));
    EXPECT_TRUE(cache.Holds(9));
    EXPECT_EQ(cache.Stats().cachedBytes, 95u);
    EXPECT_EQ(cache.Stats().evictions, 8u);
}

TEST(EntryCacheTest, WhatWasHandedOutStaysValidAfterEviction) {
    EntryCache cache(10);
    std::atomic<int> calls{0};
    EntryCache::Entry held = cache.Get(1, Counting(calls, 10, 0xAB));
    cache.Get(2, Counting(calls, 10));
    EXPECT_FALSE(cache.Holds(1));
    ASSERT_EQ(held->Size(), 10u);
    EXPECT_EQ(held->Data()[9], 0xAB);
}

TEST(EntryCacheTest, ManyThreadsAskingAtOnceShareOneDecode) {
    EntryCache cache(1 << 20);
    constexpr int kThreads = 16;
    std::atomic<int> calls{0};
    std::latch start(kThreads);
    std::vector<EntryCache::Entry> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            got[t] = cache.Get(5, [&]() -> EntryCache::Entry {
                ++calls;
                // Slow enough that the others come while it runs.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return std::make_shared<BytesEntry>(4096, 3);
            });
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(calls.load(), 1);
    for (const EntryCache::Entry& entry : got) {
        EXPECT_EQ(entry, got[0]);
    }
    EXPECT_EQ(cache.Stats().decodes, 1u);
    EXPECT_EQ(cache.Stats().hits, static_cast<uint64_t>(kThreads - 1));
}

TEST(EntryCacheTest, DifferentEntriesDecodeAtOnceEachOnce) {
    EntryCache cache(1 << 20);
    constexpr int kThreads = 8;
    constexpr int kKeys = 4;
    std::atomic<int> calls[kKeys] = {};
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            const int key = t % kKeys;
            EntryCache::Entry entry = cache.Get(key, [&]() -> EntryCache::Entry {
                ++calls[key];
                const int now = ++running;
                for (int seen = mostAtOnce.load(); now > seen;) {
                    mostAtOnce.compare_exchange_weak(seen, now);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                --running;
                return std::make_shared<BytesEntry>(100, static_cast<uint8_t>(key));
            });
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->Data()[0], key);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int key = 0; key < kKeys; ++key) {
        EXPECT_EQ(calls[key].load(), 1) << key;
    }
    // The decodes of different entries do not wait for each other.
    EXPECT_GT(mostAtOnce.load(), 1);
}

TEST(EntryCacheTest, AnEntryLargerThanTheBudgetIsHandedOutButNotKept) {
    EntryCache cache(1000);
    std::atomic<int> calls{0};
    cache.Get(1, Counting(calls, 500));
    EntryCache::Entry big = cache.Get(2, Counting(calls, 5000, 9));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->Size(), 5000u);
    EXPECT_EQ(big->Data()[4999], 9);
    EXPECT_FALSE(cache.Holds(2));
    EXPECT_TRUE(cache.Holds(1));  // nothing was pushed out for it
    cache.Get(2, Counting(calls, 5000));
    EXPECT_EQ(calls.load(), 3);  // decoded for each request
    EXPECT_EQ(cache.Stats().uncached, 2u);
    EXPECT_EQ(cache.Stats().evictions, 0u);
    EXPECT_EQ(cache.Stats().cachedBytes, 500u);
}

TEST(EntryCacheTest, ThoseWaitingForAnOversizedDecodeShareIt) {
    EntryCache cache(10);
    constexpr int kThreads = 8;
    std::atomic<int> calls{0};
    std::latch start(kThreads);
    std::vector<EntryCache::Entry> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            got[t] = cache.Get(1, [&]() -> EntryCache::Entry {
                ++calls;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return std::make_shared<BytesEntry>(100);
            });
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(calls.load(), 1);
    for (const EntryCache::Entry& entry : got) {
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry, got[0]);
    }
    EXPECT_FALSE(cache.Holds(1));
}

TEST(EntryCacheTest, AFailedDecodeIsNotKeptAndItsWaitersGetNothing) {
    EntryCache cache(1000);
    constexpr int kThreads = 4;
    std::atomic<int> calls{0};
    std::latch start(kThreads);
    std::atomic<int> empty{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            EntryCache::Entry entry = cache.Get(1, [&]() -> EntryCache::Entry {
                ++calls;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return nullptr;
            });
            empty += entry == nullptr ? 1 : 0;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(empty.load(), kThreads);
    EXPECT_FALSE(cache.Holds(1));
    EXPECT_EQ(cache.Stats().failures, 1u);
    // Asked again, it is tried again.
    EXPECT_NE(cache.Get(1, Counting(calls, 10)), nullptr);
    EXPECT_EQ(calls.load(), 2);
}

TEST(EntryCacheTest, AThrowingDecoderCountsAsAFailure) {
    EntryCache cache(1000);
    EXPECT_EQ(cache.Get(1, []() -> EntryCache::Entry { throw std::bad_alloc(); }), nullptr);
    EXPECT_EQ(cache.Stats().failures, 1u);
    std::atomic<int> calls{0};
    EXPECT_NE(cache.Get(1, Counting(calls, 10)), nullptr);
}

TEST(EntryCacheTest, ABudgetOfNothingKeepsOnlyEmptyEntries) {
    EntryCache cache(0);
    std::atomic<int> calls{0};
    cache.Get(1, Counting(calls, 1));
    cache.Get(1, Counting(calls, 1));
    EXPECT_EQ(calls.load(), 2);
    cache.Get(2, Counting(calls, 0));
    cache.Get(2, Counting(calls, 0));
    EXPECT_EQ(calls.load(), 3);
    EXPECT_TRUE(cache.Holds(2));
}

TEST(EntryCacheTest, ManyThreadsOverASmallBudgetStayWithinIt) {
    // Random keys over a budget that holds a few of them: every answer has
    // the right bytes, and what is kept never exceeds the budget.
    EntryCache cache(10 * 1024);
    constexpr int kThreads = 8;
    std::atomic<bool> wrong{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            uint32_t seed = 12345u + static_cast<uint32_t>(t);
            for (int i = 0; i < 2000; ++i) {
                seed = seed * 1664525u + 1013904223u;
                const uint64_t key = (seed >> 16) % 40;
                EntryCache::Entry entry = cache.Get(key, [key]() -> EntryCache::Entry {
                    return std::make_shared<BytesEntry>(1024 + key, static_cast<uint8_t>(key));
                });
                if (entry == nullptr || entry->Size() != 1024 + key ||
                    entry->Data()[entry->Size() - 1] != key) {
                    wrong = true;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(wrong.load());
    const EntryCacheStats stats = cache.Stats();
    EXPECT_LE(stats.peakBytes, 10u * 1024);
    EXPECT_LE(stats.cachedBytes, 10u * 1024);
    EXPECT_GT(stats.evictions, 0u);
    EXPECT_EQ(stats.decodes + stats.hits, kThreads * 2000u);
}

TEST(ByteSizeTest, SizesWithAndWithoutUnits) {
    uint64_t bytes = 0;
    EXPECT_TRUE(ParseByteSize("0", &bytes));
    EXPECT_EQ(bytes, 0u);
    EXPECT_TRUE(ParseByteSize("65536", &bytes));
    EXPECT_EQ(bytes, 65536u);
    EXPECT_TRUE(ParseByteSize("256M", &bytes));
    EXPECT_EQ(bytes, 256u << 20);
    EXPECT_TRUE(ParseByteSize("256MiB", &bytes));
    EXPECT_EQ(bytes, 256u << 20);
    EXPECT_TRUE(ParseByteSize("64k", &bytes));
    EXPECT_EQ(bytes, 64u << 10);
    EXPECT_TRUE(ParseByteSize("2G", &bytes));
    EXPECT_EQ(bytes, 2ull << 30);
    EXPECT_TRUE(ParseByteSize("1tb", &bytes));
    EXPECT_EQ(bytes, 1ull << 40);
    EXPECT_TRUE(ParseByteSize("10B", &bytes));
    EXPECT_EQ(bytes, 10u);
    for (const char* wrong :
         {"", "M", "-1", "1.5G", "12X", "1 M", "1MM", "99999999999999999999", "8388608T", "1Mi"}) {
        EXPECT_FALSE(ParseByteSize(wrong, &bytes)) << wrong;
    }
}

}  // namespace
}  // namespace tarnwad::mount
