#include "vfs/edit/free_space.h"

#include <algorithm>

namespace vfs {

FreeSpace::FreeSpace(std::vector<FileRange> used, uint64_t fileSize) {
    std::sort(used.begin(), used.end(),
              [](const FileRange& a, const FileRange& b) { return a.begin < b.begin; });
    uint64_t reached = 0;
    for (const FileRange& range : used) {
        if (range.begin >= range.end) {
            continue;
        }
        if (range.begin > reached && reached < fileSize) {
            gaps.push_back({reached, std::min(range.begin, fileSize)});
        }
        reached = std::max(reached, range.end);
    }
    if (reached < fileSize) {
        gaps.push_back({reached, fileSize});
    }
    end = std::max(reached, fileSize);
}

uint64_t FreeSpace::Take(uint64_t size) {
    if (size == 0) {
        return end;
    }
    for (auto gap = gaps.begin(); gap != gaps.end(); ++gap) {
        if (gap->end - gap->begin >= size) {
            const uint64_t at = gap->begin;
            gap->begin += size;
            if (gap->begin == gap->end) {
                gaps.erase(gap);
            }
            return at;
        }
    }
    // A gap that reaches the end of the file grows into what follows.
    if (!gaps.empty() && gaps.back().end == end) {
        const uint64_t at = gaps.back().begin;
        gaps.pop_back();
        end = at + size;
        return at;
    }
    const uint64_t at = end;
    end += size;
    return at;
}

bool FreeSpace::TakeAt(uint64_t begin, uint64_t size) {
    const uint64_t stop = begin + size;
    if (begin >= end) {
        // Past the end: free, with what lies between becoming a gap.
        if (begin > end) {
            gaps.push_back({end, begin});
        }
        end = stop;
        return true;
    }
    for (auto gap = gaps.begin(); gap != gaps.end(); ++gap) {
        if (gap->begin <= begin && begin < gap->end) {
            if (stop > gap->end && gap->end != end) {
                return false;
            }
            const FileRange before{gap->begin, begin};
            const FileRange after{stop, gap->end};
            gaps.erase(gap);
            if (after.begin < after.end) {
                gaps.insert(std::upper_bound(gaps.begin(), gaps.end(), after,
                                             [](const FileRange& a, const FileRange& b) {
                                                 return a.begin < b.begin;
                                             }),
                            after);
            }
            if (before.begin < before.end) {
                gaps.insert(std::upper_bound(gaps.begin(), gaps.end(), before,
                                             [](const FileRange& a, const FileRange& b) {
                                                 return a.begin < b.begin;
                                             }),
                            before);
            }
            end = std::max(end, stop);
            return true;
        }
    }
    return false;
}

}  // namespace vfs
