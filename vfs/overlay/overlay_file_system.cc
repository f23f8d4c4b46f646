#include "vfs/overlay/overlay_file_system.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vfs/core/name_arena.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_limits.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_file_system.h"
#include "vfs/wad/wad_node_name.h"
#include "vfs/wad/wildcard_pattern.h"

namespace vfs {

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kTombstone = 0xFFFFFFFEu;
// Write, share-write and create: the overlay is read-only.
constexpr uint32_t kWriteFlags = 0x40000012u;
// What an enumeration reports for a file, as archives do: read-only, normal.
constexpr uint32_t kFileAttributes = 0x01 | 0x80;
// Layers are numbered in 16 bits in the index.
constexpr uint32_t kMaxLayers = 0xFFFF;

char Fold(char c) {
    if (c == '/') {
        return '\\';
    }
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// `path` with one separator cut off each end, '/' turned into '\' and ASCII
// letters into lower case: the key of the merged index.
std::string FoldPath(const char* path) {
    std::string_view text(path == nullptr ? "" : path);
    if (!text.empty() && IsPathSeparator(text.back())) {
        text.remove_suffix(1);
    }
    if (!text.empty() && IsPathSeparator(text.front())) {
        text.remove_prefix(1);
    }
    std::string folded(text);
    for (char& c : folded) {
        c = Fold(c);
    }
    return folded;
}

// FoldPath into `out`, a buffer of HOST_MAX_PATH bytes, without taking
// memory: the hot path of OpenFile. False when the folded path does not fit,
// and no path of the tree is that long.
bool FoldPathInto(const char* path, char* out, size_t* length) {
    std::string_view text(path == nullptr ? "" : path);
    if (!text.empty() && IsPathSeparator(text.back())) {
        text.remove_suffix(1);
    }
    if (!text.empty() && IsPathSeparator(text.front())) {
        text.remove_prefix(1);
    }
    if (text.size() >= HOST_MAX_PATH) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        out[i] = Fold(text[i]);
    }
    out[text.size()] = '\0';
    *length = text.size();
    return true;
}

Result Fail(ErrorCode code, std::string text) {
    SetLastError(code, std::move(text));
    return Result::Fail();
}

}  // namespace

struct OverlayFileSystem::Index {
    // One path of the merged tree: 32 bytes.
    struct Node {
        // Lower case, NUL-terminated: in `names`, or in an archive layer's
        // own tree, which lives as long as the layer; "" for the top.
        const char* name;
        uint32_t parent;
        uint32_t firstChild;
        uint32_t nextSibling;
        uint32_t size;  // the winner's, for a file
        uint16_t nameLength;
        uint16_t layer;  // the winner: the highest layer that has the path
        uint8_t flags;
    };
    static constexpr uint8_t DIRECTORY = 1;
    static constexpr uint8_t HAS_LOWER = 2;  // lower layers have it too (`lower`)
    static constexpr uint8_t REMOVED = 4;    // hidden beneath a file of a higher layer

    // A lower layer's version of a path, kept only where several layers
    // have it; a path's versions are chained from the latest down.
    struct Lower {
        uint32_t next;  // the version below, or kNone
        uint32_t size;
        uint16_t layer;
        bool isDirectory;
    };

    // A slot of the open-addressed table: the low half of the path's hash,
    // which also places it, and the node, or kNone (empty) or kTombstone
    // (removed).
    struct Slot {
        uint32_t tag;
        uint32_t node;
    };

    struct LayerInfo {
        FileSystemRef fileSystem;
        std::string name;
        // Host folders spell names in their own case; those spellings are in
        // `spellings`. Archives and overlays report lower case.
        bool hasSpellings = false;
        // Layers whose OpenFile may not run on several threads at once.
        std::unique_ptr<std::mutex> serial;
    };

