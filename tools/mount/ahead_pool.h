// AheadPool: a few threads that make files of a mount ready before they are
// asked for.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

namespace tarnwad::mount {

// Runs a job for each node index queued, on `threads` threads of its own,
// in the order queued. An index is queued once while it waits or runs; what
// is still waiting when the pool stops is dropped. At most `limit` indices
// wait at once: queueing more drops the oldest waiting, which the reader
// has most likely passed already. Thread-safe.
class AheadPool {
  public:
    using Job = std::function<void(uint32_t index)>;

    AheadPool(unsigned threads, size_t limit, Job job);
    AheadPool(const AheadPool&) = delete;
    AheadPool& operator=(const AheadPool&) = delete;
    // Stops: drops what waits and waits for the jobs running.
    ~AheadPool();

    void Queue(uint32_t index);

  private:
    void Work();

    const size_t limit;
    const Job job;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<uint32_t> waiting;
    std::unordered_set<uint32_t> queued;  // waiting or running
    bool stopping = false;
    std::vector<std::thread> threads;
};

}  // namespace tarnwad::mount
