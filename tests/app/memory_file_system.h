// A small in-memory file system for tests: a map of paths to contents, with
// a log of every call, and switches to make chosen operations fail.
#pragma once

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "vfs/core/file_system.h"
#include "vfs/core/stream.h"
#include "vfs/core/stream_ref.h"

namespace tarnwad::testing {

class MemoryFileSystem : public vfs::FileSystem {
  public:
    // Directories are stored with a trailing "\"; files without.
    std::map<std::string, std::string> files;
    std::set<std::string> directories;
    std::vector<std::string>* log = nullptr;

    // Paths whose CreateDirectory fails; paths, or beginnings of paths,
    // whose OpenFile fails and whose writes stop short (a tree copy writes
    // each file under a temporary name in the file's directory first); files
    // whose reads deliver fewer bytes than their size.
    std::set<std::string> failCreateDirectory;
    // Paths that another process creates as directories just as this one
    // tries to, so that its CreateDirectory fails.
    std::set<std::string> createdByOther;
    std::set<std::string> failOpen;
    std::set<std::string> shortWrite;
    std::set<std::string> shortRead;
    // Attributes reported for chosen paths instead of the plain ones (a link,
    // a device), and paths that FindFirst reports although nothing is stored
    // there.
    std::map<std::string, uint32_t> attributesOf;
    // Names reported by enumeration in addition to the real ones.
    std::vector<std::pair<std::string, bool>> extraNames;  // (name, isDirectory) at the top

    void AddFile(const std::string& path, const std::string& contents) {
        files[path] = contents;
        for (size_t p = path.find('\\'); p != std::string::npos; p = path.find('\\', p + 1)) {
            directories.insert(path.substr(0, p + 1));
        }
    }
    void AddDirectory(const std::string& path) { directories.insert(path + "\\"); }

    vfs::Result OpenFile(vfs::StreamRef& out, const char* path, uint32_t flags, uint32_t) override {
        Log("open " + std::string(path));
        if (out.Get() != nullptr || Matches(failOpen, path)) {
            return vfs::Result::Fail();
        }
        std::string key = path;
        bool exists = files.count(key) != 0;
        bool create = (flags & 0x10u) != 0;
        bool createNew = create && (flags & 0x40u) != 0;
        if ((!exists && !create) || (exists && createNew)) {
            return vfs::Result::Fail();
        }
        size_t slash = key.rfind('\\');
        if (slash != std::string::npos && directories.count(key.substr(0, slash + 1)) == 0) {
            return vfs::Result::Fail();
        }
        if (create) {
            files[key].clear();
        }
        out.Set(new FileStream(this, key));
        return vfs::Result::Ok();
    }

    vfs::Result FindFirst(const char* pattern, vfs::FindData* out) override {
        Log("find " + std::string(pattern));
        matches.clear();
        next = 0;
        std::string p = pattern;
        if (vfs::PrepareFindData(out, pattern).Failed()) {
            return vfs::Result::Fail();
        }
        size_t slash = p.rfind('\\');
        std::string dir = slash == std::string::npos ? "" : p.substr(0, slash + 1);
        std::string namePattern = p.substr(dir.size());
        for (const std::string& d : directories) {
            if (Child(d, dir, namePattern, true)) {
                matches.push_back({d.substr(dir.size(), d.size() - dir.size() - 1), true});
            }
        }
        for (const auto& [path, contents] : files) {
            if (Child(path, dir, namePattern, false)) {
                matches.push_back({path.substr(dir.size()), false});
            }
        }
        auto special = attributesOf.find(p);
        if (namePattern != "*.*" && special != attributesOf.end() && !Taken(p, false)) {
            matches.push_back({namePattern, false});
        }
        if (dir.empty() && namePattern == "*.*") {
            for (const auto& extra : extraNames) {
                matches.push_back(extra);
            }
        }
        return FindNext(out);
    }

    vfs::Result FindNext(vfs::FindData* out) override {
        if (next >= matches.size()) {
            return vfs::Result::Fail();
        }
        const auto& [name, isDirectory] = matches[next++];
        std::string dir(out->path, static_cast<size_t>(out->name - out->path));
        out->attributes = isDirectory ? vfs::FILE_ATTRIBUTE_DIRECTORY : 0x80;
        auto special = attributesOf.find(dir + name);
        if (special != attributesOf.end()) {
            out->attributes = special->second;
        }
        auto file = files.find(dir + name);
        out->size =
            isDirectory || file == files.end() ? 0 : static_cast<uint32_t>(file->second.size());
        return vfs::StoreFoundName(out, name.c_str());
    }

