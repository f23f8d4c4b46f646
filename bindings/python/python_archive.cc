#include "python_archive.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/copy_report.h"
#include "app/dialog_host.h"
#include "app/entry_failure.h"
#include "app/game_archive_check.h"
#include "app/host_path_check.h"
#include "app/path_selection.h"
#include "app/unpack_dialog.h"
#include "python_errors.h"
#include "tools/entry_verification.h"
#include "vfs/core/open_flags.h"
#include "vfs/wad/wad_rejected_record.h"

namespace py = pybind11;
using tarnwad::cli::ArchiveCatalog;
using tarnwad::cli::CatalogEntry;

namespace tarnvfs_python {

namespace {

// The most one Read of the library moves.
constexpr int64_t kReadBlock = int64_t{1} << 30;

// Reads up to `count` bytes of `input` into `target` without the GIL; the
// count read, and on a failed read its reason in `why`.
int64_t ReadWithoutGil(vfs::StreamRef& input, char* target, int64_t count, vfs::ErrorReason* why) {
    py::gil_scoped_release released;
    vfs::ClearLastError();
    int64_t total = 0;
    while (total < count) {
        const int32_t n =
            input.Read(target + total, static_cast<int32_t>(std::min(count - total, kReadBlock)));
        if (n < 1) {
            *why = vfs::LastError();
            break;
        }
        total += n;
    }
    return total;
}

// The unpack's dialog services where nobody watches: the status line and
// the message box are left out; the outcome is returned instead.
class SilentHost : public tarnwad::DialogHost {
  public:
    explicit SilentHost(std::string archivePath) : path(std::move(archivePath)) {}
    void GetPathText(char* buffer, uint32_t size) override {
        if (size > 0) {
            const size_t n = std::min<size_t>(path.size(), size - 1);
            path.copy(buffer, n);
            buffer[n] = '\0';
        }
    }
    void SetStatusLine(const char*) override {}
    void ShowMessage(const char*, const char*) override {}

  private:
    std::string path;
};

std::vector<Finding> RejectedFindings(const std::vector<vfs::WadRejectedRecord>& records) {
    std::vector<Finding> findings;
    for (const vfs::WadRejectedRecord& record : records) {
        findings.push_back({record.rawPath, vfs::WadRejectReasonText(record.reason), record.index});
    }
    return findings;
}

}  // namespace

EntryStream::EntryStream(std::unique_ptr<vfs::StreamRef> opened, std::string entryPath)
    : stream(std::move(opened)), path(std::move(entryPath)) {
    size = std::max<int64_t>(0, stream->GetSize64());
}

std::unique_lock<std::mutex> EntryStream::Lock() {
    // Waited for without the GIL: the holder may need it back to finish.
    py::gil_scoped_release released;
    return std::unique_lock<std::mutex>(lock);
}

vfs::StreamRef& EntryStream::Open() {
    if (stream == nullptr) {
        throw py::value_error("I/O operation on closed entry file");
    }
    return *stream;
}

int64_t EntryStream::ReadBytes(char* target, int64_t count) {
    vfs::StreamRef& input = Open();
    vfs::ErrorReason why;
    const int64_t total = ReadWithoutGil(input, target, count, &why);
    // A read that ends before the entry's end is a failure, not an end.
    if (total < count && input.Tell64() < size) {
        Raise(Exceptions().entryError,
              path + ": " +
                  tarnwad::ShortReadText(static_cast<uint64_t>(input.Tell64()),
                                         static_cast<uint64_t>(size), why),
              why.code);
    }
    return total;
}

int64_t EntryStream::ReadInto(const py::buffer& target) {
    py::buffer_info info = target.request(true);
    std::unique_lock<std::mutex> guard = Lock();
    return ReadBytes(static_cast<char*>(info.ptr), info.size * info.itemsize);
}

py::bytes EntryStream::Read(int64_t count) {
    std::unique_lock<std::mutex> guard = Lock();
    const int64_t left = std::max<int64_t>(0, size - Open().Tell64());
    count = count < 0 ? left : std::min(count, left);
    // One bytes object of the size, filled by the library in place.
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(count));
    if (bytes == nullptr) {
        throw py::error_already_set();
    }
    int64_t n = 0;
    try {
        n = ReadBytes(PyBytes_AS_STRING(bytes), count);
    } catch (...) {
        Py_DECREF(bytes);
        throw;
    }
    // Only when the stream ends early without failing (it never should).
    if (n < count && _PyBytes_Resize(&bytes, static_cast<Py_ssize_t>(n)) != 0) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::bytes>(bytes);
}

