// Small text formats the tool's output uses.
#pragma once

#include <cstdint>
#include <string>

// Counts with their nouns ("2 files") are written as the dialog writes them.

namespace tarnwad::cli {

// `text` as a JSON string literal, quotes included. Names in archives are
// 8-bit text of no fixed encoding: valid UTF-8 is kept as it is, and every
// byte of a text that is not UTF-8 is read as Latin-1, so the output is
// always valid JSON. Controls and the marks that reorder text are escaped
// (\uXXXX), so that the line shows as it is on a terminal too.
std::string JsonString(const std::string& text);

// The bytes of `text` as lower-case hexadecimal digits, two per byte: what
// tells apart names that JsonString gives alike (a Latin-1 name and its
// UTF-8 look-alike).
std::string HexBytes(const std::string& text);

// `text` safe to show on a terminal, so that a name read from an archive or
// from the disk cannot drive it: control characters (C0, DEL, C1) become
// \xNN (\uNNNN for C1 characters written as UTF-8), as do the bytes of text
// that is not UTF-8; the bidirectional marks and overrides and the line and
// paragraph separators become \uNNNN. Other UTF-8 is kept. Applying it twice
// changes nothing more.
std::string PrintableText(const std::string& text);

// A byte count for people: "912 B", "1.5 KiB", "23.0 MiB", "1.2 GiB".
std::string HumanSize(double bytes);

// Seconds as "m:ss", or "h:mm:ss" from an hour on.
std::string ClockTime(double seconds);

}  // namespace tarnwad::cli
