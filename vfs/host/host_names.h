// Which names the host takes literally as one entry of a directory, and
// which names it takes for the same entry.
#pragma once

#include <string>

namespace vfs::host {

// Why the host would not create an entry of exactly the name `name` in a
// directory, or null when it would. Everywhere: an empty name, "." and
// "..", and a name holding a separator ("\" or "/", both of which the
// library reads as one). On Windows also: control characters, the
// characters < > : " | ? *, a trailing dot or space (which the host drops,
// so that "a." would be "a"), and the device names (CON, PRN, AUX, NUL,
// COM0 to COM9, LPT0 to LPT9, CONIN$, CONOUT$, with or without an
// extension), which name no file.
const char* UnusableNameReason(const char* name);

// Whether the host takes some names of different bytes for one entry of a
// directory (Windows: letter case, in every script the system knows).
bool HostFoldsNames();

// The key under which the host looks a name up in a directory: two names
// name the same entry exactly when their keys are equal. Where the host
// folds nothing, the name itself.
std::string HostNameKey(const char* name);

}  // namespace vfs::host
