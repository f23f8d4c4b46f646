// A host stream in memory for the stream tests: a bottom stream with a
// semaphore, which notices when two operations on it overlap.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "vfs/core/semaphore.h"
#include "vfs/core/stream.h"

namespace vfs::test {

class TestHostStream : public Stream {
  public:
    explicit TestHostStream(std::vector<uint8_t> contents) : data(std::move(contents)) {}
    explicit TestHostStream(const std::string& text) : data(text.begin(), text.end()) {}
    ~TestHostStream() override {
        if (deleted != nullptr) {
            *deleted = true;
        }
    }

    int32_t Read(void* buffer, int32_t count) override {
        Enter();
        int32_t result = -1;
        if (!failReads && position >= 0) {
            int64_t available = static_cast<int64_t>(data.size()) - position;
            int32_t amount =
                static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(count, available)));
            if (amount > 0) {
                std::memcpy(buffer, data.data() + position, static_cast<size_t>(amount));
            }
            Dawdle();
            position += amount;
            result = amount;
        }
        Leave();
        return result;
    }
    int32_t Write(const void* buffer, int32_t count) override {
        Enter();
        auto* bytes = static_cast<const uint8_t*>(buffer);
        if (position < 0) {
            Leave();
            return -1;
        }
        if (data.size() < static_cast<size_t>(position) + static_cast<size_t>(count)) {
            data.resize(static_cast<size_t>(position) + static_cast<size_t>(count));
        }
        std::memcpy(data.data() + position, bytes, static_cast<size_t>(count));
        position += count;
        Leave();
        return count;
    }
    // Like a host file: a failed seek leaves -1 as the position; seeking past
    // the end is allowed.
    int32_t Seek(int32_t offset, int32_t origin) override {
        Enter();
        ++seekCount;
        int64_t base = origin == 0 ? 0 : origin == 1 ? position : static_cast<int64_t>(data.size());
        int64_t target = base + offset;
        bool bad = failSeeks || origin < 0 || origin > 2 || target < 0;
        position = bad ? -1 : static_cast<int32_t>(target);
        Dawdle();
        Leave();
        return position;
    }
    int32_t GetSize() override { return static_cast<int32_t>(data.size()); }
    int32_t Tell() override { return position; }
    const void* Map(int32_t offset, int32_t) override {
        NoteLock();
        ++mapCount;
        return data.data() + offset;
    }
    void Unmap(const void* pointer) override {
        NoteLock();
        unmapped.push_back(pointer);
    }
    Semaphore* GetLock() override { return withLock ? &lock : nullptr; }

    std::vector<uint8_t> data;
    int32_t position = 0;
    Semaphore lock;
    bool withLock = true;
    bool failReads = false;
    bool failSeeks = false;
    // Makes each operation linger, so that unserialised callers overlap.
    bool slow = false;
    std::atomic<int32_t> overlaps{0};
    std::atomic<int32_t> unlockedCalls{0};
    int32_t seekCount = 0;
    int32_t mapCount = 0;
    std::vector<const void*> unmapped;
    bool* deleted = nullptr;

  private:
    void Enter() {
        if (busy.exchange(true)) {
            ++overlaps;
        }
        NoteLock();
    }
    // Counts operations that run while nobody holds the semaphore.
    void NoteLock() {
        if (lock.handle.try_acquire()) {
            lock.handle.release();
            ++unlockedCalls;
        }
    }
    void Leave() { busy = false; }
    void Dawdle() {
        if (slow) {
            std::this_thread::yield();
        }
    }

    std::atomic<bool> busy{false};
};

// The bytes 0, 1, 2, ... (mod 251) of the given length.
inline std::vector<uint8_t> CountingBytes(size_t length) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(i % 251);
    }
    return bytes;
}

}  // namespace vfs::test
