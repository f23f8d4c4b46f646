#include "tools/edit/archive_edit.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "tools/archive_catalog.h"
#include "tools/display_path.h"
#include "tools/pack/folded_paths.h"
#include "tools/pack/tree_reader.h"
#include "tools/path_argument.h"
#include "vfs/core/last_error.h"
#include "vfs/host/host_error.h"
#include "vfs/host/process_signals.h"
#include "vfs/wad/wad_header.h"

namespace tarnwad::edit {

namespace {

// "/" to "\", no separator at either end: a path as the archive stores it.
std::string ArchiveForm(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    const size_t first = path.find_first_not_of('\\');
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = path.find_last_not_of('\\');
    return path.substr(first, last - first + 1);
}

// The key two paths of one entry share: archive form, letters folded.
std::string Key(const std::string& path) {
    return pack::FoldCase(ArchiveForm(path));
}

std::string Shown(const std::string& archivePath) {
    return cli::DisplayPath(archivePath);
}

}  // namespace

ArchiveEdit::ArchiveEdit(std::string shownArchive, std::string archivePath, EditOptions editOptions)
    : shown(std::move(shownArchive)),
      path(std::move(archivePath)),
      options(std::move(editOptions)) {}

ArchiveEdit::~ArchiveEdit() = default;

std::optional<EditMessage> ArchiveEdit::Select(const std::vector<std::string>& patterns,
                                               std::vector<std::string>* paths,
                                               std::vector<std::string>* unmatched) {
    cli::ArchiveCatalog catalog;
    if (std::string why = catalog.Open(path); !why.empty()) {
        return EditMessage{shown, why};
    }
    for (const cli::CatalogEntry* entry : catalog.Select(patterns, unmatched)) {
        paths->push_back(entry->path);
    }
    return std::nullopt;
}

std::optional<EditMessage> ArchiveEdit::Open() {
    if (editor.Open(path.c_str()).Failed()) {
        return EditMessage{shown, vfs::LastError().text};
    }
    return std::nullopt;
}

const std::unordered_set<std::string>& ArchiveEdit::Directories() {
    if (!directoriesKnown) {
        directories.clear();
        for (const vfs::WadEditEntry& entry : editor.Entries()) {
            if (entry.removed || !entry.named) {
                continue;
            }
            const std::string key = Key(entry.name);
            for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
                directories.insert(key.substr(0, at));
            }
        }
        directoriesKnown = true;
    }
    return directories;
}

std::optional<std::string> ArchiveEdit::PathInTheWay(const std::string& archivePath) {
    const std::string key = Key(archivePath);
    if (Directories().count(key) != 0) {
        return std::string("the archive has a directory of this path");
    }
    for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
        const int64_t file = editor.Find(key.substr(0, at));
        if (file >= 0) {
            return "the archive's file " + Shown(editor.Entries()[file].name) +
                   " is where a directory of its path would be";
        }
    }
    return std::nullopt;
}

void ArchiveEdit::PutOne(const pack::PackFile& file, pack::PackWorker& worker, int64_t index,
                         const std::string& shownFile, bool keepEqual) {
    if (vfs::host::InterruptRequested()) {
        interrupted = true;
        return;
    }
    size_t size = 0;
    std::string why;
    if (!pack::ReadWholeFile(worker, file, size, why)) {
        Fail(shownFile, why);
        return;
    }
    if (size > vfs::WAD_MAX_ARCHIVE_SIZE) {
        Fail(shownFile, pack::kTooLargeForArchive);
        return;
    }
    const uint8_t* bytes = worker.buffer.get();
    if (index >= 0 && keepEqual) {
        std::vector<uint8_t> old;
        if (editor.ReadContent(static_cast<size_t>(index), old).Succeeded() && old.size() == size &&
            std::equal(old.begin(), old.end(), bytes)) {
            changes.push_back({EditChange::kUnchanged, editor.Entries()[index].name, {}, size});
            return;
        }
    }
    pack::PackedFile packed;
    pack::CodeBytes(bytes, size, options.codec, worker, packed);
    if (index >= 0) {
        changes.push_back({EditChange::kReplaced, editor.Entries()[index].name, {}, size});
        editor.SetData(static_cast<size_t>(index), std::move(packed.stored), packed.flags,
                       packed.size);
        return;
    }
    changes.push_back({EditChange::kAdded, file.path, {}, size});
    editor.Add(file.path, std::move(packed.stored), packed.flags, packed.size);
    const std::string key = Key(file.path);
    for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
        directories.insert(key.substr(0, at));
    }
}

