// The double-byte lead-byte test of the host's 8-bit code page.
#pragma once

#include <cstdint>

namespace vfs::host {

// True when `byte` starts a two-byte character in the host's 8-bit code page,
// so that the byte after it is not a character of its own. Always false on
// hosts whose 8-bit text is UTF-8: there a separator byte never occurs inside
// a multi-byte character.
bool IsLeadByte(uint8_t byte);

}  // namespace vfs::host
