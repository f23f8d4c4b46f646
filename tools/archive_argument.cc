#include "tools/archive_argument.h"

#include "tools/archive_catalog.h"
#include "tools/diagnostics.h"

#include <vector>

#include "app/host_path_check.h"
#include "tools/path_argument.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/temporary_file.h"
#include "vfs/host/host_error.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/standard_streams.h"
#include "vfs/host/terminal.h"

namespace tarnwad::cli {

namespace {

constexpr size_t kSpoolBlock = 1 << 20;

// Standard input copied into a temporary file, once per run however often
// it is asked for; the file is deleted when the tool ends.
struct Spool {
    vfs::TemporaryFile file;
    std::string path;
    std::string why;
    bool done = false;
};

Spool& SpooledInput() {
    static Spool spool;
    if (spool.done) {
        return spool;
    }
    spool.done = true;
    const std::string directoryPath = vfs::host::TemporaryDirectoryPath();
    vfs::FileSystemRef directory;
    vfs::host::ClearLastError();
    if (directory.OpenHeldDirectory(directoryPath.c_str()).Failed()) {
        spool.why = "cannot be read: the temporary directory " + directoryPath +
                    " cannot be opened" + vfs::host::LastErrorSuffix();
        return spool;
    }
    vfs::host::ClearLastError();
    if (spool.file.Create(directory, "stdin.wad").Failed()) {
        spool.why = "cannot be read: no temporary file can be created in " + directoryPath +
                    vfs::host::LastErrorSuffix();
        return spool;
    }
    // Where the host can, the file is held open and its name removed at
    // once, so that it goes away even should the tool be killed; elsewhere
    // this object deletes it when the tool ends.
    if (std::string held = vfs::host::HoldNamelessFile(directoryPath + spool.file.Name());
        !held.empty()) {
        spool.file.Keep();
        spool.path = held;
    }
    std::vector<char> block(kSpoolBlock);
    for (;;) {
        vfs::host::ClearLastError();
        const std::ptrdiff_t n = vfs::host::ReadStandardInput(block.data(), block.size());
        if (n == 0) {
            break;
        }
        if (n < 0) {
            spool.why = "cannot be read" + vfs::host::LastErrorSuffix();
            spool.file.Discard();
            spool.path.clear();
            return spool;
        }
        vfs::host::ClearLastError();
        if (spool.file.Stream().Write(block.data(), static_cast<int32_t>(n)) != n) {
            spool.why = "cannot be copied into a temporary file in " + directoryPath +
                        vfs::host::LastErrorSuffix();
            spool.file.Discard();
            spool.path.clear();
            return spool;
        }
    }
    if (vfs::host::InterruptRequested()) {
        spool.why = "interrupted: not read in full";
        spool.file.Discard();
        spool.path.clear();
        return spool;
    }
    // Closed, so that the archive opens it as any other file.
    spool.file.Stream().Reset();
    if (spool.path.empty()) {
        spool.path = directoryPath + spool.file.Name();
    }
    return spool;
}

}  // namespace

std::string ArchiveHostPath(const std::string& argument, std::string* why) {
    why->clear();
    if (!IsStandardInput(argument)) {
        // The commands that take ARCHIVE read the whole archive's records:
        // a directory inside it is no archive to them, on every host.
        const std::string path = AbsolutePath(argument);
        *why = InnerRootRefusal(path);
        return why->empty() ? path : std::string();
    }
    if (vfs::host::IsTerminal(vfs::host::StandardStream::Input)) {
        *why = "standard input is a terminal: pipe or redirect an archive into it";
        return {};
    }
    if (std::string path = vfs::host::StandardInputFilePath(); !path.empty()) {
        return path;
    }
    const Spool& spool = SpooledInput();
    *why = spool.why;
    return spool.path;
}

bool OpenArchiveArgument(ArchiveCatalog& catalog, const std::string& argument,
                         const std::vector<std::string>& layers) {
    std::string failure;
    const std::string archivePath = ArchiveHostPath(argument, &failure);
    if (archivePath.empty()) {
        Complain(argument, failure);
        return false;
    }
    std::string failed = argument;
    failure = layers.empty() ? catalog.Open(archivePath)
                             : catalog.OpenLayered(archivePath, argument, layers, &failed);
    if (!failure.empty()) {
        Complain(failed, failure);
        return false;
    }
    return true;
}

}  // namespace tarnwad::cli
