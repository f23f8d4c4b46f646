// The tree copy of UnpackDialog: copies a file-system tree into another.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/entry_copy.h"
#include "app/tree_walk.h"
#include "app/unpack_dialog.h"

namespace tarnwad {

namespace {

// One block shared by every file copy of the process, made at the first copy
// and kept until exit. Null when it cannot be allocated.
uint8_t* CopyBuffer() {
    static std::unique_ptr<uint8_t[]> buffer;
    if (buffer == nullptr) {
        buffer.reset(new (std::nothrow) uint8_t[kCopyBlockSize]);
    }
    return buffer.get();
}

}  // namespace

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

UnpackDialog::~UnpackDialog() {
    destination.Reset();
    source.Reset();
}

void UnpackDialog::SetStatusText(const char* text) {
    host->SetStatusLine(text);
}

CopyReport UnpackDialog::CopyTree(const vfs::VfsString& relativePath) {
    // The in-order copy: each file is copied as the walk reaches it.
    class InOrder : public TreeWalk::Visitor {
      public:
        explicit InOrder(UnpackDialog& dialog) : dialog(dialog), rules(dialog.CopyRules()) {}

        void CopyFile(const std::string& path, uint32_t /*size*/) override {
            EntryCopyResult copied = CopyEntry(
                dialog.source, dialog.destination, path, CopyBuffer(),
                [&] { dialog.SetStatusText(path.c_str()); }, rules);
            if (copied.copied) {
                ++report.filesCopied;
                report.bytesCopied += copied.bytes;
            } else if (copied.interrupted) {
                report.interrupted = true;
            } else if (copied.kept) {
                report.kept.push_back(path);
            } else {
                Fail(path, copied.kind, std::move(copied.detail));
            }
        }
        void Fail(const std::string& path, CopyFailureKind kind, std::string detail) override {
            report.failures.push_back(CopyFailure{path, kind, std::move(detail)});
        }
        void Warn(const std::string& path, std::string text) override {
            report.warnings.push_back(CopyWarning{path, std::move(text)});
        }
        void DirectoryDone() override { dialog.SetStatusText(""); }

        UnpackDialog& dialog;
        const EntryCopyRules rules;
        CopyReport report;
    };

    InOrder copy(*this);
    TreeWalk walk(source, destination, filter, copy);
    copy.report.directoriesCreated = walk.Run(relativePath.c_str());
    return std::move(copy.report);
}

}  // namespace tarnwad
