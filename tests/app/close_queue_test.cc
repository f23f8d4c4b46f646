#include "app/close_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwad {
namespace {

// Notes the thread and order of its Close.
class ClosedStream : public vfs::Stream {
  public:
    ClosedStream(int number, std::mutex* mutex, std::vector<int>* order,
                 std::vector<std::thread::id>* threads)
        : number(number), mutex(mutex), order(order), threads(threads) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override { return count; }
    int32_t Seek(int32_t, int32_t) override { return 0; }
    int32_t GetSize() override { return 0; }
    int32_t Tell() override { return 0; }
    void Close() override {
        std::lock_guard<std::mutex> guard(*mutex);
        order->push_back(number);
        threads->push_back(std::this_thread::get_id());
    }

  private:
    int number;
    std::mutex* mutex;
    std::vector<int>* order;
    std::vector<std::thread::id>* threads;
};

// Streams pushed from several threads, beyond the capacity, are all closed
// by Drain, each on the queue's thread, and each pusher's in its order.
TEST(CloseQueueTest, EveryStreamPushedIsClosedOffThePushersThreadsByDrain) {
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    CloseQueue queue(2);
    auto push = [&](int first) {
        for (int i = first; i < first + 50; ++i) {
            vfs::StreamRef stream;
            stream.Set(new ClosedStream(i, &mutex, &order, &threads));
            queue.Push(stream);
            EXPECT_EQ(stream.Get(), nullptr);
        }
    };
    std::thread other(push, 100);
    push(0);
    other.join();
    queue.Drain();
    std::lock_guard<std::mutex> guard(mutex);
    ASSERT_EQ(order.size(), 100u);
    std::vector<int> mine;
    std::vector<int> others;
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(threads[i], threads[0]);
        (order[i] < 100 ? mine : others).push_back(order[i]);
    }
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_NE(threads[0], other.get_id());
    EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
    EXPECT_TRUE(std::is_sorted(others.begin(), others.end()));
}

}  // namespace
}  // namespace tarnwad
