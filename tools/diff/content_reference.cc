#include "tools/diff/content_reference.h"

#include <filesystem>
#include <system_error>

#include "tools/path_argument.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_file.h"

namespace tarnwad::cli {

namespace {

// The value of the string field `name` on one JSON line of a listing, which
// holds it as plain hex ("path_bytes", "sha256"); false when it is not
// there or not a string.
bool HexField(const std::string& line, const std::string& name, std::string* out) {
    const std::string key = "\"" + name + "\":\"";
    const size_t at = line.find(key);
    if (at == std::string::npos) {
        return false;
    }
    const size_t start = at + key.size();
    const size_t end = line.find('"', start);
    if (end == std::string::npos) {
        return false;
    }
    *out = line.substr(start, end - start);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool DecodeHex(const std::string& hex, std::string* out) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    out->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

// The whole of the file at `path`, or false with why.
bool ReadWholeFile(const std::string& path, std::string* out, std::string* why) {
    vfs::host::File file;
    if (!file.Open(path.c_str(), vfs::host::ACCESS_READ, vfs::host::SHARE_READ,
                   vfs::host::Disposition::OpenExisting)) {
        *why = "cannot be opened" + vfs::host::LastErrorSuffix();
        return false;
    }
    char block[65536];
    for (uint32_t n = 0;;) {
        if (!file.Read(block, sizeof(block), &n)) {
            *why = "cannot be read" + vfs::host::LastErrorSuffix();
            return false;
        }
        if (n == 0) {
            return true;
        }
        out->append(block, n);
    }
}

}  // namespace

std::string ContentReference::Open(const std::string& path) {
    buffer.resize(kVerifyBlockSize);
    std::error_code error;
    if (!std::filesystem::is_directory(AbsolutePath(path), error)) {
        vfs::host::File file;
        char first = 0;
        uint32_t n = 0;
        // A listing of an archive without entries is empty.
        if (file.Open(AbsolutePath(path).c_str(), vfs::host::ACCESS_READ, vfs::host::SHARE_READ,
                      vfs::host::Disposition::OpenExisting) &&
            file.Read(&first, 1, &n) && (n == 0 || first == '{')) {
            listing = true;
            return ReadListing(AbsolutePath(path));
        }
    }
    std::string why = tree.Open(path);
    visited.assign(tree.Entries().size(), false);
    return why;
}

std::string ContentReference::ReadListing(const std::string& path) {
    std::string text;
    std::string why;
    if (!ReadWholeFile(path, &text, &why)) {
        return why;
    }
    size_t number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.empty()) {
            continue;
        }
        std::string hex;
        std::string entryPath;
        std::string digest;
        const bool hasDigest = HexField(line, "sha256", &digest);
        if (!HexField(line, "path_bytes", &hex) || !DecodeHex(hex, &entryPath) ||
            (!hasDigest && line.find("\"sha256\":null") == std::string::npos) ||
            (hasDigest && digest.size() != 64)) {
            return "line " + std::to_string(number) +
                   " is not an entry of a hash listing (tarnwad list --json --hash)";
        }
        // Of several records of one path, the first is the one read.
        if (listedByKey.emplace(ComparisonKey(entryPath), listed.size()).second) {
            listed.emplace_back(entryPath, digest);
        }
    }
    visited.assign(listed.size(), false);
    return {};
}

ContentReference::Lookup ContentReference::Find(const std::string& key) {
    Lookup lookup;
    if (listing) {
        auto found = listedByKey.find(key);
        if (found == listedByKey.end()) {
            return lookup;
        }
        visited[found->second] = true;
        const std::string& digest = listed[found->second].second;
        if (digest.empty()) {
            lookup.state = Lookup::kFailed;
            lookup.why = "the listing gives no hash of it (it was not read in full there)";
            return lookup;
        }
        std::string bytes;
        DecodeHex(digest, &bytes);
        std::copy(bytes.begin(), bytes.end(), lookup.digest.begin());
        lookup.state = Lookup::kFound;
        return lookup;
    }
    const ComparedEntry* entry = tree.Find(key);
    if (entry == nullptr) {
        return lookup;
    }
    visited[static_cast<size_t>(entry - tree.Entries().data())] = true;
    if (std::string why = tree.Check(*entry); !why.empty()) {
        lookup.state = Lookup::kFailed;
        lookup.why = why;
        return lookup;
    }
    EntryCheck check = tree.Digest(*entry, buffer, hash);
    if (!check.hashed) {
        lookup.state = Lookup::kFailed;
        lookup.why = check.text;
        return lookup;
    }
    lookup.state = Lookup::kFound;
    lookup.digest = check.digest;
    return lookup;
}

std::vector<std::string> ContentReference::Unvisited() const {
    std::vector<std::string> paths;
    for (size_t i = 0; i < visited.size(); ++i) {
        if (!visited[i]) {
            paths.push_back(listing ? listed[i].first : tree.Entries()[i].path);
        }
    }
    return paths;
}

}  // namespace tarnwad::cli
