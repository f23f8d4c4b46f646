#include "app/copy_report.h"

namespace tarnwad {

const char* DescribeCopyFailure(CopyFailureKind kind) {
    switch (kind) {
        case CopyFailureKind::kOpenSource:
            return "cannot be opened for reading";
        case CopyFailureKind::kCreateFile:
            return "cannot be created";
        case CopyFailureKind::kShortRead:
            return "could not be read in full";
        case CopyFailureKind::kShortWrite:
            return "could not be written in full";
        case CopyFailureKind::kCreateDirectory:
            return "directory cannot be created";
        case CopyFailureKind::kSkipped:
            return "skipped";
        case CopyFailureKind::kUnsafeName:
            return "has a name that cannot be used as a file name";
        case CopyFailureKind::kNoBuffer:
            return "no memory for the copy buffer";
        case CopyFailureKind::kNameClash:
            return "has a name this system takes for another entry's";
        case CopyFailureKind::kProtected:
            return "not written";
        case CopyFailureKind::kRefused:
            return "refused by the archive";
    }
    return "failed";
}

std::string CopyFailureText(const CopyFailure& failure) {
    if ((failure.kind == CopyFailureKind::kOpenSource ||
         failure.kind == CopyFailureKind::kRefused) &&
        !failure.detail.empty()) {
        return failure.detail;
    }
    std::string text = DescribeCopyFailure(failure.kind);
    if (!failure.detail.empty()) {
        text += ": " + failure.detail;
    }
    return text;
}

}  // namespace tarnwad