    // The nodes, in blocks that never move, so that growing the tree
    // neither copies it nor leaves half of a doubled array unused.
    class NodeStore {
      public:
        static constexpr uint32_t BLOCK = 4096;
        Node& operator[](uint32_t i) { return blocks[i / BLOCK][i % BLOCK]; }
        const Node& operator[](uint32_t i) const { return blocks[i / BLOCK][i % BLOCK]; }
        uint32_t size() const { return count; }
        void push_back(const Node& node) {
            if (count % BLOCK == 0) {
                blocks.push_back(std::unique_ptr<Node[]>(new Node[BLOCK]));
            }
            blocks.back()[count % BLOCK] = node;
            ++count;
        }
        void clear() {
            blocks.clear();
            count = 0;
        }

      private:
        std::vector<std::unique_ptr<Node[]>> blocks;
        uint32_t count = 0;
    };

    std::vector<LayerInfo> layers;
    NodeStore nodes;
    std::vector<Slot> slots;
    uint32_t used = 0;  // slots that are not empty (tombstones included)
    NameArena names;
    // While an archive is merged: its tree's names serve as the nodes'.
    bool borrowNames = false;
    // The versions below the winner: node -> its latest in `versions`.
    std::unordered_map<uint32_t, uint32_t> lower;
    std::vector<Lower> versions;
    // (node << 16 | layer) -> the name as that layer spells it, where that is
    // not the lower-case name.
    std::unordered_map<uint64_t, const char*> spellings;
    std::vector<OverlayCaseClash> caseClashes;

    // The enumeration in progress.
    std::vector<uint32_t> found;
    size_t nextFound = 0;
    std::string foundDirectory;  // folded, with a final '\' unless empty

    Index() { Clear(); }

    void Clear() {
        layers.clear();
        nodes.clear();
        nodes.push_back(Node{"", kNone, kNone, kNone, 0, 0, 0, DIRECTORY});
        slots.assign(64, Slot{0, kNone});
        used = 0;
        names.Reset();
        lower.clear();
        versions.clear();
        spellings.clear();
        caseClashes.clear();
        found.clear();
        nextFound = 0;
    }

    // A path's hash, made from its parent's and the keyed hash of its own
    // name: the hash an archive's tree already keeps for each name
    // (WadNameHash), so that merging an archive hashes nothing again. Every
    // step is a bijection of 64 bits, and the names' hashes cannot be
    // foretold without the process's key.
    static uint64_t ChildHash(uint64_t parentHash, uint32_t nameHash) {
        uint64_t x = parentHash ^ (uint64_t{nameHash} * 0x9E3779B97F4A7C15ull);
        x ^= x >> 31;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 27;
        x *= 0x94D049BB133111EBull;
        x ^= x >> 31;
        return x;
    }

    static uint32_t NameHash(std::string_view name) {
        return WadNameHash(name.data(), static_cast<uint32_t>(name.size()));
    }

    // The hash of a folded path, component by component.
    static uint64_t PathHash(std::string_view path) {
        uint64_t hash = 0;
        while (true) {
            const size_t cut = path.find('\\');
            hash = ChildHash(hash, NameHash(path.substr(0, cut)));
            if (cut == std::string_view::npos) {
                return hash;
            }
            path.remove_prefix(cut + 1);
        }
    }

    uint64_t NodeHash(uint32_t node) const {
        if (node == 0) {
            return 0;
        }
        const Node& n = nodes[node];
        return ChildHash(NodeHash(n.parent), NameHash(std::string_view(n.name, n.nameLength)));
    }

    // Whether `node`'s path is `path` (folded).
    bool HasPath(uint32_t node, std::string_view path) const {
        while (node != 0) {
            const Node& n = nodes[node];
            if (path.size() < n.nameLength ||
                std::memcmp(path.data() + path.size() - n.nameLength, n.name, n.nameLength) != 0) {
                return false;
            }
            path.remove_suffix(n.nameLength);
            node = n.parent;
            if (node != 0) {
                if (path.empty() || path.back() != '\\') {
                    return false;
                }
                path.remove_suffix(1);
            }
        }
        return path.empty();
    }

    // The node of the folded `path`, or kNone. The empty path is the top.
    uint32_t Find(std::string_view path) const {
        if (path.empty()) {
            return 0;
        }
        const uint64_t hash = PathHash(path);
        const size_t mask = slots.size() - 1;
        const auto tag = static_cast<uint32_t>(hash);
        for (size_t i = tag & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots[i];
            if (slot.node == kNone) {
                return kNone;
            }
            if (slot.node != kTombstone && slot.tag == tag && HasPath(slot.node, path)) {
                return slot.node;
            }
        }
    }

