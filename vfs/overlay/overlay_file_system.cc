#include "vfs/overlay/overlay_file_system.h"

#include <string>
#include <vector>

#include "vfs/core/stream_ref.h"

namespace vfs {

struct OverlayFileSystem::Index {
    std::vector<FileSystemRef> layers;
    std::vector<std::string> names;
    std::vector<OverlayCaseClash> caseClashes;
};

namespace {

Result Unsupported(const char* what) {
    SetLastError(ErrorCode::UNSUPPORTED,
                 std::string("cannot be ") + what + ": the layers are read-only");
    return Result::Fail();
}

}  // namespace

OverlayFileSystem::OverlayFileSystem() : index(std::make_unique<Index>()) {}

OverlayFileSystem::~OverlayFileSystem() = default;

Result OverlayFileSystem::AddLayer(const FileSystemRef& layer, const std::string& name) {
    index->layers.push_back(layer);
    index->names.push_back(name);
    return Result::Ok();
}

Result OverlayFileSystem::AddLayerPath(const char* path, ErrorReason* why) {
    FileSystemRef layer;
    ErrorReason reason;
    if (layer.OpenArchive(path, 0, &reason).Failed()) {
        if (why != nullptr) {
            *why = reason;
        }
        return Result::Fail();
    }
    return AddLayer(layer, path);
}

uint32_t OverlayFileSystem::LayerCount() const {
    return static_cast<uint32_t>(index->layers.size());
}

const std::string& OverlayFileSystem::LayerName(uint32_t layer) const {
    return index->names.at(layer);
}

FileSystemRef OverlayFileSystem::Layer(uint32_t layer) const {
    return index->layers.at(layer);
}

Result OverlayFileSystem::OpenFile(StreamRef& out, const char* path, uint32_t flags,
                                   uint32_t reserved) {
    for (auto it = index->layers.rbegin(); it != index->layers.rend(); ++it) {
        if (it->OpenFile(out, path, flags, reserved).Succeeded()) {
            return Result::Ok();
        }
    }
    SetLastError(ErrorCode::NOT_FOUND, "no such entry");
    return Result::Fail();
}

Result OverlayFileSystem::FindFirst(const char*, FindData*) {
    SetLastError(ErrorCode::NOT_FOUND, "no such entry");
    return Result::Fail();
}

Result OverlayFileSystem::FindNext(FindData*) {
    return Result::Fail();
}

Result OverlayFileSystem::SetAttributes(const char*, uint32_t) {
    return Unsupported("changed");
}

Result OverlayFileSystem::CreateDirectory(const char*) {
    return Result::Ok();
}

Result OverlayFileSystem::Delete(const char*) {
    return Unsupported("deleted");
}

Result OverlayFileSystem::Move(const char*, const char*) {
    return Unsupported("moved");
}

void OverlayFileSystem::Close() {
    index = std::make_unique<Index>();
}

bool OverlayFileSystem::ListsEachFileNameOnce(const char*) {
    return true;
}

Result OverlayFileSystem::ReadRecord(const char*, WadEntryRecord*) {
    SetLastError(ErrorCode::NOT_FOUND, "no such entry");
    return Result::Fail();
}

Result OverlayFileSystem::Serving(const char*, OverlayVersion*) const {
    SetLastError(ErrorCode::NOT_FOUND, "no such entry");
    return Result::Fail();
}

std::vector<OverlayVersion> OverlayFileSystem::Versions(const char*) const {
    return {};
}

std::vector<OverlayConflict> OverlayFileSystem::Conflicts() const {
    return {};
}

const std::vector<OverlayCaseClash>& OverlayFileSystem::CaseClashes() const {
    return index->caseClashes;
}

}  // namespace vfs
