// What `verify --against` checks an archive's content against: another
// archive, a folder, or a hash listing written by `list --json --hash`.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "tools/diff/compared_tree.h"
#include "vfs/host/content_hash.h"

namespace tarnwad::cli {

class ContentReference {
  public:
    // Opens `path` (as the user gave it): a folder, an archive, or a hash
    // listing (a file that begins with "{", or an empty one). Empty on
    // success, otherwise why.
    std::string Open(const std::string& path);

    struct Lookup {
        enum State { kMissing, kFailed, kFound } state = kMissing;
        vfs::host::Sha256Digest digest{};
        std::string why;  // kFailed: why the reference has no digest of it
    };
    // The reference's digest of the content at `key` (a letter-case-folded
    // path); an archive's or folder's entry is read and hashed now.
    Lookup Find(const std::string& key);
    // The reference's paths that no Find asked for, in its order.
    std::vector<std::string> Unvisited() const;

  private:
    std::string ReadListing(const std::string& path);

    bool listing = false;
    ComparedTree tree;
    // A listing's entries: path, and digest ("" when it has none).
    std::vector<std::pair<std::string, std::string>> listed;
    std::unordered_map<std::string, size_t> listedByKey;
    std::vector<bool> visited;
    std::vector<uint8_t> buffer;
    vfs::host::ContentHash hash;
};

}  // namespace tarnwad::cli