    // The child `name` (folded) of `parent`, whose path hash is `hash`, or kNone.
    uint32_t FindChild(uint32_t parent, std::string_view name, uint64_t hash) const {
        const size_t mask = slots.size() - 1;
        const auto tag = static_cast<uint32_t>(hash);
        for (size_t i = tag & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots[i];
            if (slot.node == kNone) {
                return kNone;
            }
            if (slot.node != kTombstone && slot.tag == tag) {
                const Node& n = nodes[slot.node];
                if (n.parent == parent && n.nameLength == name.size() &&
                    std::memcmp(n.name, name.data(), name.size()) == 0) {
                    return slot.node;
                }
            }
        }
    }

    void Insert(uint32_t node, uint64_t hash) {
        if ((used + 1) * 10 > slots.size() * 7) {  // at most 70 % full
            Grow();
        }
        const size_t mask = slots.size() - 1;
        size_t i = static_cast<uint32_t>(hash) & mask;
        while (slots[i].node != kNone) {
            i = (i + 1) & mask;
        }
        slots[i] = Slot{static_cast<uint32_t>(hash), node};
        ++used;
    }

    // Makes room for `more` nodes at once, so that merging an archive
    // rehashes at most once.
    void Reserve(size_t more) {
        size_t size = slots.size();
        while ((used + more) * 10 > size * 7) {
            size *= 2;
        }
        if (size != slots.size()) {
            Rehash(size);
        }
    }

    void Grow() { Rehash(slots.size() * 2); }

    // Moves the table to one of `size` slots, leaving the tombstones behind.
    void Rehash(size_t size) {
        std::vector<Slot> old(size, Slot{0, kNone});
        old.swap(slots);
        used = 0;
        const size_t mask = slots.size() - 1;
        for (const Slot& slot : old) {
            if (slot.node == kNone || slot.node == kTombstone) {
                continue;
            }
            size_t i = slot.tag & mask;
            while (slots[i].node != kNone) {
                i = (i + 1) & mask;
            }
            slots[i] = slot;
            ++used;
        }
    }

    void Erase(uint32_t node) {
        const uint64_t hash = NodeHash(node);
        const size_t mask = slots.size() - 1;
        for (size_t i = static_cast<uint32_t>(hash) & mask; slots[i].node != kNone;
             i = (i + 1) & mask) {
            if (slots[i].node == node) {
                slots[i].node = kTombstone;
                return;
            }
        }
    }

    // Removes everything below `node` from the tree (a file of a higher
    // layer hides a directory of lower ones).
    void RemoveChildren(uint32_t node) {
        for (uint32_t child = nodes[node].firstChild; child != kNone;
             child = nodes[child].nextSibling) {
            RemoveChildren(child);
            Erase(child);
            nodes[child].flags |= REMOVED;
            lower.erase(child);
        }
        nodes[node].firstChild = kNone;
    }

    // The folded path of `node` below the top.
    void PathOf(uint32_t node, std::string* out) const {
        out->clear();
        AppendPath(node, out, kNone);
    }

    // Appends `node`'s path; with a `layer`, as that layer spells it.
    void AppendPath(uint32_t node, std::string* out, uint32_t layer) const {
        if (node == 0) {
            return;
        }
        const Node& n = nodes[node];
        if (n.parent != 0) {
            AppendPath(n.parent, out, layer);
            out->push_back('\\');
        }
        out->append(SpelledName(node, layer));
    }

    std::string_view SpelledName(uint32_t node, uint32_t layer) const {
        const Node& n = nodes[node];
        if (layer != kNone && layers[layer].hasSpellings) {
            auto it = spellings.find(SpellingKey(node, layer));
            if (it != spellings.end()) {
                return it->second;
            }
        }
        return std::string_view(n.name, n.nameLength);
    }

    static uint64_t SpellingKey(uint32_t node, uint32_t layer) {
        return (uint64_t{node} << 16) | layer;
    }

