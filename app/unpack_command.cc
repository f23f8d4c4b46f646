// The unpack command of UnpackDialog: probe, output directory, copy, message.
#include <string>

#include "app/host_path_check.h"
#include "app/unpack_dialog.h"
#include "vfs/core/find_data.h"
#include "vfs/core/path_resolution.h"
#include "vfs/host/host_limits.h"
#include "vfs/wad/wad_file_system.h"

namespace tarnwad {

int UnpackDialog::OnUnpack() {
    lastOutcome = UnpackOutcome();
    bool succeeded = ProbeArchive() && UnpackArchive();
    lastOutcome.succeeded = succeeded;
    if (succeeded) {
        host->ShowMessage(kSucceededText, kSucceededCaption);
    } else {
        host->ShowMessage(kFailedText, kFailedCaption);
    }
    return 0;
}

bool UnpackDialog::ProbeArchive() {
    char path[vfs::HOST_MAX_PATH];
    path[0] = '\0';
    host->GetPathText(path, sizeof(path));

    if (std::string unusable = UnusableHostPath(path, true); !unusable.empty()) {
        lastOutcome.failure = unusable;
        return false;
    }
    vfs::FileSystemRef archive;
    if (archive.OpenArchive(path, 0).Failed()) {
        lastOutcome.failure =
            path[0] == '\0' ? "no archive was chosen" : "cannot be opened as a WAD archive";
        return false;
    }
    // From here on `source` holds the new archive, whatever the probe finds.
    source = archive;
    archive.Reset();

    auto* wad = dynamic_cast<vfs::WadFileSystem*>(source.Get());
    if (wad != nullptr) {
        lastOutcome.rejected = wad->GetRejectedRecords();
    }
    for (const char* name : kProbeNames) {
        vfs::FindData found;
        if (source.FindFirst(name, &found).Succeeded()) {
            return true;
        }
    }
    lastOutcome.failure = "is not a Tarnhollow archive: none of the known entries is in it";
    return false;
}

bool UnpackDialog::UnpackArchive() {
    vfs::VfsString outputPath;
    return PrepareOutputDirectory(outputPath) && UnpackInto(outputPath.c_str());
}

bool UnpackDialog::PrepareOutputDirectory(vfs::VfsString& outputPath) {
    vfs::VfsString fullPath;
    source.GetFullPath(fullPath, vfs::VfsString());
    lastOutcome.archivePath = fullPath.c_str();

    // The archive's directory and its name without the extension; the cut at
    // the last "." also drops the "*" that ends an archive's full path.
    int32_t lastSeparator = fullPath.ReverseFindOneOf("\\/");
    uint32_t split = lastSeparator < 0 ? 0 : static_cast<uint32_t>(lastSeparator) + 1;
    vfs::VfsString directory(fullPath.Left(split));
    vfs::VfsString fileName(fullPath.Mid(split));
    int32_t dot = fileName.ReverseFind(".");
    if (dot <= 0) {
        lastOutcome.failure = "no output directory name can be made from the archive's name";
        return false;
    }
    vfs::VfsString baseName(fileName.Left(static_cast<uint32_t>(dot)));
    outputPath.Assign(directory);
    outputPath.Append(baseName);
    lastOutcome.outputDirectory = outputPath.c_str();

    vfs::FileSystemRef output;
    if (output.OpenDirectory(directory.c_str()).Failed()) {
        lastOutcome.failure = "the archive's directory cannot be opened";
        return false;
    }
    vfs::FindData existing;
    if (output.FindFirst(baseName.c_str(), &existing).Succeeded()) {
        // A link in the output directory's place would send the whole
        // unpack wherever it leads.
        if ((existing.attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            lastOutcome.failure = "the output path is a symbolic link, which is not followed";
            return false;
        }
        if ((existing.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) == 0) {
            lastOutcome.failure = "the output path exists and is not a directory";
            return false;
        }
    } else if (output.CreateDirectory(baseName.c_str()).Failed()) {
        lastOutcome.failure = "the output directory cannot be created";
        return false;
    }
    return true;
}

bool UnpackDialog::UnpackInto(const char* outputDirectory) {
    lastOutcome.outputDirectory = outputDirectory;
    vfs::FileSystemRef output;
    if (output.OpenDirectory(outputDirectory).Failed()) {
        lastOutcome.failure = "the output directory cannot be opened";
        return false;
    }
    destination = output;
    output.Reset();

    lastOutcome.copy = CopyTree(vfs::VfsString());
    SeparateRefusedEntries();
    return lastOutcome.copy.Complete() && lastOutcome.rejected.empty();
}

void UnpackDialog::SeparateRefusedEntries() {
    auto* wad = dynamic_cast<vfs::WadFileSystem*>(source.Get());
    if (wad == nullptr) {
        return;
    }
    std::vector<CopyFailure>& failures = lastOutcome.copy.failures;
    std::vector<CopyFailure> kept;
    for (CopyFailure& failure : failures) {
        if (failure.kind == CopyFailureKind::kOpenSource && wad->IsRefused(failure.path.c_str())) {
            lastOutcome.refused.push_back(failure.path);
        } else {
            kept.push_back(std::move(failure));
        }
    }
    failures = std::move(kept);
}

}  // namespace tarnwad
