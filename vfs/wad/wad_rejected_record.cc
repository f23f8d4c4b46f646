#include "vfs/wad/wad_rejected_record.h"

namespace vfs {

const char* WadRejectReasonText(WadRejectReason reason) {
    switch (reason) {
        case WadRejectReason::NAME_OUTSIDE_TABLE:
            return "name offset lies outside the name table";
        case WadRejectReason::NAME_NOT_TERMINATED:
            return "name has no terminating NUL";
        case WadRejectReason::EMPTY_COMPONENT:
            return "path has an empty component";
        case WadRejectReason::DOT_COMPONENT:
            return "path has a \".\" or \"..\" component";
        case WadRejectReason::COLON:
            return "path holds a \":\" (drive or stream name)";
        case WadRejectReason::WILDCARD:
            return "path holds a wildcard character";
        case WadRejectReason::CONTROL_BYTE:
            return "path holds a control character";
        case WadRejectReason::NAME_TOO_LONG:
            return "path is too long";
    }
    return "unknown reason";
}

}  // namespace vfs

namespace vfs {

std::optional<WadRejectReason> CheckWadPath(const char* path, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        unsigned char ch = static_cast<unsigned char>(path[i]);
        if (ch < 0x20) {
            return WadRejectReason::CONTROL_BYTE;
        }
        if (ch == ':') {
            return WadRejectReason::COLON;
        }
        if (ch == '*' || ch == '?') {
            return WadRejectReason::WILDCARD;
        }
    }
    uint32_t start = 0;
    for (;;) {
        uint32_t end = start;
        while (end < length && path[end] != '\\' && path[end] != '/') {
            ++end;
        }
        uint32_t n = end - start;
        if (n == 0) {
            return WadRejectReason::EMPTY_COMPONENT;
        }
        if ((n == 1 && path[start] == '.') ||
            (n == 2 && path[start] == '.' && path[start + 1] == '.')) {
            return WadRejectReason::DOT_COMPONENT;
        }
        if (end == length) {
            return std::nullopt;
        }
        start = end + 1;
    }
}

}  // namespace vfs