int64_t EntryStream::Seek(int64_t offset, int whence) {
    std::unique_lock<std::mutex> guard = Lock();
    vfs::StreamRef& input = Open();
    if (whence < 0 || whence > 2) {
        throw py::value_error("whence must be 0, 1 or 2");
    }
    const int64_t base = whence == 0 ? 0 : whence == 1 ? input.Tell64() : size;
    const int64_t target = base + offset;
    if (target < 0) {
        throw py::value_error("negative seek position");
    }
    // The stream ends at the entry's end; beyond it reads give nothing.
    if (input.Seek64(std::min(target, size), 0) < 0) {
        throw py::value_error("the entry's stream cannot seek there");
    }
    return input.Tell64();
}

int64_t EntryStream::Tell() {
    std::unique_lock<std::mutex> guard = Lock();
    return Open().Tell64();
}

void EntryStream::Close() {
    std::unique_lock<std::mutex> guard = Lock();
    stream.reset();
}

Archive::Archive(std::string hostPath) : path(std::move(hostPath)) {
    auto opened = std::make_shared<ArchiveCatalog>();
    std::string failure;
    vfs::ErrorCode code = vfs::ErrorCode::NONE;
    {
        py::gil_scoped_release released;
        vfs::ClearLastError();
        failure = opened->Open(path);
        code = vfs::LastError().code;
    }
    if (!failure.empty()) {
        const ExceptionTypes& types = Exceptions();
        Raise(code == vfs::ErrorCode::NOT_FOUND ? types.archiveNotFound : types.archiveError,
              path + ": " + failure, code);
    }
    catalog = std::move(opened);
}

std::shared_ptr<ArchiveCatalog> Archive::Held() const {
    if (catalog == nullptr) {
        throw py::value_error("I/O operation on closed archive");
    }
    return catalog;
}

std::vector<EntryInfo> Archive::Entries() {
    std::shared_ptr<ArchiveCatalog> held = Held();
    std::vector<EntryInfo> entries;
    for (const CatalogEntry& entry : held->Entries()) {
        EntryInfo info;
        info.path = entry.path;
        info.size = entry.record.ReportedSize();
        info.storedSize = entry.record.storedSize;
        info.coding = tarnwad::cli::CodingName(entry.record.flags);
        info.flags = entry.record.flags;
        info.recordIndex = entry.recordIndex;
        // The verdict `list` gives: what the tree and the record tell.
        if (entry.file != nullptr &&
            held->Wad().CheckEntry(entry.path.c_str(), *entry.file).Failed()) {
            info.code = vfs::LastError().code;
            info.reason = tarnwad::EntryFailureText(vfs::LastError());
        } else {
            info.note = tarnwad::cli::RecordSizeNote(entry.record);
        }
        entries.push_back(std::move(info));
    }
    return entries;
}

void Archive::OpenStream(ArchiveCatalog& held, const std::string& entryPath,
                         vfs::StreamRef& stream) {
    if (entryPath.find_first_of("*?") != std::string::npos) {
        throw py::value_error(entryPath + ": takes the path of one entry, not a pattern");
    }
    vfs::ErrorReason why;
    bool opened = false;
    {
        py::gil_scoped_release released;
        vfs::ClearLastError();
        opened = held.FileSystem()
                     .OpenFile(stream, entryPath.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0)
                     .Succeeded();
        if (!opened) {
            why = vfs::LastError();
        }
    }
    if (!opened) {
        Raise(Exceptions().entryError, entryPath + ": " + tarnwad::EntryFailureText(why), why.code);
    }
}

py::bytes Archive::Read(const std::string& entryPath) {
    std::shared_ptr<ArchiveCatalog> held = Held();
    vfs::StreamRef input;
    OpenStream(*held, entryPath, input);
    // One bytes object of the entry's size, filled by the library in place.
    const int64_t size = std::max<int64_t>(0, input.GetSize64());
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (bytes == nullptr) {
        throw py::error_already_set();
    }
    py::bytes result = py::reinterpret_steal<py::bytes>(bytes);
    char* target = PyBytes_AS_STRING(bytes);
    vfs::ErrorReason why;
    const int64_t total = ReadWithoutGil(input, target, size, &why);
    if (total != size) {
        Raise(Exceptions().entryError,
              entryPath + ": " +
                  tarnwad::ShortReadText(static_cast<uint64_t>(total), static_cast<uint64_t>(size),
                                         why),
              why.code);
    }
    return result;
}

std::unique_ptr<EntryStream> Archive::OpenEntry(const std::string& entryPath) {
    std::shared_ptr<ArchiveCatalog> held = Held();
    auto stream = std::make_unique<vfs::StreamRef>();
    OpenStream(*held, entryPath, *stream);
    return std::make_unique<EntryStream>(std::move(stream), entryPath);
}

