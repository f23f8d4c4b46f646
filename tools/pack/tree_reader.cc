#include "tools/pack/tree_reader.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "tools/display_path.h"
#include "tools/text_format.h"
#include "vfs/host/host_error.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_rejected_record.h"

namespace tarnwad::pack {

namespace {

// More names than this reached through followed links to directories are
// taken for a web of such links that multiplies the tree: each level of two
// links to the next doubles it, without any loop.
constexpr size_t kMaxLinkedNames = size_t{1} << 16;

// `target` relative to `root` when it lies inside it (empty for `root`
// itself); both are canonical paths.
std::optional<std::filesystem::path> InsideOf(const std::filesystem::path& root,
                                              const std::filesystem::path& target) {
    auto [r, t] = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    if (r != root.end()) {
        return std::nullopt;
    }
    std::filesystem::path rest;
    for (; t != target.end(); ++t) {
        rest /= *t;
    }
    return rest;
}

}  // namespace

std::optional<std::string> ArchivePathProblem(const std::string& path) {
    // The archive's reader takes no longer path.
    if (path.size() > vfs::WAD_MAX_PATH_LENGTH) {
        return "its path is longer than an archive can hold (" +
               std::to_string(vfs::WAD_MAX_PATH_LENGTH) + " bytes at most)";
    }
    if (auto reason = vfs::CheckWadPath(path.data(), static_cast<uint32_t>(path.size()))) {
        return std::string(vfs::WadRejectReasonText(*reason));
    }
    return std::nullopt;
}

bool LookUpExactly(vfs::FileSystemRef& fs, const std::string& path, vfs::FindData* out) {
    const size_t cut = path.find_last_of("\\/");
    const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    for (vfs::Result r = fs.FindFirst(path.c_str(), out); r.Succeeded(); r = fs.FindNext(out)) {
        if (name == out->name) {
            return true;
        }
    }
    return false;
}

TreeReader::TreeReader(vfs::FileSystemRef& heldTree, std::string hostRoot, std::string rootShown,
                       bool followLinks)
    : tree(heldTree),
      host(std::move(hostRoot)),
      rootName(std::move(rootShown)),
      dereference(followLinks) {
    if (dereference) {
        std::error_code error;
        canonicalHost = std::filesystem::canonical(host, error);
        if (error) {
            canonicalHost = std::filesystem::path(host).lexically_normal();
        }
    }
}

void TreeReader::Read() {
    stack.clear();
    Enter("", "", false);
    while (!stack.empty() && !stopped) {
        Frame& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const Found entry = std::move(top.entries[top.next++]);
        Visit(entry);
    }
    stack.clear();
}

void TreeReader::Enter(const std::string& relative, const std::string& source, bool throughLink) {
    Frame frame{relative, source, throughLink, {}, 0};
    // Listed through a handle of its own, held beneath the tree's: the
    // listing then needs no path longer than the directory's own.
    vfs::FileSystemRef held;
    vfs::FileSystemRef* directory = &tree;
    vfs::host::ClearLastError();
    bool opened = true;
    if (!source.empty()) {
        const std::string at = source.substr(0, source.size() - 1);
        opened = held.OpenHeldDirectory(tree, at.c_str()).Succeeded();
        directory = &held;
    }
    vfs::Result r = opened ? directory->FindFirst("*", found.get()) : vfs::Result::Fail();
    if (r.Failed()) {
        // A listing always finds "." and "..": when even the first call
        // fails, the directory cannot be read, and its files would be
        // missing without a word.
        problems.push_back((relative.empty() ? rootName : cli::DisplayPath(relative)) +
                           ": directory cannot be read" + vfs::host::LastErrorSuffix());
        return;
    }
    for (; r.Succeeded(); r = directory->FindNext(found.get())) {
        const std::string name = found->name;
        if (name == "." || name == "..") {
            continue;
        }
        if (throughLink && ++linkedNames > kMaxLinkedNames) {
            problems.push_back(cli::DisplayPath(relative.substr(0, relative.size() - 1)) +
                               ": more than " + std::to_string(kMaxLinkedNames) +
                               " names reached through links to directories (a web of links?)");
            stopped = true;
            return;
        }
        frame.entries.push_back(Found{name, found->attributes, found->size});
    }
    if (frame.entries.empty() && !relative.empty()) {
        emptyDirectories.push_back(relative);
    }
    stack.push_back(std::move(frame));
}

bool TreeReader::OnTheWalk(const std::string& source) const {
    return std::any_of(stack.begin(), stack.end(), [&](const Frame& frame) {
        return frame.source.size() == source.size() + 1 &&
               frame.source.compare(0, source.size(), source) == 0;
    });
}

std::optional<std::string> TreeReader::FollowLink(const std::string& shown,
                                                  const std::string& from) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(
        std::filesystem::path(host + "/" + cli::DisplayPath(from)), error);
    if (error == std::errc::too_many_symbolic_link_levels) {
        problems.push_back(shown + ": is a symbolic link in a loop of links; not followed");
        return std::nullopt;
    }
    if (error) {
        (skipSpecial ? warnings : problems)
            .push_back(shown + ": is a symbolic link that leads nowhere (" +
                       cli::PrintableText(error.message()) + ")" +
                       (skipSpecial ? "; skipped" : ""));
        return std::nullopt;
    }
    std::optional<std::filesystem::path> inside = InsideOf(canonicalHost, target);
    if (!inside) {
        problems.push_back(shown + ": is a symbolic link to " +
                           cli::PrintableText(target.string()) +
                           ", outside the packed directory; not followed");
        return std::nullopt;
    }
    std::string source;
    for (const std::filesystem::path& part : *inside) {
        std::string name = part.string();
        if (name.find('\\') != std::string::npos) {
            problems.push_back(shown + ": leads to " + cli::PrintableText(target.string()) +
                               ", whose path has a \"\\\" in a name");
            return std::nullopt;
        }
        source += (source.empty() ? "" : "\\") + name;
    }
    return source;
}

