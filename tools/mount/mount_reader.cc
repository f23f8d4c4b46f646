#include "tools/mount/mount_reader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "app/entry_failure.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"

namespace tarnwad::mount {

namespace {

constexpr uint32_t kReadFlags = vfs::OPEN_READ | vfs::OPEN_SHARE_READ;

// An entry decoded whole by the archive's file system: the decoded stream
// it opened, with the bytes it holds.
class StreamEntry : public DecodedEntry {
  public:
    StreamEntry() = default;
    vfs::StreamRef& Stream() { return stream; }
    // Takes the bytes' place once the stream is open; false when it holds
    // no whole buffer of `expected` bytes.
    bool Settle(uint64_t expected) {
        const int32_t got = stream.GetSize();
        data = static_cast<const uint8_t*>(stream.Map());
        size = got < 0 ? 0 : static_cast<uint64_t>(got);
        return got >= 0 && size == expected && (data != nullptr || size == 0);
    }

    const uint8_t* Data() const override { return data; }
    uint64_t Size() const override { return size; }

  private:
    vfs::StreamRef stream;
    const uint8_t* data = nullptr;
    uint64_t size = 0;
};

}  // namespace

MountReader::MountReader(vfs::FileSystemRef& source, const MountTree& tree, uint64_t cacheBudget,
                         std::function<void(const std::string&, const std::string&)> complain)
    : source(source),
      tree(tree),
      cache(cacheBudget),
      complain(std::move(complain)),
      broken(new std::atomic<bool>[tree.NodeCount()]) {
    for (size_t i = 0; i < tree.NodeCount(); ++i) {
        broken[i].store(false);
    }
}

bool MountReader::OpenArchiveFile(const std::string& archivePath) {
    return OpenLayerArchiveFile(0, archivePath);
}

bool MountReader::OpenLayerArchiveFile(uint32_t layer, const std::string& archivePath) {
    auto file = std::make_unique<vfs::host::File>();
    if (!file->Open(archivePath.c_str(), vfs::host::ACCESS_READ, vfs::host::SHARE_READ,
                    vfs::host::Disposition::OpenExisting)) {
        return false;
    }
    if (archives.size() <= layer) {
        archives.resize(layer + 1);
    }
    archives[layer] = std::move(file);
    return true;
}

void MountReader::Broken(uint32_t index, const std::string& why) {
    if (!broken[index].exchange(true) && complain) {
        complain(tree.ArchivePath(index), why);
    }
}

bool MountReader::Open(uint32_t index, Opened* out) {
    const MountNode& node = tree.Node(index);
    if (node.directory || broken[index].load()) {
        return false;
    }
    const std::string path = tree.ArchivePath(index);
    out->node = index;
    out->decoded = nullptr;
    if (node.layerStream) {
        auto opened = std::make_unique<Opened::LayerStream>();
        if (source.OpenFile(opened->stream, path.c_str(), kReadFlags, 0).Failed()) {
            Broken(index, EntryFailureText(vfs::LastError()) + "; reads fail");
            return false;
        }
        out->layerStream = std::move(opened);
        return true;
    }
    if (node.coding == vfs::WadCoding::STORED) {
        // The archive's file system checks the record as for any open; the
        // bytes then come straight from the archive file.
        vfs::StreamRef check;
        if (source.OpenFile(check, path.c_str(), kReadFlags, 0).Failed()) {
            Broken(index, EntryFailureText(vfs::LastError()) + "; reads fail");
            return false;
        }
        return true;
    }
    vfs::ClearLastError();
    out->decoded = cache.Get(index, [&]() -> EntryCache::Entry {
        auto entry = std::make_shared<StreamEntry>();
        if (source.OpenFile(entry->Stream(), path.c_str(), kReadFlags, 0).Failed()) {
            return nullptr;
        }
        if (!entry->Settle(node.size)) {
            vfs::SetLastError(vfs::ErrorCode::NOT_DECODABLE,
                              "does not read as its " + std::to_string(node.size) + " bytes");
            return nullptr;
        }
        return entry;
    });
    if (out->decoded == nullptr) {
        // A thread that only waited for another's decode has no reason of
        // its own: the decoding thread names the entry.
        if (vfs::LastError().code != vfs::ErrorCode::NONE) {
            Broken(index, EntryFailureText(vfs::LastError()) + "; reads fail");
        }
        return false;
    }
    return true;
}

int64_t MountReader::Read(const Opened& opened, uint8_t* buffer, uint64_t size, uint64_t offset) {
    const MountNode& node = tree.Node(opened.node);
    if (offset >= node.size) {
        return 0;
    }
    const uint64_t count = std::min<uint64_t>({size, node.size - offset, 1u << 30});
    if (opened.decoded != nullptr) {
        std::memcpy(buffer, opened.decoded->Data() + offset, count);
        return static_cast<int64_t>(count);
    }
    int64_t got = -1;
    if (opened.layerStream != nullptr) {
        std::lock_guard<std::mutex> hold(opened.layerStream->lock);
        vfs::StreamRef& stream = opened.layerStream->stream;
        if (stream.Seek64(static_cast<int64_t>(offset), vfs::SEEK_FROM_START) ==
            static_cast<int64_t>(offset)) {
            got = stream.Read(buffer, static_cast<int32_t>(count));
        }
    } else if (vfs::host::File::HasPositionedReads() && node.layer < archives.size() &&
               archives[node.layer] != nullptr) {
        const uint64_t at = node.dataOffset + offset;  // within the file: Open checked it
        uint32_t done = 0;
        if (archives[node.layer]->ReadAt(at, buffer, static_cast<uint32_t>(count), &done)) {
            got = done;
        }
    } else {
        // A host without positioned reads: a stream of the entry's own.
        vfs::StreamRef stream;
        const std::string path = tree.ArchivePath(opened.node);
        if (source.OpenFile(stream, path.c_str(), kReadFlags, 0).Succeeded() &&
            stream.Seek64(static_cast<int64_t>(offset), vfs::SEEK_FROM_START) ==
                static_cast<int64_t>(offset)) {
            got = stream.Read(buffer, static_cast<int32_t>(count));
        }
    }
    if (got < 0) {
        return -1;
    }
    // Fewer bytes than the entry holds there: the archive file (or a
    // folder layer's file) is shorter than when it was mounted. A short
    // answer would read as the file's end and make a short copy look
    // complete.
    if (static_cast<uint64_t>(got) < count) {
        Broken(opened.node, node.layerStream
                                ? "the file was cut short while mounted; reads fail"
                                : "the archive file was cut short while mounted; reads fail");
        return -1;
    }
    return got;
}

}  // namespace tarnwad::mount
