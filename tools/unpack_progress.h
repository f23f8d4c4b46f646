// UnpackProgress: what the user sees of an unpack while it runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace tarnwad::cli {

enum class ProgressStyle {
    kSilent,   // nothing
    kVerbose,  // one line per file, on the verbose stream
    kBar,      // a progress bar redrawn on one line of a terminal
};

// Fed with the tree copy's status texts: a file's relative path when its
// copy starts, an empty text when a directory is done. A file counts as done
// when the next text arrives.
class UnpackProgress {
  public:
    UnpackProgress(ProgressStyle style, std::FILE* stream, uint32_t columns);

    // What the unpack is expected to copy; `sizes` maps relative paths (as
    // the status texts give them) to byte counts.
    void SetTotals(uint32_t entries, uint64_t bytes, std::map<std::string, uint64_t> sizes);

    void Status(const char* text);
    // Counts the last file and takes the bar off the terminal line.
    void Finish();

  private:
    void FinishCurrentFile();
    void Draw(bool force);
    std::string BarLine() const;

    ProgressStyle style;
    std::FILE* out;
    uint32_t width;
    uint32_t totalEntries = 0;
    uint64_t totalBytes = 0;
    std::map<std::string, uint64_t> entrySizes;
    std::string current;
    uint32_t entriesDone = 0;
    uint64_t bytesDone = 0;
    bool drawn = false;
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastDrawn;
};

}  // namespace tarnwad::cli
