#include "tools/mount/ahead_pool.h"

namespace tarnwad::mount {

AheadPool::AheadPool(unsigned threadCount, size_t limit, Job job)
    : limit(limit), job(std::move(job)) {
    for (unsigned i = 0; i < threadCount; ++i) {
        threads.emplace_back([this] { Work(); });
    }
}

AheadPool::~AheadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

void AheadPool::Queue(uint32_t index) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping || !queued.insert(index).second) {
            return;
        }
        waiting.push_back(index);
        if (waiting.size() > limit) {
            queued.erase(waiting.front());
            waiting.pop_front();
        }
    }
    wake.notify_one();
}

void AheadPool::Work() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !waiting.empty(); });
        if (stopping) {
            return;
        }
        const uint32_t index = waiting.front();
        waiting.pop_front();
        lock.unlock();
        job(index);
        lock.lock();
        queued.erase(index);
    }
}

}  // namespace tarnwad::mount