void ArchiveEdit::Put(const std::vector<std::string>& files, const std::string& as,
                      bool replacing) {
    const std::string target = ArchiveForm(as);
    for (const std::string& given : files) {
        const std::filesystem::path absolute(cli::AbsolutePath(given));
        std::error_code error;
        const auto status = std::filesystem::status(absolute, error);
        std::filesystem::path name = absolute.lexically_normal().filename();
        if (name.empty()) {
            name = absolute.lexically_normal().parent_path().filename();
        }
        // With several files, --as names the directory they go in.
        const std::string placed = target.empty()     ? name.string()
                                   : files.size() > 1 ? target + "\\" + name.string()
                                                      : target;
        std::vector<pack::PackFile> found;
        vfs::FileSystemRef tree;
        vfs::host::ClearLastError();
        if (std::filesystem::is_directory(status)) {
            if (tree.OpenHeldDirectory(absolute.string().c_str()).Failed()) {
                Fail(given, "cannot be read" + vfs::host::LastErrorSuffix());
                continue;
            }
            pack::TreeReader reader(tree, absolute.string(), given, false);
            reader.Read();
            std::vector<std::string> problems = std::move(reader.problems);
            std::vector<pack::PackFile> walked = pack::InArchiveOrder(std::move(reader.files));
            pack::FindCaseClashes(walked, problems);
            for (const std::string& problem : problems) {
                Fail(given, problem);
            }
            warnings.insert(warnings.end(), reader.warnings.begin(), reader.warnings.end());
            const std::string prefix = placed;
            for (pack::PackFile& file : walked) {
                file.path = prefix.empty() ? file.path : prefix + "\\" + file.path;
                found.push_back(std::move(file));
            }
        } else if (std::filesystem::is_regular_file(status)) {
            if (tree.OpenHeldDirectory(absolute.parent_path().string().c_str()).Failed()) {
                Fail(given, "cannot be read" + vfs::host::LastErrorSuffix());
                continue;
            }
            if (target.empty() && name.string().find('\\') != std::string::npos) {
                Fail(given, "has a \"\\\" in its name");
                continue;
            }
            found.push_back({placed, name.string(), 0});
        } else {
            Fail(given, error || !std::filesystem::exists(status)
                            ? "does not exist"
                            : "is not a regular file or a directory");
            continue;
        }
        pack::PackWorker worker;
        worker.tree = tree;
        for (const pack::PackFile& file : found) {
            const std::string shownFile = Shown(file.path);
            if (std::optional<std::string> problem = pack::ArchivePathProblem(file.path)) {
                Fail(shownFile, *problem);
                continue;
            }
            const int64_t index = editor.Find(file.path);
            if (index < 0 && replacing) {
                Fail(shownFile, "is not in the archive (add puts new files in)");
                continue;
            }
            if (index >= 0 && !replacing) {
                Fail(shownFile, "is in the archive already (replace changes it)");
                continue;
            }
            if (index < 0) {
                if (std::optional<std::string> problem = PathInTheWay(file.path)) {
                    Fail(shownFile, *problem);
                    continue;
                }
            }
            PutOne(file, worker, index, shownFile, false);
            if (interrupted) {
                return;
            }
        }
    }
}

void ArchiveEdit::Remove(const std::vector<std::string>& paths) {
    std::unordered_set<std::string> keys;
    for (const std::string& selected : paths) {
        keys.insert(Key(selected));
    }
    const std::vector<vfs::WadEditEntry>& entries = editor.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].removed && entries[i].named && keys.count(Key(entries[i].name)) != 0) {
            changes.push_back({EditChange::kRemoved, entries[i].name, {}, 0});
            editor.Remove(i);
        }
    }
    directoriesKnown = false;
}