    std::string Spelled(uint32_t node, uint32_t layer) const {
        std::string out;
        AppendPath(node, &out, layer);
        return out;
    }

    OverlayVersion Version(uint32_t node, uint32_t layer, bool isDirectory, uint32_t size) const {
        OverlayVersion version;
        version.layer = layer;
        version.isDirectory = isDirectory;
        version.size = isDirectory ? 0 : size;
        version.spelled = Spelled(node, layer);
        return version;
    }

    OverlayVersion Winner(uint32_t node) const {
        const Node& n = nodes[node];
        return Version(node, n.layer, (n.flags & DIRECTORY) != 0, n.size);
    }

    std::vector<OverlayVersion> VersionsOf(uint32_t node) const {
        std::vector<OverlayVersion> out;
        if ((nodes[node].flags & HAS_LOWER) != 0) {
            for (uint32_t v = lower.at(node); v != kNone; v = versions[v].next) {
                const Lower& version = versions[v];
                out.push_back(Version(node, version.layer, version.isDirectory, version.size));
            }
            std::reverse(out.begin(), out.end());
        }
        out.push_back(Winner(node));
        return out;
    }

    // Merges one name of `layer` into the directory `parent`, whose path's
    // hash is `parentHash`. `folded` is
    // the name in lower case, `nameHash` its NameHash, `spelled` the name as
    // the layer spells it. Returns the node to merge the name's own entries
    // into (a directory that is kept), else kNone; `hash` receives the
    // path's hash.
    uint32_t Merge(uint32_t parent, uint64_t parentHash, std::string_view folded, uint32_t nameHash,
                   std::string_view spelled, bool isDirectory, uint32_t size, uint16_t layer,
                   uint64_t* hash) {
        *hash = ChildHash(parentHash, nameHash);
        return MergeHashed(parent, *hash, folded, spelled, isDirectory, size, layer);
    }

    // Merge, given the path's hash.
    uint32_t MergeHashed(uint32_t parent, uint64_t hash, std::string_view folded,
                         std::string_view spelled, bool isDirectory, uint32_t size,
                         uint16_t layer) {
        uint32_t node = FindChild(parent, folded, hash);
        if (node == kNone) {
            node = nodes.size();
            const char* name =
                borrowNames ? folded.data()
                            : names.Copy(folded.data(), static_cast<uint32_t>(folded.size()));
            nodes.push_back(Node{name, parent, kNone, nodes[parent].firstChild, size,
                                 static_cast<uint16_t>(folded.size()), layer,
                                 static_cast<uint8_t>(isDirectory ? DIRECTORY : 0)});
            nodes[parent].firstChild = node;
            Insert(node, hash);
            Spell(node, layer, folded, spelled);
            return isDirectory ? node : kNone;
        }

        Node& n = nodes[node];
        const bool wasDirectory = (n.flags & DIRECTORY) != 0;
        if (n.layer == layer) {
            // A second name of this layer for one path: the first serves. In
            // a host folder the two differ in case; an archive's repeated
            // record of one path is the archive's own matter.
            const std::string_view kept = SpelledName(node, layer);
            if (kept != spelled) {
                std::string hidden;
                AppendPath(parent, &hidden, layer);
                if (!hidden.empty()) {
                    hidden.push_back('\\');
                }
                hidden.append(spelled);
                caseClashes.push_back(OverlayCaseClash{layer, Spelled(node, layer), hidden});
            }
            return kNone;
        }
        const auto head = lower.try_emplace(node, kNone).first;
        versions.push_back(Lower{head->second, wasDirectory ? 0 : n.size, n.layer, wasDirectory});
        head->second = static_cast<uint32_t>(versions.size() - 1);
        n.flags |= HAS_LOWER;
        n.layer = layer;
        n.size = isDirectory ? 0 : size;
        if (isDirectory) {
            n.flags |= DIRECTORY;
        } else {
            n.flags &= static_cast<uint8_t>(~DIRECTORY);
            if (wasDirectory) {
                RemoveChildren(node);
            }
        }
        Spell(node, layer, folded, spelled);
        return isDirectory ? node : kNone;
    }

