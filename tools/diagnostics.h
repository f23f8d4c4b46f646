// How the tool tells its user what went wrong: one line on stderr each,
// "tarnwad: " then the file it concerns, then plain words.
#pragma once

#include <cstdio>
#include <string>

namespace tarnwad::cli {

inline void Complain(const std::string& subject, const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "tarnwad: %s: %s\n", subject.c_str(), text.c_str());
}

inline void Complain(const std::string& archive, const std::string& entry,
                     const std::string& text) {
    Complain(archive + ": " + entry, text);
}

}  // namespace tarnwad::cli