void ArchiveEdit::Move(const std::string& from, const std::string& to) {
    const std::string fromKey = Key(from);
    std::string target = ArchiveForm(to);
    // Onto a directory of the archive: into it, as a host's move does.
    if (!target.empty() && Directories().count(pack::FoldCase(target)) != 0) {
        const std::string name = ArchiveForm(from);
        target += "\\" + name.substr(name.find_last_of('\\') + 1);
    }
    const std::vector<vfs::WadEditEntry>& entries = editor.Entries();
    const bool isFile = editor.Find(fromKey) >= 0;
    if (!isFile && Directories().count(fromKey) == 0) {
        Fail(from, "no entry of the archive has this path");
        return;
    }
    if (target.empty()) {
        Fail(to, "names no path in the archive");
        return;
    }
    // What moves: the file's records, or everything beneath the directory.
    std::vector<std::pair<size_t, std::string>> moves;
    std::unordered_set<std::string> staying;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].removed || !entries[i].named) {
            continue;
        }
        const std::string key = Key(entries[i].name);
        if (isFile && key == fromKey) {
            moves.emplace_back(i, target);
        } else if (!isFile && key.size() > fromKey.size() && key[fromKey.size()] == '\\' &&
                   key.compare(0, fromKey.size(), fromKey) == 0) {
            moves.emplace_back(i, target + ArchiveForm(entries[i].name).substr(fromKey.size()));
        } else {
            staying.insert(key);
        }
    }
    const std::string targetKey = pack::FoldCase(target);
    if (!isFile && (targetKey.size() > fromKey.size() && targetKey[fromKey.size()] == '\\' &&
                    targetKey.compare(0, fromKey.size(), fromKey) == 0)) {
        Fail(to, "lies inside " + Shown(from) + ", which cannot move into itself");
        return;
    }
    std::unordered_set<std::string> stayingDirectories;
    for (const std::string& key : staying) {
        for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
            stayingDirectories.insert(key.substr(0, at));
        }
    }
    bool blocked = false;
    for (const auto& [index, newName] : moves) {
        const std::string key = pack::FoldCase(newName);
        std::optional<std::string> problem = pack::ArchivePathProblem(newName);
        if (!problem && staying.count(key) != 0) {
            problem = "is in the archive already";
        }
        if (!problem && stayingDirectories.count(key) != 0) {
            problem = "the archive has a directory of this path";
        }
        for (size_t at = key.find('\\'); !problem && at != std::string::npos;
             at = key.find('\\', at + 1)) {
            if (staying.count(key.substr(0, at)) != 0) {
                problem = "the archive's file " + Shown(newName.substr(0, at)) +
                          " is where a directory of its path would be";
            }
        }
        if (problem) {
            Fail(Shown(newName), *problem);
            blocked = true;
        }
    }
    if (blocked) {
        return;
    }
    for (const auto& [index, newName] : moves) {
        changes.push_back({EditChange::kRenamed, entries[index].name, newName, 0});
        editor.Rename(index, newName);
    }
    directoriesKnown = false;
}

void ArchiveEdit::Update(const std::string& directory, bool keepUnreadable) {
    const std::string absolute = cli::AbsolutePath(directory);
    vfs::FileSystemRef tree;
    // The system says why it is no directory to read: missing, a file, ...
    vfs::host::ClearLastError();
    if (tree.OpenHeldDirectory(absolute.c_str()).Failed()) {
        Fail(directory, "cannot be read" + vfs::host::LastErrorSuffix());
        return;
    }
    pack::TreeReader reader(tree, absolute, directory, false);
    reader.Read();
    std::vector<std::string> problems = std::move(reader.problems);
    const std::vector<pack::PackFile> files = pack::InArchiveOrder(std::move(reader.files));
    pack::FindCaseClashes(files, problems);
    for (const std::string& problem : problems) {
        Fail(directory, problem);
    }
    warnings.insert(warnings.end(), reader.warnings.begin(), reader.warnings.end());
    if (!failures.empty()) {
        return;
    }
    std::unordered_map<std::string, size_t> byKey;
    for (size_t i = 0; i < files.size(); ++i) {
        byKey.emplace(Key(files[i].path), i);
    }
    pack::PackWorker worker;
    worker.tree = tree;
    std::vector<bool> kept(files.size(), false);
    std::unordered_set<std::string> seen;
    const size_t count = editor.Entries().size();
    for (size_t i = 0; i < count && !interrupted; ++i) {
        const vfs::WadEditEntry& entry = editor.Entries()[i];
        const std::string key = Key(entry.name);
        const bool hidden = !entry.named || !seen.insert(key).second;
        const auto file = hidden ? byKey.end() : byKey.find(key);
        if (keepUnreadable && file == byKey.end()) {
            std::vector<uint8_t> content;
            if (hidden || editor.ReadContent(i, content).Failed()) {
                continue;
            }
        }
        // Records the reader leaves out, later records of a path lookups
        // never reach, and files the tree lacks all go.
        if (hidden || file == byKey.end()) {
            changes.push_back({EditChange::kRemoved, entry.name, {}, 0});
            editor.Remove(i);
            continue;
        }
        kept[file->second] = true;
        PutOne(files[file->second], worker, static_cast<int64_t>(i), Shown(entry.name), true);
    }
    for (size_t i = 0; i < files.size() && !interrupted; ++i) {
        if (!kept[i]) {
            PutOne(files[i], worker, -1, Shown(files[i].path), true);
        }
    }
    directoriesKnown = false;
}

std::vector<EditMessage> ArchiveEdit::Commit(bool compact) {
    if (interrupted) {
        return {{shown, "interrupted: nothing was changed"}};
    }
    if (!failures.empty()) {
        std::vector<EditMessage> all = failures;
        all.push_back({shown, "nothing was changed"});
        return all;
    }
    if (!editor.Changed() && !compact) {
        return {};
    }
    const bool written =
        options.copy || compact ? editor.CommitCopy().Succeeded() : editor.Commit().Succeeded();
    if (!written) {
        return {{shown, vfs::LastError().text}};
    }
    return {};
}

}  // namespace tarnwad::edit
