#include "tools/pack/folded_paths.h"

#include <algorithm>
#include <map>
#include <utility>

#include "tools/display_path.h"

namespace tarnwad::pack {

std::string FoldCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::vector<PackFile> InArchiveOrder(std::vector<PackFile> files) {
    std::vector<std::pair<std::string, size_t>> keys;  // folded path, index
    keys.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        keys.emplace_back(FoldCase(files[i].path), i);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<PackFile> ordered;
    ordered.reserve(keys.size());
    for (const auto& key : keys) {
        ordered.push_back(std::move(files[key.second]));
    }
    return ordered;
}

void FindCaseClashes(const std::vector<PackFile>& files, std::vector<std::string>& problems) {
    std::map<std::string, std::string> seen;  // folded -> as found, files and their directories
    for (const PackFile& file : files) {
        std::string path = file.path;
        for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
            std::string part = end == std::string::npos ? path : path.substr(0, end);
            auto [it, added] = seen.emplace(FoldCase(part), part);
            if (!added && it->second != part) {
                problems.push_back(cli::DisplayPath(part) + ": differs from " +
                                   cli::DisplayPath(it->second) +
                                   " only in letter case, which the archive ignores");
                break;
            }
            if (end == std::string::npos) {
                break;
            }
        }
    }
}

}  // namespace tarnwad::pack
