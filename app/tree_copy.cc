#include "app/tree_copy.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "app/tree_walk.h"

namespace tarnwad {

namespace {

// One block shared by every in-order file copy of the process, made at the
// first copy and kept until exit. Null when it cannot be allocated.
uint8_t* CopyBuffer() {
    static std::unique_ptr<uint8_t[]> buffer;
    if (buffer == nullptr) {
        buffer.reset(new (std::nothrow) uint8_t[kCopyBlockSize]);
    }
    return buffer.get();
}

// The in-order copy: each file is copied as the walk reaches it.
class InOrder : public TreeWalk::Visitor {
  public:
    InOrder(vfs::FileSystemRef& source, vfs::FileSystemRef& destination,
            const TreeCopySettings& settings)
        : source(source), destination(destination), settings(settings) {}

    void CopyFile(const std::string& path, uint32_t /*size*/) override {
        EntryCopyResult copied = CopyEntry(
            source, destination, path, CopyBuffer(), [&] { Show(path.c_str()); }, settings.rules);
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
    void DirectoryDone() override { Show(""); }

    CopyReport report;

  private:
    void Show(const char* text) {
        if (settings.showStatus) {
            settings.showStatus(text);
        }
    }

    vfs::FileSystemRef& source;
    vfs::FileSystemRef& destination;
    const TreeCopySettings& settings;
};

}  // namespace

CopyReport CopyTreeInOrder(vfs::FileSystemRef& source, vfs::FileSystemRef& destination,
                           const std::string& relativePath, const TreeCopySettings& settings) {
    InOrder copy(source, destination, settings);
    TreeWalk walk(source, destination, settings.filter, copy);
    copy.report.directoriesCreated = walk.Run(relativePath);
    return std::move(copy.report);
}

}  // namespace tarnwad
