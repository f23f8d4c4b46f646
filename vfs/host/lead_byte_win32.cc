#include "vfs/host/lead_byte.h"

#include "vfs/host/windows_api.h"

namespace vfs::host {

bool IsLeadByte(uint8_t byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

}  // namespace vfs::host