    void Spell(uint32_t node, uint16_t layer, std::string_view folded, std::string_view spelled) {
        // An archive's names are their folded form itself.
        if (spelled.data() != folded.data() && spelled != folded) {
            spellings.emplace(SpellingKey(node, layer),
                              names.Copy(spelled.data(), static_cast<uint32_t>(spelled.size())));
            layers[layer].hasSpellings = true;
        }
    }

    // An archive's tree, walked directly: subdirectories first, then files,
    // as the archive's lookups find them. The tree's names are folded and
    // hashed already.
    void MergeArchive(const WadDirNode& directory, uint32_t parent, uint64_t parentHash,
                      uint16_t layer) {
        uint64_t hash = 0;
        for (const WadDirNode* sub = directory.subdirectories.head; sub != nullptr;
             sub = sub->next) {
            const std::string_view name(sub->name.c_str(), sub->name.Length());
            const uint32_t node =
                Merge(parent, parentHash, name, sub->name.Hash(), name, true, 0, layer, &hash);
            if (node != kNone) {
                MergeArchive(*sub, node, hash, layer);
            }
        }
        // The table's slot of the next file is fetched while this one is
        // merged: merging waits on memory, not on work.
        const size_t mask = slots.size() - 1;
        const WadFileEntry* file = directory.files.head;
        uint64_t next = file != nullptr ? ChildHash(parentHash, file->name.Hash()) : 0;
        while (file != nullptr) {
            const WadFileEntry* following = file->next;
            const uint64_t current = next;
            if (following != nullptr) {
                next = ChildHash(parentHash, following->name.Hash());
                __builtin_prefetch(&slots[static_cast<uint32_t>(next) & mask]);
            }
            const std::string_view name(file->name.c_str(), file->name.Length());
            MergeHashed(parent, current, name, name, false, file->ReportedSize(), layer);
            file = following;
        }
    }

    // One entry of a layer walked through FindFirst/FindNext.
    struct Walked {
        std::string spelled;
        uint32_t parent;  // index in the walk; kNone for the layer's top
        bool isDirectory;
        uint32_t size;
    };

