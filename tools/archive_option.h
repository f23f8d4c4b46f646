// The ARCHIVE argument, as the commands that read an archive from a file or
// standard input declare it.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace tarnwad::cli {

// Adds the required positional ARCHIVE to `command`; "-" stands for
// standard input (see ArchiveHostPath).
inline void AddArchiveArgument(CLI::App* command, std::string& archive) {
    command->add_option("ARCHIVE", archive, "The .wad file; - reads it from standard input")
        ->required();
}

}  // namespace tarnwad::cli
