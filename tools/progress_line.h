// ProgressLine: what the user sees of a long command (unpack, pack, verify)
// while it runs.
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

// The style of a command's progress: nothing with `quiet`, a line per file
// with `verbose`, otherwise a bar where someone watches (standard error is
// a terminal) and nothing for a pipe or a file.
ProgressStyle ChooseProgressStyle(bool quiet, bool verbose);

// Fed with status texts: a file's relative path when work on it starts, an
// empty text when a directory is done (the tree copy's status line). A file
// counts as done when the next text arrives.
class ProgressLine {
  public:
    ProgressLine(ProgressStyle style, std::FILE* stream, uint32_t columns);

    // What the command is expected to go through; `sizes` maps relative
    // paths (as the status texts give them) to byte counts.
    void SetTotals(uint32_t entries, uint64_t bytes, std::map<std::string, uint64_t> sizes);

    void Status(const char* text);
    // Counts the last file and takes the bar off the terminal line. Safe to
    // call more than once.
    void Finish();

    // The bar's line for the figures given, exactly `columns` - 1 characters
    // wide whatever the figures: the bar keeps its place and size, and on a
    // narrow terminal whole figures are left out (the rate first, then the
    // time left, then the sizes), never cut.
    static std::string Layout(uint32_t columns, uint32_t entriesDone, uint32_t totalEntries,
                              uint64_t bytesDone, uint64_t totalBytes, double seconds);

  private:
    void FinishCurrentFile();
    void Draw(bool force);

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
