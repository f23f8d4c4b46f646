#include "app/path_selection.h"

namespace tarnwad {

void PathSelection::AddFile(const std::string& path) {
    files.insert(path);
    AddAncestors(path);
}

void PathSelection::AddDirectory(const std::string& path) {
    std::string directory = path;
    if (!directory.empty() && directory.back() != '\\') {
        directory.push_back('\\');
    }
    trees.insert(directory);
    AddAncestors(directory);
}

void PathSelection::AddAncestors(const std::string& path) {
    for (size_t p = path.find('\\'); p != std::string::npos; p = path.find('\\', p + 1)) {
        ancestors.insert(path.substr(0, p + 1));
    }
}

bool PathSelection::InSelectedTree(const std::string& path) const {
    if (trees.count("") != 0) {
        return true;
    }
    for (size_t p = path.find('\\'); p != std::string::npos; p = path.find('\\', p + 1)) {
        if (trees.count(path.substr(0, p + 1)) != 0) {
            return true;
        }
    }
    return false;
}

bool PathSelection::TakesDirectory(const char* relativeDirectory) const {
    std::string directory = relativeDirectory;
    return ancestors.count(directory) != 0 || InSelectedTree(directory);
}

bool PathSelection::TakesFile(const char* relativePath) const {
    std::string path = relativePath;
    return files.count(path) != 0 || InSelectedTree(path);
}

}  // namespace tarnwad
