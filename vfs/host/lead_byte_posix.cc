#include "vfs/host/lead_byte.h"

namespace vfs::host {

bool IsLeadByte(uint8_t /*byte*/) {
    return false;
}

}  // namespace vfs::host