    // Lists the tree of `fileSystem` below `directory` (spelled, '\' at the
    // end unless empty) into `out`. Links and special files are left out:
    // a held host folder does not open them.
    static Result Walk(FileSystem& fileSystem, const std::string& directory, uint32_t parent,
                       std::vector<Walked>* out) {
        FindData data;
        const std::string pattern = directory + "*";
        ClearLastError();
        if (fileSystem.FindFirst(pattern.c_str(), &data).Failed()) {
            const ErrorCode code = LastError().code;
            if (code == ErrorCode::NONE || code == ErrorCode::NOT_FOUND) {
                return Result::Ok();  // nothing there
            }
            return Fail(code, (directory.empty() ? std::string("its top") : directory) + " " +
                                  LastError().text);
        }
        const size_t first = out->size();
        do {
            const char* name = data.name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
                std::strchr(name, '\\') != nullptr ||
                (data.attributes & (FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
                continue;
            }
            const bool isDirectory = (data.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            out->push_back(Walked{name, parent, isDirectory, isDirectory ? 0 : data.size});
        } while (fileSystem.FindNext(&data).Succeeded());
        // One enumeration at a time: the directories' own entries after.
        const size_t last = out->size();
        for (size_t i = first; i < last; ++i) {
            if ((*out)[i].isDirectory) {
                const std::string below = directory + (*out)[i].spelled + "\\";
                if (Walk(fileSystem, below, static_cast<uint32_t>(i), out).Failed()) {
                    return Result::Fail();
                }
            }
        }
        return Result::Ok();
    }

    void MergeWalked(const std::vector<Walked>& walked, uint16_t layer) {
        // The merged node of each walked directory (kNone: hidden) and its
        // path's hash.
        std::vector<uint32_t> merged(walked.size(), kNone);
        std::vector<uint64_t> hashes(walked.size(), 0);
        std::string name;
        for (size_t i = 0; i < walked.size(); ++i) {
            const Walked& entry = walked[i];
            uint32_t parent = 0;
            uint64_t parentHash = 0;
            if (entry.parent != kNone) {
                parent = merged[entry.parent];
                parentHash = hashes[entry.parent];
                if (parent == kNone) {
                    continue;
                }
            }
            name = entry.spelled;
            for (char& c : name) {
                c = Fold(c);
            }
            merged[i] = Merge(parent, parentHash, name, NameHash(name), entry.spelled,
                              entry.isDirectory, entry.size, layer, &hashes[i]);
        }
    }
};

OverlayFileSystem::OverlayFileSystem() : index(std::make_unique<Index>()) {}

OverlayFileSystem::~OverlayFileSystem() = default;

Result OverlayFileSystem::AddLayer(const FileSystemRef& layer, const std::string& name) {
    ClearLastError();
    FileSystem* fileSystem = layer.Get();
    if (fileSystem == nullptr || fileSystem == this) {
        return Fail(ErrorCode::NOT_FOUND, "cannot be added: it is not an open file system");
    }
    if (index->layers.size() >= kMaxLayers) {
        return Fail(ErrorCode::TOO_LARGE, "cannot be added: an overlay holds at most " +
                                              std::to_string(kMaxLayers) + " layers");
    }
    const auto number = static_cast<uint16_t>(index->layers.size());
    auto* archive = dynamic_cast<WadFileSystem*>(fileSystem);
    WadDirNode* top = nullptr;
    std::vector<Index::Walked> walked;
    if (archive != nullptr) {
        // The archive's tree directly: much faster than name by name.
        top = archive->GetDirectory().Root();
        const std::string inner = FoldPath(archive->GetInnerRoot());
        if (top != nullptr && !inner.empty()) {
            VfsString prefix;
            top = top->LookupDir(StringView(inner.data(), static_cast<uint32_t>(inner.size())),
                                 prefix);
        }
        if (top == nullptr) {
            return Fail(ErrorCode::NOT_FOUND, "cannot be added: the archive is not open");
        }
    } else if (Index::Walk(*fileSystem, "", kNone, &walked).Failed()) {
        return Result::Fail();
    }

    Index::LayerInfo info;
    info.fileSystem = layer;
    info.name = name;
    // Archives and overlays may open files on several threads at once; a
    // host folder locates each path in state of its own, one at a time.
    if (archive == nullptr && dynamic_cast<OverlayFileSystem*>(fileSystem) == nullptr) {
        info.serial = std::make_unique<std::mutex>();
    }
    index->layers.push_back(std::move(info));
    if (top != nullptr) {
        index->Reserve(archive->GetHeader().entryCount);
        index->borrowNames = true;
        index->MergeArchive(*top, 0, 0, number);
        index->borrowNames = false;
    } else {
        index->MergeWalked(walked, number);
    }
    index->nodes[0].layer = number;
    return Result::Ok();
}

Result OverlayFileSystem::AddLayerPath(const char* path, ErrorReason* why) {
    ClearLastError();
    FileSystemRef layer;
    Result opened = Result::Fail();
    char resolved[HOST_MAX_PATH];
    uint32_t attributes = host::INVALID_ATTRIBUTES;
    if (path != nullptr && ResolvePath(resolved, sizeof resolved, path).Succeeded()) {
        attributes = host::GetPathAttributes(resolved);
    }
    if (attributes != host::INVALID_ATTRIBUTES && (attributes & host::ATTRIBUTE_DIRECTORY) != 0) {
        opened = layer.OpenHeldDirectory(path);
    } else {
        // A file, an archive with an inner root, or nothing: the archive
        // says which.
        opened = layer.OpenArchive(path, 0);
    }
    if (opened.Succeeded()) {
        opened = AddLayer(layer, path);
    }
    if (opened.Failed() && why != nullptr) {
        *why = LastError();
    }
    return opened;
}

uint32_t OverlayFileSystem::LayerCount() const {
    return static_cast<uint32_t>(index->layers.size());
}

const std::string& OverlayFileSystem::LayerName(uint32_t layer) const {
    return index->layers.at(layer).name;
}

FileSystemRef OverlayFileSystem::Layer(uint32_t layer) const {
    return index->layers.at(layer).fileSystem;
}

Result OverlayFileSystem::OpenFile(StreamRef& out, const char* path, uint32_t flags,
                                   uint32_t reserved) {
    ClearLastError();
    if (out.Get() != nullptr) {
        return Result::Fail();
    }
    if ((flags & kWriteFlags) != 0) {
        return Fail(ErrorCode::UNSUPPORTED,
                    "cannot be opened for writing: the overlay is read-only");
    }
    char folded[HOST_MAX_PATH];
    size_t length = 0;
    const uint32_t node =
        FoldPathInto(path, folded, &length) ? index->Find(std::string_view(folded, length)) : kNone;
    if (node == kNone) {
        return Fail(ErrorCode::NOT_FOUND, "no such entry");
    }
    const Index::Node& n = index->nodes[node];
    if ((n.flags & Index::DIRECTORY) != 0) {
        return Fail(ErrorCode::IS_DIRECTORY, "is a directory");
    }
    Index::LayerInfo& layer = index->layers[n.layer];
    // A layer that spells every name in lower case takes the folded path.
    std::string spelled;
    if (layer.hasSpellings) {
        spelled = index->Spelled(node, n.layer);
    }
    const char* layerPath = layer.hasSpellings ? spelled.c_str() : folded;
    if (layer.serial != nullptr) {
        std::lock_guard<std::mutex> hold(*layer.serial);
        return layer.fileSystem.OpenFile(out, layerPath, flags, reserved);
    }
    return layer.fileSystem.OpenFile(out, layerPath, flags, reserved);
}

Result OverlayFileSystem::FindFirst(const char* pattern, FindData* out) {
    Index& x = *index;
    x.found.clear();
    x.nextFound = 0;
    if (pattern == nullptr || pattern[0] == '\0' || out == nullptr ||
        PrepareFindData(out, pattern).Failed()) {
        return Result::Fail();
    }
    const std::string folded = FoldPath(pattern);
    const size_t cut = folded.rfind('\\');
    const std::string directory = cut == std::string::npos ? "" : folded.substr(0, cut);
    const std::string leaf = cut == std::string::npos ? folded : folded.substr(cut + 1);
    const uint32_t parent = x.Find(directory);
    if (parent == kNone || (x.nodes[parent].flags & Index::DIRECTORY) == 0) {
        return Fail(ErrorCode::NOT_FOUND, "no such entry");
    }
    x.foundDirectory = directory.empty() ? "" : directory + "\\";
    if (leaf.find_first_of("*?") == std::string::npos) {
        // No wildcard: the one entry of that name.
        const uint32_t node = x.Find(folded);
        if (node != kNone && node != 0) {
            x.found.push_back(node);
        }
    } else {
        // As archives match names: a final ".*" also passes names without
        // an extension.
        WildcardPattern primary;
        primary.Compile(leaf.c_str());
        WildcardPattern withoutExtension;
        const bool alsoWithoutExtension =
            leaf.size() >= 2 && leaf.compare(leaf.size() - 2, 2, ".*") == 0;
        if (alsoWithoutExtension) {
            withoutExtension.Compile(leaf.substr(0, leaf.size() - 2).c_str());
        }
        for (uint32_t child = x.nodes[parent].firstChild; child != kNone;
             child = x.nodes[child].nextSibling) {
            const char* name = x.nodes[child].name;
            if (primary.Match(name) || (alsoWithoutExtension && withoutExtension.Match(name))) {
                x.found.push_back(child);
            }
        }
        std::sort(x.found.begin(), x.found.end(), [&x](uint32_t a, uint32_t b) {
            return std::strcmp(x.nodes[a].name, x.nodes[b].name) < 0;
        });
    }
    if (FindNext(out).Failed()) {
        return Fail(ErrorCode::NOT_FOUND, "no such entry");
    }
    return Result::Ok();
}

Result OverlayFileSystem::FindNext(FindData* out) {
    Index& x = *index;
    while (x.nextFound < x.found.size()) {
        const Index::Node& n = x.nodes[x.found[x.nextFound++]];
        // The directory part as folded, then the name.
        const size_t total = x.foundDirectory.size() + n.nameLength;
        if (out == nullptr || total >= sizeof out->path) {
            continue;
        }
        std::memcpy(out->path, x.foundDirectory.data(), x.foundDirectory.size());
        std::memcpy(out->path + x.foundDirectory.size(), n.name, n.nameLength);
        out->path[total] = '\0';
        out->name = out->path + x.foundDirectory.size();
        const bool isDirectory = (n.flags & Index::DIRECTORY) != 0;
        out->attributes = isDirectory ? FILE_ATTRIBUTE_DIRECTORY : kFileAttributes;
        out->size = isDirectory ? 0 : n.size;
        out->lastWriteTime = out->lastAccessTime = out->creationTime = 0;
        return Result::Ok();
    }
    return Result::Fail();
}

Result OverlayFileSystem::SetAttributes(const char*, uint32_t) {
    return Fail(ErrorCode::UNSUPPORTED, "cannot be changed: the overlay is read-only");
}

Result OverlayFileSystem::CreateDirectory(const char*) {
    return Result::Ok();
}

Result OverlayFileSystem::Delete(const char*) {
    return Fail(ErrorCode::UNSUPPORTED, "cannot be deleted: the overlay is read-only");
}

Result OverlayFileSystem::Move(const char*, const char*) {
    return Fail(ErrorCode::UNSUPPORTED, "cannot be moved: the overlay is read-only");
}

void OverlayFileSystem::Close() {
    index->Clear();
}

bool OverlayFileSystem::ListsEachFileNameOnce(const char* directory) {
    const uint32_t node = index->Find(FoldPath(directory));
    return node != kNone && (index->nodes[node].flags & Index::DIRECTORY) != 0;
}

Result OverlayFileSystem::ReadRecord(const char* path, WadEntryRecord* out) {
    ClearLastError();
    const uint32_t node = index->Find(FoldPath(path));
    if (node == kNone) {
        return Fail(ErrorCode::NOT_FOUND, "no such entry");
    }
    const uint32_t layer = index->nodes[node].layer;
    return index->layers[layer].fileSystem.ReadRecord(index->Spelled(node, layer).c_str(), out);
}

Result OverlayFileSystem::Serving(const char* path, OverlayVersion* out) const {
    const uint32_t node = index->Find(FoldPath(path));
    if (node == kNone) {
        return Fail(ErrorCode::NOT_FOUND, "no such entry");
    }
    if (out != nullptr) {
        *out = index->Winner(node);
    }
    return Result::Ok();
}

std::vector<OverlayVersion> OverlayFileSystem::Versions(const char* path) const {
    const uint32_t node = index->Find(FoldPath(path));
    if (node == kNone || node == 0) {
        return {};
    }
    return index->VersionsOf(node);
}

std::vector<OverlayConflict> OverlayFileSystem::Conflicts() const {
    std::vector<OverlayConflict> out;
    for (const auto& [node, latest] : index->lower) {
        const Index::Node& n = index->nodes[node];
        if ((n.flags & Index::REMOVED) != 0) {
            continue;
        }
        // Directories that merge are no conflict; a file anywhere is.
        bool anyFile = (n.flags & Index::DIRECTORY) == 0;
        for (uint32_t v = latest; v != kNone; v = index->versions[v].next) {
            anyFile = anyFile || !index->versions[v].isDirectory;
        }
        if (anyFile) {
            OverlayConflict conflict;
            index->PathOf(node, &conflict.path);
            conflict.versions = index->VersionsOf(node);
            out.push_back(std::move(conflict));
        }
    }
    // The tree's order: a directory's own path before the paths beneath it,
    // so the separator sorts before every character of a name.
    std::sort(out.begin(), out.end(), [](const OverlayConflict& a, const OverlayConflict& b) {
        return std::lexicographical_compare(
            a.path.begin(), a.path.end(), b.path.begin(), b.path.end(), [](char x, char y) {
                const auto rank = [](char c) {
                    return c == '\\' ? 0 : static_cast<unsigned char>(c) + 1;
                };
                return rank(x) < rank(y);
            });
    });
    return out;
}

const std::vector<OverlayCaseClash>& OverlayFileSystem::CaseClashes() const {
    return index->caseClashes;
}

}  // namespace vfs
