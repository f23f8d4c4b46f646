#include "app/unpack_dialog.h"

#include <cstring>
#include <string>
#include <utility>

#include "app/dry_run_file_system.h"
#include "app/host_path_check.h"
#include "app/layered_archive.h"
#include "app/outcome_details.h"
#include "app/output_name.h"
#include "app/parallel_tree_copy.h"
#include "app/tree_copy.h"
#include "vfs/core/find_data.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_limits.h"

namespace tarnwad {

UnpackDialog::~UnpackDialog() {
    destination.Reset();
    source.Reset();
    archive.Reset();
}

void UnpackDialog::SetStatusText(const char* text) {
    host->SetStatusLine(text);
}

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
    // One byte more than a host path may take, so that a longer text (a
    // path given on the command line) is refused, not cut to a path that
    // names another file.
    char path[vfs::HOST_MAX_PATH + 1];
    path[0] = '\0';
    host->GetPathText(path, sizeof(path));
    if (path[0] == '\0') {
        lastOutcome.failure = "no archive was chosen";
        return false;
    }
    if (std::strlen(path) >= vfs::HOST_MAX_PATH) {
        lastOutcome.archiveFailure = "cannot be opened: its path is too long";
        lastOutcome.failure = "the archive " + lastOutcome.archiveFailure;
        return false;
    }
    if (!OpenSource(path)) {
        return false;
    }
    if (HoldsKnownEntry(source)) {
        return true;
    }
    lastOutcome.failure = NotAGameArchiveText();
    lastOutcome.notGameArchive = true;
    return false;
}

bool UnpackDialog::OpenSource(const std::string& path) {
    vfs::FileSystemRef opened;
    std::string why;
    if (OpenUserArchive(opened, path, &why).Failed()) {
        lastOutcome.archiveFailure = why;
        lastOutcome.failure = "the archive " + why;
        return false;
    }
    // From here on `source` holds the new archive, whatever the probe finds.
    archive.Reset();
    archiveIdentities.clear();
    source = opened;
    vfs::FileIdentity identity;
    if (opened.GetArchiveIdentity(&identity).Succeeded()) {
        archiveIdentities.push_back(identity);
    }
    if (const auto* rejected = source.GetRejectedRecords()) {
        lastOutcome.rejected = *rejected;
    }
    if (layers.empty()) {
        return true;
    }
    archive = opened;
    vfs::FileSystemRef merged;
    auto* overlay = new vfs::OverlayFileSystem();
    merged.Set(overlay);
    LayerFailure failure{path, "cannot be read"};
    if (overlay->AddLayer(opened, path).Failed() ||
        AddUserLayers(*overlay, layers, &failure).Failed()) {
        lastOutcome.failedLayer = failure.path;
        lastOutcome.archiveFailure = failure.why;
        lastOutcome.failure = "the layer " + failure.path + " " + failure.why;
        return false;
    }
    // Every archive of the stack is kept, as the base is.
    for (uint32_t layer = 1; layer < overlay->LayerCount(); ++layer) {
        if (overlay->Layer(layer).GetArchiveIdentity(&identity).Succeeded()) {
            archiveIdentities.push_back(identity);
        }
    }
    source = merged;
    return true;
}

bool UnpackDialog::UnpackArchive() {
    vfs::FileSystemRef output;
    return PrepareOutputDirectory(output) && UnpackIntoOpened(output);
}

bool UnpackDialog::PrepareOutputDirectory(vfs::FileSystemRef& output) {
    vfs::VfsString fullPath;
    Archive().GetFullPath(fullPath, vfs::VfsString());
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
            const std::string reason = vfs::host::LastErrorSuffix();
            const bool refused =
                vfs::host::LastErrorKind() == vfs::host::HostErrorKind::ACCESS_DENIED;
            // Made by another process at the same moment: looked at below.
            found = parent.FindFirst(baseName.c_str(), &existing).Succeeded();
            if (!found) {
                lastOutcome.failure = "the output directory cannot be created" + reason;
                lastOutcome.archiveFolderNotWritable = refused;
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
        lastOutcome.failure =
            "the output directory cannot be opened" + vfs::host::LastErrorSuffix();
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
    DryRunFileSystem* pretending = nullptr;
    if (dryRun) {
        vfs::FileSystemRef pretended;
        pretending = new DryRunFileSystem(output);
        pretended.Set(pretending);
        destination = pretended;
    } else {
        destination = output;
    }
    output.Reset();

    lastOutcome.copy = CopyTree(vfs::VfsString());
    if (pretending != nullptr) {
        lastOutcome.wouldWrite = pretending->Placed();
    }
    SeparateRefusedEntries();
    return lastOutcome.copy.Complete() && lastOutcome.rejected.empty();
}

CopyReport UnpackDialog::CopyTree(const vfs::VfsString& relativePath) {
    TreeCopySettings settings;
    settings.filter = filter;
    settings.rules = CopyRules();
    settings.showStatus = [this](const char* text) { SetStatusText(text); };
    if (jobs > 1) {
        return ParallelTreeCopy(source, destination, settings, jobs).Run(relativePath.c_str());
    }
    return CopyTreeInOrder(source, destination, relativePath.c_str(), settings);
}

EntryCopyRules UnpackDialog::CopyRules() {
    EntryCopyRules rules;
    rules.keepExisting = keepExisting;
    rules.neverReplace = archiveIdentities;
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
