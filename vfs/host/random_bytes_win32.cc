#include "vfs/host/random_bytes.h"

#include <algorithm>
#include <cstdint>

#include "vfs/host/windows_api.h"
// After windows.h: RtlGenRandom (SystemFunction036 of advapi32).
#include <ntsecapi.h>

namespace vfs::host {

bool FillRandomBytes(void* buffer, size_t length) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (size_t done = 0; done < length;) {
        const ULONG n = static_cast<ULONG>(std::min<size_t>(length - done, 1u << 20));
        if (!RtlGenRandom(bytes + done, n)) {
            return false;
        }
        done += n;
    }
    return true;
}

}  // namespace vfs::host
