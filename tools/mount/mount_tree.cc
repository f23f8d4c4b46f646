#include "tools/mount/mount_tree.h"

#include <utility>
#include <vector>

#include "app/entry_failure.h"
#include "app/tree_walk.h"
#include "vfs/core/file_system.h"
#include "vfs/core/last_error.h"
#include "vfs/core/stream_ref.h"
#include "vfs/wad/wad_entry_record.h"

namespace tarnwad::mount {

namespace {

// "\" and "/" separated archive path -> "/" separated mount path.
std::string MountPathOf(const std::string& archivePath) {
    std::string path = "/";
    for (char c : archivePath) {
        path += c == '\\' ? '/' : c;
    }
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The destination of the walk: it holds nothing, and each directory the walk
// would create is added to the tree instead.
class TreeRecorder : public vfs::FileSystem {
  public:
    explicit TreeRecorder(MountTree& tree) : tree(tree) {}

    vfs::Result CreateDirectory(const char* path) override {
        return tree.AddDirectory(path) == ~0u ? vfs::Result::Fail() : vfs::Result::Ok();
    }
    vfs::Result FindFirst(const char*, vfs::FindData*) override { return vfs::Result::Fail(); }
    vfs::Result FindNext(vfs::FindData*) override { return vfs::Result::Fail(); }
    vfs::Result OpenFile(vfs::StreamRef&, const char*, uint32_t, uint32_t) override {
        return vfs::Result::Fail();
    }
    vfs::Result SetAttributes(const char*, uint32_t) override { return vfs::Result::Fail(); }
    vfs::Result Delete(const char*) override { return vfs::Result::Fail(); }
    vfs::Result Move(const char*, const char*) override { return vfs::Result::Fail(); }
    void Close() override {}

  private:
    MountTree& tree;
};

// Takes what the walk hands on: files into the tree, the rest into the
// report.
class TreeFiller : public TreeWalk::Visitor {
  public:
    TreeFiller(vfs::FileSystemRef& source, MountTree& tree, MountTreeReport& report,
               const vfs::OverlayFileSystem* overlay)
        : source(source), tree(tree), report(report), overlay(overlay) {
        for (uint32_t i = 0; overlay != nullptr && i < overlay->LayerCount(); ++i) {
            vfs::FileIdentity identity;
            vfs::FileSystemRef layer = overlay->Layer(i);
            archiveLayer.push_back(layer.GetArchiveIdentity(&identity).Succeeded());
        }
    }

    void CopyFile(const std::string& path, uint32_t) override {
        uint32_t layer = 0;
        if (overlay != nullptr) {
            vfs::OverlayVersion serving;
            if (overlay->Serving(path.c_str(), &serving).Failed()) {
                report.unreachable.push_back({path, EntryFailureText(vfs::LastError())});
                return;
            }
            layer = serving.layer;
            if (!archiveLayer[layer]) {
                if (!tree.AddStreamFile(path, serving.size, layer)) {
                    report.unreachable.push_back({path, "a directory of the same path is there"});
                }
                return;
            }
        }
        vfs::WadEntryRecord record;
        if (source.ReadRecord(path.c_str(), &record).Failed()) {
            // Its path leads elsewhere; the lookup said where.
            report.unreachable.push_back({path, EntryFailureText(vfs::LastError())});
        } else if (vfs::WadCodingOf(record.flags) == vfs::WadCoding::REFUSED) {
            report.refused.push_back(path);
        } else if (!tree.AddFile(path, record, layer)) {
            report.unreachable.push_back({path, "a directory of the same path is there"});
        }
    }
    void Fail(const std::string& path, CopyFailureKind kind, std::string) override {
        if (kind == CopyFailureKind::kUnsafeName) {
            report.unsafe.push_back(path);
        }
    }
    void Warn(const std::string& path, std::string) override { report.hidden.push_back(path); }

  private:
    vfs::FileSystemRef& source;
    MountTree& tree;
    MountTreeReport& report;
    const vfs::OverlayFileSystem* overlay;
    std::vector<bool> archiveLayer;  // per layer: whether it reads records
};

}  // namespace

MountTree::MountTree() {
    Add("/", 0, true);
}

uint32_t MountTree::Add(std::string mountPath, uint32_t parent, bool directory) {
    const uint32_t index = static_cast<uint32_t>(nodes.size());
    auto [where, added] = table.emplace(std::move(mountPath), index);
    MountNode node;
    node.path = &where->first;
    node.parent = parent;
    node.directory = directory;
    nodes.push_back(std::move(node));
    if (index != 0) {
        MountNode& above = nodes[parent];
        above.children.push_back(index);
        above.subdirectories += directory ? 1 : 0;
    }
    files += directory ? 0 : 1;
    return index;
}

uint32_t MountTree::AddDirectory(const std::string& path) {
    const std::string full = MountPathOf(path);
    uint32_t at = 0;
    for (size_t cut = 1; cut < full.size();) {
        size_t end = full.find('/', cut);
        if (end == std::string::npos) {
            end = full.size();
        }
        std::string prefix = full.substr(0, end);
        if (auto found = table.find(prefix); found != table.end()) {
            if (!nodes[found->second].directory) {
                return ~0u;
            }
            at = found->second;
        } else {
            at = Add(std::move(prefix), at, true);
        }
        cut = end + 1;
    }
    return at;
}

uint32_t MountTree::AddFileNode(const std::string& path) {
    std::string full = MountPathOf(path);
    if (full.size() < 2 || table.count(full) != 0) {
        return ~0u;
    }
    const size_t slash = full.rfind('/');
    uint32_t parent = 0;
    if (slash > 0) {
        parent = AddDirectory(full.substr(1, slash - 1));
        if (parent == ~0u) {
            return ~0u;
        }
    }
    return Add(std::move(full), parent, false);
}

bool MountTree::AddStreamFile(const std::string& path, uint64_t size, uint32_t layer) {
    const uint32_t index = AddFileNode(path);
    if (index == ~0u) {
        return false;
    }
    MountNode& node = nodes[index];
    node.size = size;
    node.layer = layer;
    node.layerStream = true;
    return true;
}

bool MountTree::AddFile(const std::string& path, const vfs::WadEntryRecord& record,
                        uint32_t layer) {
    const uint32_t index = AddFileNode(path);
    if (index == ~0u) {
        return false;
    }
    MountNode& node = nodes[index];
    node.layer = layer;
    node.coding = vfs::WadCodingOf(record.flags);
    // A stored entry reads as its stored bytes, whatever size its record
    // gives; a coded one decodes to its unpacked size.
    node.size = node.coding == vfs::WadCoding::STORED ? record.storedSize : record.unpackedSize;
    node.dataOffset = record.dataOffset;
    node.storedSize = record.storedSize;
    return true;
}

const MountNode* MountTree::Find(const char* mountPath) const {
    auto found = table.find(mountPath);
    return found == table.end() ? nullptr : &nodes[found->second];
}

std::string MountTree::ArchivePath(uint32_t index) const {
    std::string path = nodes[index].path->substr(1);
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

void BuildMountTree(vfs::FileSystemRef& source, MountTree& tree, MountTreeReport& report,
                    const vfs::OverlayFileSystem* overlay) {
    vfs::FileSystemRef recorder;
    recorder.Set(new TreeRecorder(tree));
    TreeFiller filler(source, tree, report, overlay);
    TreeWalk(source, recorder, nullptr, filler).Run("");
}

}  // namespace tarnwad::mount
