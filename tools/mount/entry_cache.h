// EntryCache: decoded archive entries kept in memory for `tarnwad mount`,
// least recently used first out, within a budget of bytes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tarnwad::mount {

// The decoded bytes of one entry, whatever holds them.
class DecodedEntry {
  public:
    virtual ~DecodedEntry() = default;
    // Null only when Size() is 0.
    virtual const uint8_t* Data() const = 0;
    virtual uint64_t Size() const = 0;
};

// What the cache did since it was made.
struct EntryCacheStats {
    uint64_t decodes = 0;      // decoder calls, failed ones included
    uint64_t failures = 0;     // decoder calls that gave nothing
    uint64_t hits = 0;         // answers from the cache or from a decode in flight
    uint64_t uncached = 0;     // decoded entries larger than the whole budget, handed out only
    uint64_t evictions = 0;    // entries let go to make room
    uint64_t cachedBytes = 0;  // held now
    uint64_t peakBytes = 0;    // held at most
};

// Hands out the decoded bytes of entries by key, decoding each at most once
// while it stays cached: however many threads ask for an entry at once, one
// of them runs the decoder and the others wait for its result. Kept entries
// are let go least recently used first whenever their sizes together would
// exceed the budget. An entry larger than the whole budget is decoded for
// those who asked at that moment and not kept: the next request decodes it
// again. A failed decode is not kept either; those who waited for it get
// null too. What the cache hands out stays valid for as long as the caller
// holds it, evicted or not, so the memory in use is the budget plus whatever
// the callers still hold of entries no longer cached. Thread-safe.
class EntryCache {
  public:
    using Entry = std::shared_ptr<const DecodedEntry>;
    // Decodes one entry; null when it cannot be decoded.
    using Decoder = std::function<Entry()>;

    explicit EntryCache(uint64_t budgetBytes) : budget(budgetBytes) {}
    EntryCache(const EntryCache&) = delete;
    EntryCache& operator=(const EntryCache&) = delete;

    // The entry of `key`: from the cache, from a decode already running for
    // it, or from `decode`, run on this thread without the cache's lock.
    Entry Get(uint64_t key, const Decoder& decode);

    // Whether `key` is held now (for tests and statistics).
    bool Holds(uint64_t key) const;
    uint64_t Budget() const { return budget; }
    EntryCacheStats Stats() const;

  private:
    // One decode in flight, shared by the threads waiting for it.
    struct Pending {
        bool done = false;
        Entry result;
    };
    struct Slot {
        Entry entry;
        std::list<uint64_t>::iterator recent;
    };

    // Lets go of the least recently used entries, never `keep`, until what is
    // held fits the budget. Called with the lock held.
    void Trim(uint64_t keep);

    const uint64_t budget;
    mutable std::mutex mutex;
    std::condition_variable decoded;
    std::unordered_map<uint64_t, Slot> slots;
    std::unordered_map<uint64_t, std::shared_ptr<Pending>> pending;
    std::list<uint64_t> recentFirst;  // most recently used at the front
    EntryCacheStats stats;
};

// Reads a size in bytes as `--cache-size` takes it: digits, then maybe K, M,
// G or T (powers of 1024, either case; "B" or "iB" may follow them), so
// "256M", "1G" and "65536" are sizes and "1.5G" and "-1" are not. False for
// anything else and for sizes of 2^63 bytes or more.
bool ParseByteSize(const std::string& text, uint64_t* bytes);

}  // namespace tarnwad::mount
