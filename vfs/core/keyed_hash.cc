#include "vfs/core/keyed_hash.h"

#include <chrono>

#include "vfs/host/random_bytes.h"

namespace vfs {

namespace {

HashKey MakeProcessKey() {
    uint64_t words[2];
    if (host::FillRandomBytes(words, sizeof(words))) {
        return HashKey{words[0], words[1]};
    }
    // Weaker, but different from run to run: where the stack and the code
    // lie (address-space randomisation) and the time.
    const uint64_t seen[] = {
        static_cast<uint64_t>(reinterpret_cast<uintptr_t>(words)),
        static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&MakeProcessKey)),
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()),
        static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()),
    };
    return HashKey{SipHash<2, 4>(HashKey{0, 0}, seen, sizeof(seen)),
                   SipHash<2, 4>(HashKey{1, 0}, seen, sizeof(seen))};
}

}  // namespace

const HashKey& ProcessHashKey() {
    static const HashKey key = MakeProcessKey();
    return key;
}

}  // namespace vfs
