// OrderedWorkQueue: items made on worker threads, handed out in their order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tarnwad::pack {

// Makes the results of items 0 to count - 1 with `make(index, worker)` and
// hands them out one at a time, in the order of the items, whatever order
// they are made in. With workers == 0 there are no threads: Take makes each
// item on the calling thread when it is asked for (worker 0), exactly one
// after another. Otherwise `workers` threads make them (worker 0 to
// workers - 1, one item at a time each), starting the items in their order,
// ahead of Take within a window: an item starts only while the items
// started and not yet taken, it among them, number at most `maxItems` and
// cost at most `maxCost` together (`cost(index)`, called under the queue's
// lock, must be quick); an item starts whatever it costs when nothing
// else is in the window, so that every item gets made.
//
// Take is woken when kWakeBatch items are made and waiting for it, when the
// workers cannot start another item, or else after kWakeAfter at most: not
// once per item, which would cost a switch between threads for each.
//
// An exception thrown by `make` is thrown again by the Take of its item.
// Results not taken when the queue is destroyed are dropped; the destructor
// waits for the items being made.
template <typename Result>
class OrderedWorkQueue {
  public:
    static constexpr size_t kWakeBatch = 64;
    static constexpr std::chrono::milliseconds kWakeAfter{10};

    using MakeFunction = std::function<Result(size_t index, unsigned worker)>;
    using CostFunction = std::function<uint64_t(size_t index)>;

    OrderedWorkQueue(size_t count, unsigned workers, size_t maxItems, uint64_t maxCost,
                     CostFunction cost, MakeFunction make)
        : count(count),
          maxItems(maxItems < 1 ? 1 : maxItems),
          maxCost(maxCost),
          cost(std::move(cost)),
          make(std::move(make)) {
        threads.reserve(workers);
        for (unsigned worker = 0; worker < workers; ++worker) {
            threads.emplace_back([this, worker] { Work(worker); });
        }
    }

    OrderedWorkQueue(const OrderedWorkQueue&) = delete;
    OrderedWorkQueue& operator=(const OrderedWorkQueue&) = delete;

    ~OrderedWorkQueue() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopped = true;
        }
        canStart.notify_all();
        for (std::thread& thread : threads) {
            thread.join();
        }
    }

    // Whether every item has been taken.
    bool Done() const {
        std::lock_guard<std::mutex> lock(mutex);
        return taken == count;
    }

    // The result of the next item not yet taken, once it is made; must not
    // be called once Done().
    Result Take() {
        if (threads.empty()) {
            return make(taken++, 0);
        }
        std::unique_lock<std::mutex> lock(mutex);
        while (ready == 0) {
            madeOne.wait_for(lock, kWakeAfter);
        }
        Slot slot = std::move(window.front());
        window.pop_front();
        --ready;
        ++taken;
        windowCost -= slot.cost;
        lock.unlock();
        canStart.notify_all();
        if (slot.failure) {
            std::rethrow_exception(slot.failure);
        }
        return std::move(*slot.result);
    }

  private:
    struct Slot {
        uint64_t cost = 0;
        bool made = false;
        std::optional<Result> result;
        std::exception_ptr failure;
    };

    // Whether the next item may start now (under the lock).
    bool MayStart() {
        if (next == count) {
            return false;
        }
        if (window.empty()) {
            return true;
        }
        return window.size() < maxItems && windowCost + cost(next) <= maxCost;
    }

    void Work(unsigned worker) {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            canStart.wait(lock, [&] { return stopped || next == count || MayStart(); });
            if (stopped || next == count) {
                return;
            }
            const size_t index = next++;
            Slot slot;
            slot.cost = cost(index);
            windowCost += slot.cost;
            window.push_back(std::move(slot));
            lock.unlock();

            std::optional<Result> result;
            std::exception_ptr failure;
            try {
                result.emplace(make(index, worker));
            } catch (...) {
                failure = std::current_exception();
            }

            lock.lock();
            Slot& made = window[index - taken];
            made.result = std::move(result);
            made.failure = failure;
            made.made = true;
            while (ready < window.size() && window[ready].made) {
                ++ready;
            }
            if (ready > 0 && (ready >= kWakeBatch || !MayStart())) {
                madeOne.notify_one();
            }
        }
    }

    const size_t count;
    const size_t maxItems;
    const uint64_t maxCost;
    const CostFunction cost;
    const MakeFunction make;

    mutable std::mutex mutex;
    std::condition_variable canStart;  // the window moved on, or the queue stops
    std::condition_variable madeOne;   // items to take are made
    // The items started and not yet taken, from item `taken` on.
    std::deque<Slot> window;
    size_t ready = 0;  // the items made at the front of the window
    uint64_t windowCost = 0;
    size_t taken = 0;
    size_t next = 0;  // the next item to start
    bool stopped = false;
    std::vector<std::thread> threads;
};

}  // namespace tarnwad::pack