UnpackResult Archive::Unpack(const std::string& outputDirectory,
                             const std::optional<std::vector<std::string>>& patterns, unsigned jobs,
                             bool keepExisting, bool probe) {
    std::shared_ptr<ArchiveCatalog> held = Held();
    if (std::string unusable = tarnwad::UnusableHostPath(outputDirectory, false);
        !unusable.empty()) {
        Raise(Exceptions().unpackError,
              outputDirectory + ": cannot be the output directory: " + unusable);
    }
    UnpackResult result;
    // The entries chosen, as `tarnwad unpack` chooses them.
    tarnwad::PathSelection selection;
    if (patterns.has_value() && held->Select(*patterns, &result.unmatched, &selection).empty()) {
        return result;  // nothing to unpack: every pattern matched nothing
    }

    SilentHost host(path);
    tarnwad::UnpackDialog dialog(host);
    dialog.filter = patterns.has_value() ? &selection : nullptr;
    dialog.keepExisting = keepExisting;
    dialog.jobs = jobs;
    enum { kStarted, kNotOpened, kNotGameArchive, kNoOutput } stage = kStarted;
    bool succeeded = false;
    {
        py::gil_scoped_release released;
        std::error_code error;
        if (!dialog.OpenSource(path)) {
            stage = kNotOpened;
        } else if (probe && !tarnwad::HoldsKnownEntry(dialog.source)) {
            stage = kNotGameArchive;
        } else if (std::filesystem::create_directories(outputDirectory, error),
                   !std::filesystem::is_directory(outputDirectory, error)) {
            stage = kNoOutput;
        } else {
            succeeded = dialog.UnpackInto(outputDirectory.c_str());
        }
    }
    const tarnwad::UnpackOutcome& outcome = dialog.lastOutcome;
    switch (stage) {
        case kNotOpened:
            Raise(Exceptions().archiveError, path + ": " + outcome.archiveFailure);
        case kNotGameArchive:
            Raise(Exceptions().archiveError, path + ": " + tarnwad::NotAGameArchiveText());
        case kNoOutput:
            Raise(Exceptions().unpackError,
                  "the output directory " + outputDirectory + " cannot be created");
        case kStarted:
            break;
    }
    if (!succeeded && !outcome.failure.empty()) {
        Raise(Exceptions().unpackError, outputDirectory + ": " + outcome.failure);
    }
    result.succeeded = succeeded && result.unmatched.empty();
    result.interrupted = outcome.copy.interrupted;
    result.outputDirectory = outcome.outputDirectory;
    result.filesWritten = outcome.copy.filesCopied;
    result.directoriesCreated = outcome.copy.directoriesCreated;
    result.bytesWritten = outcome.copy.bytesCopied;
    for (const tarnwad::CopyFailure& failure : outcome.copy.failures) {
        result.failures.push_back({failure.path, tarnwad::CopyFailureText(failure), std::nullopt});
    }
    for (const tarnwad::CopyWarning& warning : outcome.copy.warnings) {
        result.warnings.push_back({warning.path, warning.text, std::nullopt});
    }
    result.rejected = RejectedFindings(outcome.rejected);
    result.refused = outcome.refused;
    result.kept = outcome.copy.kept;
    return result;
}

VerifyResult Archive::Verify() {
    std::shared_ptr<ArchiveCatalog> held = Held();
    VerifyResult result;
    {
        py::gil_scoped_release released;
        std::vector<uint8_t> buffer(tarnwad::cli::kVerifyBlockSize);
        for (const CatalogEntry& entry : held->Entries()) {
            tarnwad::cli::EntryCheck check = tarnwad::cli::VerifyEntry(*held, entry, buffer);
            VerifyVerdict verdict{entry.path, "ok", check.text};
            switch (check.outcome) {
                case tarnwad::cli::EntryCheck::kReadInFull:
                    ++result.readInFull;
                    result.withChecksum +=
                        vfs::WadCodingOf(entry.record.flags) == vfs::WadCoding::ZLIB ? 1 : 0;
                    break;
                case tarnwad::cli::EntryCheck::kRefused:
                    ++result.refused;
                    verdict.outcome = "refused";
                    break;
                case tarnwad::cli::EntryCheck::kHidden:
                    ++result.hidden;
                    verdict.outcome = "hidden";
                    break;
                case tarnwad::cli::EntryCheck::kFailed:
                    ++result.failed;
                    verdict.outcome = "failed";
                    break;
            }
            result.entries.push_back(std::move(verdict));
        }
    }
    result.rejected = RejectedFindings(held->Rejected());
    result.rejectedCount = held->Wad().GetDirectory().RejectedCount();
    return result;
}

}  // namespace tarnvfs_python
