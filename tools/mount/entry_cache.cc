#include "tools/mount/entry_cache.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tarnwad::mount {

EntryCache::Entry EntryCache::Get(uint64_t key, const Decoder& decode) {
    std::unique_lock<std::mutex> lock(mutex);
    if (auto found = slots.find(key); found != slots.end()) {
        recentFirst.splice(recentFirst.begin(), recentFirst, found->second.recent);
        ++stats.hits;
        return found->second.entry;
    }
    if (auto running = pending.find(key); running != pending.end()) {
        // Someone decodes it now: wait for that decode rather than run
        // another.
        std::shared_ptr<Pending> shared = running->second;
        decoded.wait(lock, [&] { return shared->done; });
        ++stats.hits;
        return shared->result;
    }
    auto mine = std::make_shared<Pending>();
    pending.emplace(key, mine);
    lock.unlock();

    Entry entry;
    try {
        entry = decode();
    } catch (...) {
        entry = nullptr;  // an allocation that failed, say: nothing to hand out
    }

    lock.lock();
    ++stats.decodes;
    pending.erase(key);
    mine->done = true;
    mine->result = entry;
    if (entry == nullptr) {
        ++stats.failures;
    } else if (entry->Size() > budget) {
        ++stats.uncached;
    } else {
        recentFirst.push_front(key);
        slots.emplace(key, Slot{entry, recentFirst.begin()});
        stats.cachedBytes += entry->Size();
        Trim(key);
        stats.peakBytes = std::max(stats.peakBytes, stats.cachedBytes);
    }
    lock.unlock();
    decoded.notify_all();
    return entry;
}

void EntryCache::Trim(uint64_t keep) {
    while (stats.cachedBytes > budget && !recentFirst.empty()) {
        const uint64_t oldest = recentFirst.back();
        if (oldest == keep) {
            break;  // only the newest is left, and it fits by itself
        }
        recentFirst.pop_back();
        auto slot = slots.find(oldest);
        stats.cachedBytes -= slot->second.entry->Size();
        slots.erase(slot);
        ++stats.evictions;
    }
}

bool EntryCache::Holds(uint64_t key) const {
    std::lock_guard<std::mutex> lock(mutex);
    return slots.count(key) != 0;
}

EntryCacheStats EntryCache::Stats() const {
    std::lock_guard<std::mutex> lock(mutex);
    return stats;
}

bool ParseByteSize(const std::string& text, uint64_t* bytes) {
    size_t at = 0;
    uint64_t value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        const uint64_t digit = static_cast<uint64_t>(text[at] - '0');
        if (value > ((uint64_t{1} << 63) - 1 - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    if (at == 0) {
        return false;
    }
    std::string unit;
    for (; at < text.size(); ++at) {
        unit += static_cast<char>(std::toupper(static_cast<unsigned char>(text[at])));
    }
    int shift = 0;
    if (!unit.empty() && unit != "B") {
        const char* const prefixes = "KMGT";
        const char* found = std::strchr(prefixes, unit[0]);
        const std::string rest = unit.substr(1);
        if (found == nullptr || unit[0] == '\0' || (rest != "" && rest != "B" && rest != "IB")) {
            return false;
        }
        shift = 10 * static_cast<int>(found - prefixes + 1);
    }
    if (shift > 0 && value > (((uint64_t{1} << 63) - 1) >> shift)) {
        return false;
    }
    *bytes = value << shift;
    return true;
}

}  // namespace tarnwad::mount
