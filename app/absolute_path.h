// How the front ends take host paths from their command lines.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace tarnwad {

// The library resolves relative host paths against the executable's
// directory; a user means the current directory. Gives the absolute form of
// `argument` (unchanged when it cannot be made).
inline std::string AbsolutePath(const std::string& argument) {
    if (argument.empty()) {
        return argument;
    }
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(argument, error);
    return error ? argument : absolute.string();
}

}  // namespace tarnwad