    vfs::Result SetAttributes(const char*, uint32_t) override { return vfs::Result::Fail(); }
    vfs::Result CreateDirectory(const char* path) override {
        Log("mkdir " + std::string(path));
        if (failCreateDirectory.count(path) != 0) {
            return vfs::Result::Fail();
        }
        if (createdByOther.count(path) != 0) {
            directories.insert(std::string(path) + "\\");
            return vfs::Result::Fail();
        }
        directories.insert(std::string(path) + "\\");
        return vfs::Result::Ok();
    }
    vfs::Result Delete(const char* path) override {
        Log("delete " + std::string(path));
        return files.erase(path) != 0 ? vfs::Result::Ok() : vfs::Result::Fail();
    }
    vfs::Result Move(const char* from, const char* to) override {
        Log("move " + std::string(from) + " " + to);
        if (Taken(to)) {
            return vfs::Result::Fail();
        }
        return Rename(from, to);
    }
    vfs::Result Replace(const char* from, const char* to) override {
        Log("replace " + std::string(from) + " " + to);
        if (directories.count(std::string(to) + "\\") != 0) {
            return vfs::Result::Fail();
        }
        attributesOf.erase(to);
        return Rename(from, to);
    }
    void Close() override {}

  private:
    class FileStream : public vfs::Stream {
      public:
        FileStream(MemoryFileSystem* owner, std::string key) : fs(owner), path(std::move(key)) {}
        int32_t Read(void* buffer, int32_t count) override {
            std::string& data = fs->files[path];
            size_t limit = data.size();
            if (fs->shortRead.count(path) != 0 && limit > 0) {
                limit -= 1;
            }
            size_t n = position >= limit ? 0 : std::min<size_t>(count, limit - position);
            std::memcpy(buffer, data.data() + position, n);
            position += n;
            return static_cast<int32_t>(n);
        }
        int32_t Write(const void* buffer, int32_t count) override {
            int32_t n = Matches(fs->shortWrite, path) ? count / 2 : count;
            fs->files[path].append(static_cast<const char*>(buffer), static_cast<size_t>(n));
            return n;
        }
        int32_t Seek(int32_t, int32_t) override { return -1; }
        int32_t GetSize() override { return static_cast<int32_t>(fs->files[path].size()); }
        int32_t Tell() override { return static_cast<int32_t>(position); }

      private:
        MemoryFileSystem* fs;
        std::string path;
        size_t position = 0;
    };

    static bool Child(const std::string& entry, const std::string& dir, const std::string& name,
                      bool isDirectory) {
        if (entry.size() <= dir.size() || entry.compare(0, dir.size(), dir) != 0) {
            return false;
        }
        std::string rest = entry.substr(dir.size());
        if (isDirectory) {
            rest.pop_back();
        }
        if (rest.find('\\') != std::string::npos) {
            return false;
        }
        return name == "*.*" || name == rest;
    }

    // Whether `path` is one of `paths` or begins with one that ends with "\\".
    static bool Matches(const std::set<std::string>& paths, const std::string& path) {
        for (const std::string& p : paths) {
            if (path == p || (!p.empty() && p.back() == '\\' && path.rfind(p, 0) == 0)) {
                return true;
            }
        }
        return false;
    }

    bool Taken(const std::string& path, bool orSpecial = true) const {
        return files.count(path) != 0 || directories.count(path + "\\") != 0 ||
               (orSpecial && attributesOf.count(path) != 0);
    }

    vfs::Result Rename(const std::string& from, const std::string& to) {
        auto file = files.find(from);
        if (file == files.end()) {
            return vfs::Result::Fail();
        }
        std::string contents = std::move(file->second);
        files.erase(file);
        files[to] = std::move(contents);
        return vfs::Result::Ok();
    }

    // Temporary names differ from run to run: the log shows them as <temp>.
    void Log(std::string event) {
        if (log == nullptr) {
            return;
        }
        for (size_t at; (at = event.find(".Tarnwad-")) != std::string::npos;) {
            size_t end = event.find(".tmp", at);
            event.replace(at, end == std::string::npos ? std::string::npos : end + 4 - at,
                          "<temp>");
        }
        log->push_back(event);
    }

    std::vector<std::pair<std::string, bool>> matches;
    size_t next = 0;
};

}  // namespace tarnwad::testing