void TreeReader::Visit(const Found& entry) {
    // Copies: entering a directory grows the stack.
    const std::string relative = stack.back().relative;
    const bool throughLink = stack.back().throughLink;
    const std::string& name = entry.name;
    const std::string path = relative + name;
    if (exclusions != nullptr && exclusions->Excludes(path)) {
        return;
    }
    std::string from = stack.back().source + name;
    const std::string shown = cli::DisplayPath(relative) + cli::PrintableText(name);
    const bool link = (entry.attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (link && !dereference) {
        // Whatever it leads to, inside the tree or out, or nowhere.
        warnings.push_back(shown + ": is a symbolic link; not packed");
        return;
    }
    // A "\" inside a host name would read as a separator in the archive.
    if (name.find('\\') != std::string::npos) {
        problems.push_back(shown + ": has a \"\\\" in its name");
        return;
    }
    // Nothing at or below a path the archive cannot hold can be packed, so
    // a directory is not entered either.
    if (std::optional<std::string> problem = ArchivePathProblem(path)) {
        problems.push_back(shown + ": " + *problem);
        return;
    }
    uint32_t attributes = entry.attributes;
    uint32_t size = entry.size;
    if (link) {
        std::optional<std::string> inside = FollowLink(shown, from);
        if (!inside) {
            return;
        }
        from = std::move(*inside);
        const std::string loop = shown +
                                 ": leads back to a directory it lies in (a loop); "
                                 "not followed";
        if (from.empty()) {
            problems.push_back(loop);  // the packed directory itself
            return;
        }
        // What it leads to, looked at through the tree by its path inside,
        // which has no link on it: should one be swapped in since, the look
        // fails.
        vfs::host::ClearLastError();
        if (!LookUpExactly(tree, from, found.get())) {
            problems.push_back(shown + ": leads to " + cli::DisplayPath(from) +
                               ", which cannot be read" + vfs::host::LastErrorSuffix());
            return;
        }
        attributes = found->attributes;
        size = found->size;
        if ((attributes & vfs::FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            problems.push_back(shown + ": leads to " + cli::DisplayPath(from) +
                               ", which became a symbolic link while being packed");
            return;
        }
        if ((attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0 && OnTheWalk(from)) {
            problems.push_back(loop);
            return;
        }
    }
    if ((attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Enter(path + "\\", from + "\\", throughLink || link);
        return;
    }
    if ((attributes & vfs::FILE_ATTRIBUTE_DEVICE) != 0) {
        if (skipSpecial) {
            warnings.push_back(shown + ": is not a regular file; skipped");
        } else {
            problems.push_back(shown + ": is not a regular file (add --skip-special to skip it)");
        }
        return;
    }
    if (skip && size == skipSize) {
        vfs::FileIdentity identity;
        if (tree.GetFileIdentity(from.c_str(), &identity).Succeeded() && identity == *skip) {
            return;  // the archive being replaced
        }
    }
    files.push_back(PackFile{path, from, size});
}

}  // namespace tarnwad::pack
