// The unpack command of UnpackDialog: probe, output directory, copy, message.
#include <string>

#include "app/dry_run_file_system.h"
#include "app/host_path_check.h"
#include "app/outcome_details.h"
#include "app/output_name.h"
#include "app/unpack_dialog.h"
#include "vfs/core/find_data.h"
#include "vfs/core/path_resolution.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_file.h"
#include "vfs/host/host_limits.h"
#include "vfs/wad/wad_file_system.h"
#include "vfs/wad/wad_header.h"

namespace tarnwad {

namespace {

// ": reason" with the host's reason for the last failed call, or nothing.
std::string HostReason() {
    std::string why = vfs::host::LastErrorText();
    return why.empty() ? std::string() : ": " + why;
}

// Why the archive at `path` did not open, from what the host and the file's
// first bytes say.
std::string WhyArchiveDidNotOpen(const char* path) {
    char fullPath[vfs::HOST_MAX_PATH];
    if (vfs::ResolvePath(fullPath, sizeof(fullPath), path).Failed()) {
        return "the archive cannot be opened: its path is too long";
    }
    uint32_t attributes = vfs::host::GetPathAttributes(fullPath);
    if (attributes == vfs::host::INVALID_ATTRIBUTES) {
        return "the archive cannot be opened: no such file";
    }
    if ((attributes & vfs::host::ATTRIBUTE_DIRECTORY) != 0) {
        return "the archive cannot be opened: it is a folder";
    }
    vfs::host::File file;
    vfs::host::ClearLastError();
    if (!file.Open(fullPath, vfs::host::ACCESS_READ, vfs::host::SHARE_READ,
                   vfs::host::Disposition::OpenExisting)) {
        return "the archive cannot be read" + HostReason();
    }
    uint8_t bytes[vfs::WAD_HEADER_SIZE];
    uint32_t got = 0;
    if (!file.Read(bytes, sizeof(bytes), &got)) {
        return "the archive cannot be read" + HostReason();
    }
    if (got < vfs::WAD_HEADER_SIZE) {
        return "the file is too short to be a WAD archive (" + std::to_string(got) +
               " bytes, a header takes " + std::to_string(vfs::WAD_HEADER_SIZE) + ")";
    }
    vfs::WadHeader header = vfs::WadHeader::Decode(bytes);
    if (!header.HasMagic()) {
        return "the file is not a WAD archive: it does not begin with \"QARC\"";
    }
    if (header.version > vfs::WAD_MAX_VERSION) {
        return "the archive is of format version " + std::to_string(header.version) +
               ", which this tool does not know (it reads versions 0 to " +
               std::to_string(vfs::WAD_MAX_VERSION) + ")";
    }
    if (const int64_t size = file.GetSize();
        size > static_cast<int64_t>(vfs::WAD_MAX_ARCHIVE_SIZE)) {
        return "the archive is too large: a WAD archive holds at most 4 GiB - 1 bytes, and this "
               "file has " +
               std::to_string(size) + " bytes";
    }
    return "the archive is damaged or cut short: its record table or name table lies outside "
           "the file";
}

}  // namespace

int UnpackDialog::OnUnpack() {
    lastOutcome = UnpackOutcome();
    bool succeeded = ProbeArchive() && UnpackArchive();
    lastOutcome.succeeded = succeeded;
    std::string details = OutcomeDetails(lastOutcome);
    if (succeeded) {
        host->ShowDetailedMessage(kSucceededText, kSucceededCaption, details.c_str());
    } else {
        host->ShowDetailedMessage(kFailedText, kFailedCaption, details.c_str());
    }
    return 0;
}

bool UnpackDialog::ProbeArchive() {
    char path[vfs::HOST_MAX_PATH];
    path[0] = '\0';
    host->GetPathText(path, sizeof(path));

    vfs::FileSystemRef archive;
    std::string unusable;
    if (OpenUserArchive(archive, path, &unusable).Failed()) {
        lastOutcome.failure = !unusable.empty() ? unusable
                              : path[0] == '\0' ? "no archive was chosen"
                                                : WhyArchiveDidNotOpen(path);
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
    lastOutcome.notGameArchive = true;
    return false;
}

bool UnpackDialog::UnpackArchive() {
    vfs::FileSystemRef output;
    return PrepareOutputDirectory(output) && UnpackIntoOpened(output);
}

bool UnpackDialog::PrepareOutputDirectory(vfs::FileSystemRef& output) {
    vfs::VfsString fullPath;
    source.GetFullPath(fullPath, vfs::VfsString());
    lastOutcome.archivePath = fullPath.c_str();

    // The archive's directory and its name without the extension; the cut at
    // the last "." also drops the "*" that ends an archive's full path.
    int32_t lastSeparator = fullPath.ReverseFindOneOf("\\/");
    uint32_t split = lastSeparator < 0 ? 0 : static_cast<uint32_t>(lastSeparator) + 1;
    vfs::VfsString directory(fullPath.Left(split));
    vfs::VfsString fileName(fullPath.Mid(split));
    std::string why;
    const std::string baseName = OutputDirectoryName(fileName.c_str(), &why);
    if (baseName.empty()) {
        lastOutcome.failure = why;
        return false;
    }
    lastOutcome.outputDirectory = std::string(directory.c_str()) + baseName;

    // The archive's directory is held from here on, and the output directory
    // is made and entered in that very directory, never through a link.
    vfs::FileSystemRef parent;
    if (parent.OpenHeldDirectory(directory.c_str()).Failed()) {
        lastOutcome.failure = "the archive's directory cannot be opened";
        return false;
    }
    vfs::FindData existing;
    bool found = parent.FindFirst(baseName.c_str(), &existing).Succeeded();
    if (!found && dryRun) {
        output.Reset();  // it would be made
        return true;
    }
    if (!found) {
        vfs::host::ClearLastError();
        if (parent.CreateDirectory(baseName.c_str()).Failed()) {
            const std::string reason = HostReason();
            // Made by another process at the same moment: looked at below.
            found = parent.FindFirst(baseName.c_str(), &existing).Succeeded();
            if (!found) {
                lastOutcome.failure = "the output directory cannot be created" + reason;
                return false;
            }
        }
    }
    if (found) {
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
    }
    vfs::host::ClearLastError();
    if (output.OpenHeldDirectory(parent, baseName.c_str()).Failed()) {
        lastOutcome.failure = "the output directory cannot be opened" + HostReason();
        return false;
    }
    return true;
}

bool UnpackDialog::UnpackInto(const char* outputDirectory) {
    lastOutcome.outputDirectory = outputDirectory;
    vfs::FileSystemRef output;
    if (output.OpenHeldDirectory(outputDirectory).Failed()) {
        lastOutcome.failure = "the output directory cannot be opened";
        return false;
    }
    return UnpackIntoOpened(output);
}

bool UnpackDialog::UnpackIntoOpened(vfs::FileSystemRef& output) {
    if (dryRun) {
        vfs::FileSystemRef pretended;
        pretended.Set(new DryRunFileSystem(output));
        destination = pretended;
    } else {
        destination = output;
    }
    output.Reset();

    lastOutcome.copy = CopyTree(vfs::VfsString());
    SeparateRefusedEntries();
    return lastOutcome.copy.Complete() && lastOutcome.rejected.empty();
}

EntryCopyRules UnpackDialog::CopyRules() {
    EntryCopyRules rules;
    rules.keepExisting = keepExisting;
    vfs::FileIdentity archive;
    if (auto* wad = dynamic_cast<vfs::WadFileSystem*>(source.Get());
        wad != nullptr && wad->GetArchiveIdentity(&archive).Succeeded()) {
        rules.neverReplace = archive;
    }
    return rules;
}

void UnpackDialog::SeparateRefusedEntries() {
    std::vector<CopyFailure>& failures = lastOutcome.copy.failures;
    std::vector<CopyFailure> kept;
    for (CopyFailure& failure : failures) {
        if (failure.kind == CopyFailureKind::kRefused) {
            lastOutcome.refused.push_back(failure.path);
        } else {
            kept.push_back(std::move(failure));
        }
    }
    failures = std::move(kept);
}

}  // namespace tarnwad
