// CloseQueue: files closed on a thread of their own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

#include "vfs/core/stream_ref.h"

namespace tarnwad {

// Takes open streams from copying threads and lets them go on a thread of
// its own, in the order given. On Windows a file's close waits for whatever
// watches the file system (a virus scanner looks at each new file as it is
// closed): milliseconds a file, which the copying threads then spend
// copying. At most `capacity` streams wait at once; Push waits for room
// beyond that, so that open handles stay few. Safe on any thread.
class CloseQueue {
  public:
    explicit CloseQueue(size_t capacity = 32);
    CloseQueue(const CloseQueue&) = delete;
    CloseQueue& operator=(const CloseQueue&) = delete;
    // Closes what is still waiting.
    ~CloseQueue();

    // Takes over the stream `stream` holds (leaving it empty); nothing for
    // an empty handle.
    void Push(vfs::StreamRef& stream);
    // Returns once every stream pushed before has been let go.
    void Drain();

  private:
    void Run();

    const size_t capacity;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<vfs::Stream*> waiting;
    // Popped but not let go yet.
    size_t closing = 0;
    bool stopping = false;
    std::thread closer;
};

}  // namespace tarnwad
