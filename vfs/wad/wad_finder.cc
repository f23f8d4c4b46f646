#include "vfs/wad/wad_finder.h"

#include <cstring>

#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_path_hash.h"

namespace vfs {

namespace {

constexpr uint32_t ATTRIBUTES_DIRECTORY = 0x10;            // FILE_ATTRIBUTE_DIRECTORY
constexpr uint32_t ATTRIBUTES_ARCHIVE_FILE = 0x01 | 0x80;  // READONLY | NORMAL

bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

}  // namespace

void WadFinder::Start(const WadDirectory& directory, const char* path, uint32_t* recordOffset) {
    currentDir = directory.Root();
    cursorDir = nullptr;
    cursorFile = nullptr;
    matchDir = nullptr;
    matchFile = nullptr;
    subdirectoryPhase = false;
    if (recordOffset != nullptr) {
        *recordOffset = 0;
    }
    if (currentDir == nullptr) {
        return;
    }
    prefix.Assign("");

    // One separator off each end, then "/" to "\" and A-Z to a-z.
    const char* begin = path == nullptr ? "" : path;
    size_t length = std::strlen(begin);
    if (length > 0 && IsSeparator(begin[length - 1])) {
        --length;
    }
    if (length > 0 && IsSeparator(begin[0])) {
        ++begin;
        --length;
    }
    VfsString folded(StringView(begin, static_cast<uint32_t>(length)));
    for (uint32_t i = 0; i < folded.length; ++i) {
        char& ch = folded.data[i];
        if (ch == '/') {
            ch = '\\';
        } else if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }

    exactMode = folded.FindOneOf("*?") < 0;
    hash = exactMode ? WadPathHash(folded.data, folded.length) : 0;

    int32_t k = folded.ReverseFind("\\");
    if (k >= 0) {
        currentDir = currentDir->LookupDir(folded.Left(static_cast<uint32_t>(k)), prefix);
        if (currentDir == nullptr) {
            return;
        }
        leafPattern.AssignView(folded.Mid(static_cast<uint32_t>(k) + 1));
    } else {
        leafPattern.AssignView(StringView(folded.data, folded.length));
    }

    primaryPattern.Compile(leafPattern.c_str());
    alsoMatchWithoutExtension = false;
    if (leafPattern.length >= 2 && leafPattern.data[leafPattern.length - 2] == '.' &&
        leafPattern.data[leafPattern.length - 1] == '*') {
        alsoMatchWithoutExtension = true;
        VfsString withoutExtension(leafPattern.Left(leafPattern.length - 2));
        noExtensionPattern.Compile(withoutExtension.c_str());
    }

    // An exact lookup of a name goes straight to that name in the
    // directory's indexes: a literal pattern passes only its own name, which
    // at most one subdirectory has, and the files of that name are chained
    // in list order. An empty name passes every subdirectory and no file
    // (files always have a name), so it walks the list.
    byName = exactMode && leafPattern.length > 0;
    cursorDir = byName ? currentDir->FindSubdirectory(leafPattern.data, leafPattern.length)
                       : currentDir->subdirectories.head;
    subdirectoryPhase = true;
    Advance();

    if (recordOffset != nullptr && matchFile != nullptr) {
        *recordOffset = matchFile->recordOffset;
    }
}

const WadFileEntry* WadFinder::FileOfTheName() const {
    if (!exactMode || currentDir == nullptr || leafPattern.length == 0) {
        return nullptr;
    }
    return currentDir->FindFirstFile(leafPattern.data, leafPattern.length);
}

bool WadFinder::PassesPatterns(const char* name) const {
    return primaryPattern.Match(name) ||
           (alsoMatchWithoutExtension && noExtensionPattern.Match(name));
}

bool WadFinder::MatchesExactly(const WadFileEntry& entry) const {
    return entry.pathHash == hash && entry.name.Equals(leafPattern.data, leafPattern.length);
}

void WadFinder::Advance() {
    if (currentDir == nullptr) {
        return;
    }
    if (subdirectoryPhase) {
        while (cursorDir != nullptr) {
            WadDirNode* candidate = cursorDir;
            cursorDir = byName ? nullptr : cursorDir->next;
            if (PassesPatterns(candidate->name.c_str())) {
                matchDir = candidate;
                return;
            }
        }
        subdirectoryPhase = false;
        matchDir = nullptr;
        cursorFile = byName ? currentDir->FindFirstFile(leafPattern.data, leafPattern.length)
                            : currentDir->files.head;
    }
    matchFile = nullptr;
    while (cursorFile != nullptr) {
        WadFileEntry* candidate = cursorFile;
        cursorFile = byName ? cursorFile->nextSameName : cursorFile->next;
        bool matches =
            exactMode ? MatchesExactly(*candidate) : PassesPatterns(candidate->name.c_str());
        if (matches) {
            matchFile = candidate;
            return;
        }
    }
}

Result WadFinder::Fill(FindData* out) const {
    if (AtEnd()) {
        return Result::Fail();
    }
    const WadNodeName& name = matchDir != nullptr ? matchDir->name : matchFile->name;
    size_t needed = static_cast<size_t>(prefix.length) + name.Length() + 1;
    if (needed > sizeof(out->path)) {
        return Result::Fail();
    }
    out->lastWriteTime = 0;
    out->lastAccessTime = 0;
    out->creationTime = 0;
    if (matchDir != nullptr) {
        out->attributes = ATTRIBUTES_DIRECTORY;
        out->size = 0;
    } else {
        out->attributes = ATTRIBUTES_ARCHIVE_FILE;
        out->size = matchFile->ReportedSize();
    }
    std::memcpy(out->path, prefix.data, prefix.length);
    std::memcpy(out->path + prefix.length, name.c_str(), name.Length());
    out->path[prefix.length + name.Length()] = '\0';
    out->name = out->path + prefix.length;
    return Result::Ok();
}

}  // namespace vfs
