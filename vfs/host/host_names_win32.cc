#include "vfs/host/host_names.h"

#include "vfs/host/windows_api.h"

#include <cstring>
#include <vector>

namespace vfs::host {

namespace {

// ASCII letters folded to upper case, for the device-name test.
char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `name` (up to its first dot, with the spaces before that dot) is
// one of the names that open a device in every directory.
bool IsDeviceName(const char* name) {
    size_t stem = std::strcspn(name, ".");
    while (stem > 0 && name[stem - 1] == ' ') {
        --stem;
    }
    char upper[8] = {};
    if (stem > 7) {
        return false;
    }
    for (size_t i = 0; i < stem; ++i) {
        upper[i] = Upper(name[i]);
    }
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (std::strcmp(upper, device) == 0) {
            return true;
        }
    }
    // COM and LPT with a digit, or with a superscript one, two or three (in
    // the Windows-1252 code page).
    if (stem == 4 && (std::strncmp(upper, "COM", 3) == 0 || std::strncmp(upper, "LPT", 3) == 0)) {
        const unsigned char last = static_cast<unsigned char>(upper[3]);
        return (last >= '0' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
    }
    return false;
}

}  // namespace

const char* UnusableNameReason(const char* name) {
    if (name == nullptr || name[0] == '\0') {
        return "the name is empty";
    }
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
        return "\".\" and \"..\" name no new entry";
    }
    for (const char* p = name; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\\' || c == '/') {
            return "the name holds a separator";
        }
        if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) {
            return "Windows does not allow the characters < > : \" | ? * or control characters "
                   "in names";
        }
    }
    const char last = name[std::strlen(name) - 1];
    if (last == '.' || last == ' ') {
        return "Windows drops a dot or space at the end of a name, which would make it another "
               "name";
    }
    if (IsDeviceName(name)) {
        return "Windows reserves the name for a device";
    }
    return nullptr;
}

bool HostFoldsNames() {
    return true;
}

std::string HostNameKey(const char* name) {
    // The name in UTF-16, as the system's code page reads it, in upper case
    // as the system's own ordinal comparison that ignores case folds it.
    const int length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (length <= 1) {
        return name;
    }
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), length);
    const int folded = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                                     length - 1, nullptr, 0, nullptr, nullptr, 0);
    std::vector<wchar_t> upper(static_cast<size_t>(folded > 0 ? folded : 0));
    if (folded <= 0 ||
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), length - 1, upper.data(),
                      folded, nullptr, nullptr, 0) != folded) {
        upper.assign(wide.begin(), wide.end() - 1);
    }
    std::string key;
    key.reserve(upper.size() * 2);
    for (wchar_t c : upper) {
        key.push_back(static_cast<char>(c & 0xFF));
        key.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return key;
}

}  // namespace vfs::host
