// Small text formats the tool's output uses.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwad::cli {

// `text` as a JSON string literal, quotes included. Names in archives are
// 8-bit text of no fixed encoding: valid UTF-8 is kept as it is, and every
// byte of a text that is not UTF-8 is read as Latin-1, so the output is
// always valid JSON.
std::string JsonString(const std::string& text);

// `text` safe to show on a terminal: control bytes (below 0x20, and 0x7F)
// become \xNN, so that a name read from an archive cannot drive the terminal.
std::string PrintableText(const std::string& text);

// A byte count for people: "912 B", "1.5 KiB", "23.0 MiB", "1.2 GiB".
std::string HumanSize(double bytes);

// Seconds as "m:ss", or "h:mm:ss" from an hour on.
std::string ClockTime(double seconds);

}  // namespace tarnwad::cli
