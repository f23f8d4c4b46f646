#include "vfs/host/lead_byte.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vfs::host {

bool IsLeadByte(uint8_t byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

}  // namespace vfs::host
