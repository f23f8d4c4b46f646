#include "tools/unpack_progress.h"

#include <algorithm>
#include <utility>

#include "tools/display_path.h"
#include "tools/text_format.h"

namespace tarnwad::cli {

namespace {

// Redraws of the bar at most this often.
constexpr std::chrono::milliseconds kRedrawInterval(100);

}  // namespace

UnpackProgress::UnpackProgress(ProgressStyle progressStyle, std::FILE* stream, uint32_t columns)
    : style(progressStyle),
      out(stream),
      width(columns < 20 ? 80 : columns),
      started(std::chrono::steady_clock::now()),
      lastDrawn(started) {}

void UnpackProgress::SetTotals(uint32_t entries, uint64_t bytes,
                               std::map<std::string, uint64_t> sizes) {
    totalEntries = entries;
    totalBytes = bytes;
    entrySizes = std::move(sizes);
}

void UnpackProgress::Status(const char* text) {
    FinishCurrentFile();
    if (text[0] == '\0') {
        Draw(false);
        return;
    }
    current = text;
    if (style == ProgressStyle::kVerbose) {
        std::fprintf(out, "%s\n", ShownPath(current).c_str());
        std::fflush(out);
    }
    Draw(false);
}

void UnpackProgress::Finish() {
    FinishCurrentFile();
    if (style == ProgressStyle::kBar && drawn) {
        // Blank the line and leave the cursor at its start.
        std::fprintf(out, "\r%*s\r", static_cast<int>(width - 1), "");
        std::fflush(out);
        drawn = false;
    }
}

void UnpackProgress::FinishCurrentFile() {
    if (current.empty()) {
        return;
    }
    ++entriesDone;
    auto size = entrySizes.find(current);
    if (size != entrySizes.end()) {
        bytesDone += size->second;
    }
    current.clear();
}

void UnpackProgress::Draw(bool force) {
    if (style != ProgressStyle::kBar) {
        return;
    }
    auto now = std::chrono::steady_clock::now();
    if (!force && drawn && now - lastDrawn < kRedrawInterval) {
        return;
    }
    lastDrawn = now;
    drawn = true;
    std::string line = BarLine();
    std::fprintf(out, "\r%s", line.c_str());
    std::fflush(out);
}

std::string UnpackProgress::BarLine() const {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    double rate = seconds > 0.0 ? static_cast<double>(bytesDone) / seconds : 0.0;
    std::string left = "--:--";
    if (rate > 0.0 && totalBytes >= bytesDone) {
        left = ClockTime(static_cast<double>(totalBytes - bytesDone) / rate);
    }
    std::string figures = " " + std::to_string(entriesDone) + "/" + std::to_string(totalEntries) +
                          " files  " + HumanSize(static_cast<double>(bytesDone)) + " of " +
                          HumanSize(static_cast<double>(totalBytes)) + "  " + HumanSize(rate) +
                          "/s  " + left + " left";

    // The bar takes what the figures leave of the line, within limits.
    size_t room = width - 1 > figures.size() + 2 ? width - 1 - figures.size() - 2 : 0;
    size_t barWidth = std::min<size_t>(room, 40);
    double fraction = totalBytes > 0     ? static_cast<double>(bytesDone) / totalBytes
                      : totalEntries > 0 ? static_cast<double>(entriesDone) / totalEntries
                                         : 1.0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    std::string line;
    if (barWidth >= 10) {
        size_t filled = static_cast<size_t>(fraction * static_cast<double>(barWidth));
        line = "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
    }
    line += figures;
    if (line.size() > width - 1) {
        line.resize(width - 1);
    }
    // Pad to overwrite a longer earlier line.
    line.resize(width - 1, ' ');
    return line;
}

}  // namespace tarnwad::cli
