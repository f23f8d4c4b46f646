#include "vfs/core/file_system_ref.h"

namespace vfs {

FileSystemRef::FileSystemRef(const FileSystemRef& other) {
    *this = other;
}

FileSystemRef& FileSystemRef::operator=(const FileSystemRef& other) {
    if (this == &other) {
        return *this;
    }
    Reset();
    if (other.fileSystem != nullptr) {
        Set(other.fileSystem);
    }
    return *this;
}

FileSystemRef::~FileSystemRef() {
    Reset();
}

void FileSystemRef::Reset() {
    if (fileSystem != nullptr) {
        fileSystem->Release();
        fileSystem = nullptr;
    }
}

Result FileSystemRef::FindFirst(const char* pattern, FindData* out) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->FindFirst(pattern, out);
}

Result FileSystemRef::FindNext(FindData* out) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->FindNext(out);
}

Result FileSystemRef::OpenFile(StreamRef& out, const char* path, uint32_t flags,
                               uint32_t reserved) {
    return fileSystem == nullptr ? Result::Fail()
                                 : fileSystem->OpenFile(out, path, flags, reserved);
}

Result FileSystemRef::GetFullPath(VfsString& out, const VfsString& relative) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->GetFullPath(out, relative);
}

Result FileSystemRef::GetFullPathBuffer(char* buffer, const char* relative, uint32_t bufferSize) {
    return fileSystem == nullptr ? Result::Fail()
                                 : fileSystem->GetFullPathBuffer(buffer, relative, bufferSize);
}

const char* FileSystemRef::GetRootPath() {
    return fileSystem == nullptr ? nullptr : fileSystem->GetRootPath();
}

Result FileSystemRef::SetAttributes(const char* path, uint32_t attributes) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->SetAttributes(path, attributes);
}

Result FileSystemRef::CreateDirectory(const char* path) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->CreateDirectory(path);
}

Result FileSystemRef::Delete(const char* path) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->Delete(path);
}

Result FileSystemRef::Move(const char* from, const char* to) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->Move(from, to);
}

Result FileSystemRef::CreateUnnamedFile(StreamRef& out, const char* path, const char* provisional) {
    return fileSystem == nullptr ? Result::Fail()
                                 : fileSystem->CreateUnnamedFile(out, path, provisional);
}

Result FileSystemRef::NameUnnamedFile(StreamRef& file, const char* path) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->NameUnnamedFile(file, path);
}

Result FileSystemRef::Replace(const char* from, const char* to) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->Replace(from, to);
}

Result FileSystemRef::GetFileIdentity(const char* path, FileIdentity* out) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->GetFileIdentity(path, out);
}

Result FileSystemRef::GetArchiveIdentity(FileIdentity* out) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->GetArchiveIdentity(out);
}

const std::vector<WadRejectedRecord>* FileSystemRef::GetRejectedRecords() {
    return fileSystem == nullptr ? nullptr : fileSystem->GetRejectedRecords();
}

Result FileSystemRef::ReadRecord(const char* path, WadEntryRecord* out) {
    return fileSystem == nullptr ? Result::Fail() : fileSystem->ReadRecord(path, out);
}

bool FileSystemRef::ListsEachFileNameOnce(const char* directory) {
    return fileSystem != nullptr && fileSystem->ListsEachFileNameOnce(directory);
}

void FileSystemRef::Set(FileSystem* newFileSystem) {
    if (newFileSystem == nullptr) {
        return;
    }
    newFileSystem->AddRef();
    if (fileSystem != nullptr) {
        newFileSystem->SetParent(fileSystem);
    }
    fileSystem = newFileSystem;
}

}  // namespace vfs
