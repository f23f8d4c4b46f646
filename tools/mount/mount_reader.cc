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
      state(new std::atomic<uint8_t>[tree.NodeCount()]),
      place(tree.NodeCount(), 0),
      lastOpened(new std::atomic<uint64_t>[tree.NodeCount()]),
      handedOver(new std::atomic<bool>[tree.NodeCount()]) {
    for (uint32_t i = 0; i < tree.NodeCount(); ++i) {
        state[i].store(kFine);
        lastOpened[i].store(uint64_t{~0u} << 32);
        handedOver[i].store(false);
        const std::vector<uint32_t>& children = tree.Node(i).children;
        for (uint32_t at = 0; at < children.size(); ++at) {
            place[children[at]] = at;
        }
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
    if (state[index].exchange(kNamed) != kNamed && complain) {
        complain(tree.ArchivePath(index), why);
    }
}

EntryCache::Entry MountReader::Decode(uint32_t index, bool ahead) {
    const MountNode& node = tree.Node(index);
    vfs::ClearLastError();
    return cache.Get(index, [&]() -> EntryCache::Entry {
        auto entry = std::make_shared<StreamEntry>();
        const std::string path = tree.ArchivePath(index);
        if (source.OpenFile(entry->Stream(), path.c_str(), kReadFlags, 0).Succeeded()) {
            if (entry->Settle(node.size)) {
                return entry;
            }
            vfs::SetLastError(vfs::ErrorCode::NOT_DECODABLE,
                              "does not read as its " + std::to_string(node.size) + " bytes");
        }
        if (ahead && vfs::LastError().code != vfs::ErrorCode::NONE) {
            // Kept before the opens waiting for this decode see its end.
            std::lock_guard<std::mutex> hold(failuresLock);
            failures[index] = EntryFailureText(vfs::LastError()) + "; reads fail";
            uint8_t fine = kFine;
            state[index].compare_exchange_strong(fine, kFailedAhead);
        }
        return nullptr;
    });
}

void MountReader::NameFailedAhead(uint32_t index) {
    if (state[index].load() != kFailedAhead) {
        return;
    }
    std::string why;
    {
        std::lock_guard<std::mutex> hold(failuresLock);
        why = failures[index];
    }
    Broken(index, why);
}

bool MountReader::CheckRecord(uint32_t index) {
    vfs::StreamRef check;
    const std::string path = tree.ArchivePath(index);
    return source.OpenFile(check, path.c_str(), kReadFlags, 0).Succeeded();
}

bool MountReader::Open(uint32_t index, Opened* out) {
    const MountNode& node = tree.Node(index);
    if (node.directory) {
        return false;
    }
    if (state[index].load() != kFine) {
        NameFailedAhead(index);
        return false;
    }
    out->node = index;
    out->decoded = nullptr;
    if (node.layerStream) {
        auto opened = std::make_unique<Opened::LayerStream>();
        const std::string path = tree.ArchivePath(index);
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
        if (!CheckRecord(index)) {
            Broken(index, EntryFailureText(vfs::LastError()) + "; reads fail");
            return false;
        }
    } else {
        out->decoded = Decode(index, false);
        if (out->decoded == nullptr) {
            // A thread that only waited for another's decode has no reason
            // of its own: the decoding open names the entry, or this one
            // when the decode was one ahead.
            if (vfs::LastError().code != vfs::ErrorCode::NONE) {
                Broken(index, EntryFailureText(vfs::LastError()) + "; reads fail");
            } else {
                NameFailedAhead(index);
            }
            return false;
        }
    }
    if (ahead != nullptr) {
        if (!handedOver[index].load() && node.size <= kDeliverLimit) {
            if (out->decoded != nullptr) {
                DeliverOnce(index, out->decoded->Data(), node.size);
            } else {
                std::vector<uint8_t> bytes(node.size);
                if (Read(*out, bytes.data(), node.size, 0) == static_cast<int64_t>(node.size)) {
                    DeliverOnce(index, bytes.data(), node.size);
                }
            }
        }
        QueueAhead(index);
    }
    return true;
}

void MountReader::StartAhead(unsigned threads, Deliver deliverTo) {
    ahead.reset();
    deliver = std::move(deliverTo);
    // Twice what one open queues: a reader that moved on leaves the rest.
    ahead = std::make_unique<AheadPool>(threads, 2 * kAheadFiles,
                                        [this](uint32_t index) { MakeReady(index); });
}

void MountReader::DeliverOnce(uint32_t index, const uint8_t* data, uint64_t size) {
    // An empty file has nothing to keep: reads end at its size.
    if (deliver && size > 0 && size <= kDeliverLimit && !handedOver[index].exchange(true)) {
        deliver(index, data, size);
        ++delivered;
    }
}

void MountReader::QueueAhead(uint32_t index) {
    const MountNode& node = tree.Node(index);
    const std::vector<uint32_t>& siblings = tree.Node(node.parent).children;
    const uint32_t at = place[index];
    // Ahead only while the files are read in order: this one follows (or
    // nearly follows) the one opened last in the directory, which followed
    // the one before it in turn. Reads here and there seldom do twice.
    std::atomic<uint64_t>& last = lastOpened[node.parent];
    uint64_t was = last.load();
    uint64_t now;
    do {
        const uint32_t before = static_cast<uint32_t>(was >> 32);
        const uint32_t run = static_cast<uint32_t>(was);
        const bool follows = before != ~0u && at > before && at - before <= 2;
        now = (uint64_t{at} << 32) | (follows ? std::min(run + 1, 2u) : 0u);
    } while (!last.compare_exchange_weak(was, now));
    if (static_cast<uint32_t>(now) < 2) {
        return;
    }
    const uint64_t window = cache.Budget() / kAheadBudgetShare;
    uint64_t bytes = 0;
    for (uint32_t next = at + 1; next < siblings.size() && next <= at + kAheadFiles; ++next) {
        const uint32_t sibling = siblings[next];
        const MountNode& file = tree.Node(sibling);
        if (file.directory || file.layerStream || file.size > window ||
            state[sibling].load() != kFine) {
            continue;
        }
        const bool coded = file.coding != vfs::WadCoding::STORED;
        if ((coded && cache.Holds(sibling)) ||
            (!coded &&
             (file.size == 0 || file.size > kDeliverLimit || handedOver[sibling].load()))) {
            continue;  // ready already, or nothing to do ahead
        }
        bytes += file.size;
        if (bytes > window) {
            break;
        }
        ahead->Queue(sibling);
    }
}

void MountReader::MakeReady(uint32_t index) {
    const MountNode& node = tree.Node(index);
    if (state[index].load() != kFine) {
        return;
    }
    ++madeReady;
    if (node.coding == vfs::WadCoding::STORED) {
        // A record that does not check is named by its open, which checks
        // it again; a short read by a read of the file.
        if (handedOver[index].load() || !CheckRecord(index)) {
            return;
        }
        std::vector<uint8_t> bytes(node.size);
        uint32_t done = 0;
        if (node.size == 0 ||
            (vfs::host::File::HasPositionedReads() && node.layer < archives.size() &&
             archives[node.layer] != nullptr &&
             archives[node.layer]->ReadAt(node.dataOffset, bytes.data(),
                                          static_cast<uint32_t>(node.size), &done) &&
             done == node.size)) {
            DeliverOnce(index, bytes.data(), node.size);
        }
        return;
    }
    const EntryCache::Entry entry = Decode(index, true);
    if (entry != nullptr) {
        DeliverOnce(index, entry->Data(), node.size);
    }
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
