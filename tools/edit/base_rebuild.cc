#include "tools/edit/base_rebuild.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/host_path_check.h"
#include "tools/path_argument.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/last_error.h"
#include "vfs/core/temporary_file.h"
#include "vfs/host/host_error.h"

namespace tarnwad::edit {

std::vector<EditMessage> RebuildFromBase(const BaseRebuild& request,
                                         std::vector<EditChange>* changes,
                                         vfs::WadEditStats* stats) {
    const std::filesystem::path output(cli::AbsolutePath(request.output));
    const std::string outputName = output.filename().string();
    std::error_code error;
    std::string why;
    if (outputName.empty() || std::filesystem::is_directory(output, error)) {
        return {{request.output, "names no file to write"}};
    }
    vfs::FileSystemRef where;
    vfs::host::ClearLastError();
    if (where.OpenHeldDirectory(output.parent_path().string().c_str()).Failed()) {
        return {{request.output, "cannot be written: its directory cannot be opened" +
                                     vfs::host::LastErrorSuffix()}};
    }
    vfs::FileIdentity existing;
    if (!request.force && where.GetFileIdentity(outputName.c_str(), &existing).Succeeded()) {
        return {{request.output, "already exists; add --force to replace it"}};
    }
    // Opened as every command opens an archive, for the same reasons.
    if (vfs::FileSystemRef archive;
        OpenUserArchive(archive, cli::AbsolutePath(request.base), &why).Failed()) {
        return {{request.base, why}};
    }
    std::ifstream base(cli::AbsolutePath(request.base), std::ios::binary);
    if (!base) {
        return {{request.base, "cannot be opened: it went away meanwhile"}};
    }
    vfs::TemporaryFile copy;
    if (copy.Create(where, outputName).Failed()) {
        const std::string& reason = vfs::LastError().text;
        return {{request.output, "cannot be created" + (reason.empty() ? "" : ": " + reason)}};
    }
    std::vector<char> block(1 << 20);
    while (base) {
        base.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<int32_t>(base.gcount());
        if (got > 0 && copy.Stream().Write(block.data(), got) != got) {
            return {{request.output, "cannot be written" + vfs::host::LastErrorSuffix()}};
        }
    }
    if (base.bad()) {
        return {{request.base, "cannot be read in full"}};
    }
    copy.Stream().Reset();

    ArchiveEdit job(request.output, (output.parent_path() / copy.Name()).string(),
                    {request.codec, false});
    if (auto refusal = job.Open()) {
        return {{request.base, refusal->text}};
    }
    job.Update(request.directory, true);
    std::vector<EditMessage> failures = job.Commit();
    *changes = job.Changes();
    *stats = job.Stats();
    if (!failures.empty()) {
        return failures;
    }
    // Let go of the file before it is renamed: a host may not rename an
    // open one.
    job.Close();
    vfs::host::ClearLastError();
    if (copy.PutInPlace(request.force).Failed()) {
        return {{request.output, "cannot be put in place" + vfs::host::LastErrorSuffix()}};
    }
    return {};
}

}  // namespace tarnwad::edit
