#include "app/close_queue.h"

namespace tarnwad {

CloseQueue::CloseQueue(size_t capacity)
    : capacity(capacity == 0 ? 1 : capacity), closer([this] { Run(); }) {}

CloseQueue::~CloseQueue() {
    {
        std::lock_guard<std::mutex> guard(mutex);
        stopping = true;
    }
    changed.notify_all();
    closer.join();
}

void CloseQueue::Push(vfs::StreamRef& stream) {
    vfs::Stream* open = stream.Get();
    if (open == nullptr) {
        return;
    }
    open->AddRef();
    stream.Reset();
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return waiting.size() < capacity; });
        waiting.push_back(open);
    }
    changed.notify_all();
}

void CloseQueue::Drain() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return waiting.empty() && closing == 0; });
}

void CloseQueue::Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !waiting.empty(); });
        if (waiting.empty()) {
            return;
        }
        vfs::Stream* open = waiting.front();
        waiting.pop_front();
        ++closing;
        lock.unlock();
        changed.notify_all();
        open->Release();
        lock.lock();
        --closing;
        changed.notify_all();
    }
}

}  // namespace tarnwad
