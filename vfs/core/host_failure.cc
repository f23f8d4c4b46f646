#include "vfs/core/host_failure.h"

#include <string>

#include "vfs/core/last_error.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_limits.h"

namespace vfs {

Result FailWithHostReason(const char* what) {
    ErrorCode code = ErrorCode::HOST_ERROR;
    switch (host::LastErrorKind()) {
        case host::HostErrorKind::NOT_FOUND:
            code = ErrorCode::NOT_FOUND;
            break;
        case host::HostErrorKind::ACCESS_DENIED:
            code = ErrorCode::ACCESS_DENIED;
            break;
        case host::HostErrorKind::UNSUPPORTED:
            code = ErrorCode::UNSUPPORTED;
            break;
        default:
            break;
    }
    SetLastError(code, what + host::LastErrorSuffix());
    return Result::Fail();
}

Result FailWithPathTooLong() {
    SetLastError(ErrorCode::PATH_TOO_LONG, "is too long: a host path may hold at most " +
                                               std::to_string(HOST_MAX_PATH - 1) +
                                               " characters once made absolute");
    return Result::Fail();
}

}  // namespace vfs
