#include "tools/pack/archive_output.h"

#include <algorithm>
#include <utility>

#include "vfs/wad/wad_entry_record.h"

namespace tarnwad::pack {

namespace {

// Writes `archive`, held whole by the writer, through a temporary file in
// the held `directory` renamed to `name`. Empty on success, otherwise why it
// failed.
std::string WriteArchive(const vfs::WadWriter& archive, const vfs::FileSystemRef& directory,
                         const std::string& name, bool force) {
    TemporaryArchive file;
    if (std::string failure = file.Create(directory, name); !failure.empty()) {
        return failure;
    }
    if (!archive.WriteTo(
            [](const uint8_t* bytes, size_t size, void* userValue) {
                return static_cast<TemporaryArchive*>(userValue)->Append(bytes, size);
            },
            &file)) {
        file.Discard();
        return "cannot be written (disk full?)";
    }
    return file.Commit(force);
}

}  // namespace

ArchiveOutput::ArchiveOutput(const vfs::FileSystemRef& directory, const std::string& name,
                             uint32_t version, const std::vector<PackFile>& files)
    : directory(directory),
      name(name),
      writer(version),
      streaming(streamed.Create(directory, name).empty()),
      frontSize(vfs::WadRecordOffset(static_cast<uint32_t>(files.size()))) {
    for (const PackFile& file : files) {
        frontSize += file.path.size() + 1;
    }
    if (streaming) {
        static const uint8_t zeros[4096] = {};
        for (uint64_t left = frontSize; left > 0 && !streamFailed;) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, sizeof(zeros)));
            streamFailed = !streamed.Append(zeros, piece);
            left -= piece;
        }
    }
}

bool ArchiveOutput::Add(const std::string& path, PackedFile& packed) {
    const vfs::Result added =
        streaming
            ? writer.AddPlacedEntry(path.c_str(), packed.stored.size(), packed.flags, packed.size)
            : writer.AddRawEntry(path.c_str(), std::move(packed.stored), packed.flags, packed.size);
    if (streaming && added.Succeeded() && !streamFailed) {
        streamFailed = !streamed.Append(packed.stored.data(), packed.stored.size());
    }
    return added.Succeeded();
}

std::string ArchiveOutput::Commit(bool force) {
    if (!streaming) {
        return WriteArchive(writer, directory, name, force);
    }
    if (!CompleteFront()) {
        return "cannot be written (disk full?)";
    }
    return streamed.Commit(force);
}

std::string ArchiveOutput::CopyOut(std::FILE* out) {
    if (!streaming) {
        // No temporary file could be made: the writer holds the archive.
        const bool written = writer.WriteTo(
            [](const uint8_t* bytes, size_t size, void* userValue) {
                return std::fwrite(bytes, 1, size, static_cast<std::FILE*>(userValue)) == size;
            },
            out);
        return written && std::fflush(out) == 0 ? std::string() : "cannot be written";
    }
    if (!CompleteFront()) {
        return "cannot be written: its temporary file cannot be written (disk full?)";
    }
    return streamed.CopyOut(out);
}

bool ArchiveOutput::CompleteFront() {
    std::vector<uint8_t> front;
    front.reserve(static_cast<size_t>(frontSize));
    writer.WriteFront(
        [](const uint8_t* bytes, size_t size, void* userValue) {
            auto* into = static_cast<std::vector<uint8_t>*>(userValue);
            into->insert(into->end(), bytes, bytes + size);
            return true;
        },
        &front);
    if (streamFailed || front.size() != frontSize ||
        !streamed.WriteFromStart(front.data(), front.size())) {
        streamed.Discard();
        return false;
    }
    return true;
}

}  // namespace tarnwad::pack
