#include "tools/progress_line.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "tools/display_path.h"
#include "tools/text_format.h"
#include "vfs/host/terminal.h"

namespace tarnwad::cli {

namespace {

// Redraws of the bar at most this often.
constexpr std::chrono::milliseconds kRedrawInterval(100);

}  // namespace

ProgressStyle ChooseProgressStyle(bool quiet, bool verbose) {
    if (quiet) {
        return ProgressStyle::kSilent;
    }
    if (verbose) {
        return ProgressStyle::kVerbose;
    }
    return vfs::host::IsTerminal(vfs::host::StandardStream::Error) ? ProgressStyle::kBar
                                                                   : ProgressStyle::kSilent;
}

ProgressLine::ProgressLine(ProgressStyle progressStyle, std::FILE* stream, uint32_t columns)
    : style(progressStyle),
      out(stream),
      width(columns < 20 ? 80 : columns),
      started(std::chrono::steady_clock::now()),
      lastDrawn(started) {}

void ProgressLine::SetTotals(uint32_t entries, uint64_t bytes,
                             std::map<std::string, uint64_t> sizes) {
    totalEntries = entries;
    totalBytes = bytes;
    entrySizes = std::move(sizes);
}

void ProgressLine::Status(const char* text) {
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

void ProgressLine::Finish() {
    FinishCurrentFile();
    if (style == ProgressStyle::kBar && drawn) {
        // Blank the line and leave the cursor at its start.
        std::fprintf(out, "\r%*s\r", static_cast<int>(width - 1), "");
        std::fflush(out);
        drawn = false;
    }
}

void ProgressLine::FinishCurrentFile() {
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

void ProgressLine::Draw(bool force) {
    if (style != ProgressStyle::kBar) {
        return;
    }
    auto now = std::chrono::steady_clock::now();
    if (!force && drawn && now - lastDrawn < kRedrawInterval) {
        return;
    }
    lastDrawn = now;
    drawn = true;
    const double seconds = std::chrono::duration<double>(now - started).count();
    std::string line = Layout(width, entriesDone, totalEntries, bytesDone, totalBytes, seconds);
    std::fprintf(out, "\r%s", line.c_str());
    std::fflush(out);
}

std::string ProgressLine::Layout(uint32_t columns, uint32_t entriesDone, uint32_t totalEntries,
                                 uint64_t bytesDone, uint64_t totalBytes, double seconds) {
    const size_t width = columns < 20 ? 79 : columns - 1;
    const double rate = seconds > 0.0 ? static_cast<double>(bytesDone) / seconds : 0.0;
    std::string left = "--:--";
    if (rate > 0.0 && totalBytes >= bytesDone) {
        left = ClockTime(static_cast<double>(totalBytes - bytesDone) / rate);
    }
    // Each figure padded to the widest it can get, so that nothing moves
    // as the figures grow.
    auto padded = [](std::string text, size_t size) {
        return text.size() < size ? std::string(size - text.size(), ' ') + text : text;
    };
    const std::string total = std::to_string(totalEntries);
    std::vector<std::string> figures = {
        padded(std::to_string(entriesDone), total.size()) + "/" + total +
            (totalEntries == 1 ? " file" : " files"),
        padded(HumanSize(static_cast<double>(bytesDone)), 10) + " of " +
            HumanSize(static_cast<double>(totalBytes)),
        padded(left, 7) + " left",
        padded(HumanSize(rate), 10) + "/s",
    };
    auto joined = [&](size_t count) {
        std::string text;
        for (size_t i = 0; i < count; ++i) {
            text += "  " + figures[i];
        }
        return text;
    };
    constexpr size_t kBarWidth = 30;  // between the brackets
    constexpr size_t kSmallestBar = 10;
    size_t shown = figures.size();
    while (shown > 1 && joined(shown).size() + kSmallestBar + 2 > width) {
        --shown;
    }
    const std::string text = joined(shown);
    const size_t room = width > text.size() + 2 ? width - text.size() - 2 : 0;
    const size_t barWidth = std::min(room, kBarWidth);
    double fraction = totalBytes > 0     ? static_cast<double>(bytesDone) / totalBytes
                      : totalEntries > 0 ? static_cast<double>(entriesDone) / totalEntries
                                         : 1.0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    std::string line;
    if (barWidth >= kSmallestBar) {
        size_t filled = static_cast<size_t>(fraction * static_cast<double>(barWidth));
        line = "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
        line += text;
    } else {
        line = text.substr(2);
    }
    if (line.size() > width) {
        // Only the file count is left, and even it does not fit.
        line.resize(width);
    }
    // Pad to overwrite a longer earlier line.
    line.resize(width, ' ');
    return line;
}

}  // namespace tarnwad::cli
