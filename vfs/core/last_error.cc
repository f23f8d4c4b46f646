#include "vfs/core/last_error.h"

#include <utility>

namespace vfs {

namespace {

ErrorReason& ThreadReason() {
    thread_local ErrorReason reason;
    return reason;
}

}  // namespace

void SetLastError(ErrorCode code, std::string text) {
    ErrorReason& reason = ThreadReason();
    reason.code = code;
    reason.text = std::move(text);
}

const ErrorReason& LastError() {
    return ThreadReason();
}

void ClearLastError() {
    ErrorReason& reason = ThreadReason();
    reason.code = ErrorCode::NONE;
    reason.text.clear();
}

}  // namespace vfs
