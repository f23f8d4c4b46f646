// Packed paths as the archive sees them: with A-Z folded to a-z.
#pragma once

#include <string>
#include <vector>

#include "tools/pack/tree_reader.h"

namespace tarnwad::pack {

// `text` with A-Z folded to a-z, as the archive folds names.
std::string FoldCase(std::string text);

// `files` in the order they are packed: by their paths as the archive
// reports them (letters folded), byte for byte, so that the order is the
// same whatever order the host lists names in.
std::vector<PackFile> InArchiveOrder(std::vector<PackFile> files);

// Adds to `problems` each path of `files` (or of a directory on its way)
// that differs from an earlier one only in letter case: the archive folds
// names to lower case, so only the first of such paths could ever be read.
void FindCaseClashes(const std::vector<PackFile>& files, std::vector<std::string>& problems);

}  // namespace tarnwad::pack
