// The --layer option, as the commands that read an archive declare it.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace tarnwad::cli {

// Adds a repeatable --layer PATH to `command`, each occurrence taking
// exactly one path (so that the arguments after it stay positional); `does`
// says what the command then does with the merged tree.
inline void AddLayerOption(CLI::App* command, std::vector<std::string>& layers,
                           const std::string& does) {
    command
        ->add_option("--layer", layers,
                     "Lay this .wad file, ARCHIVE*/DIR (a directory inside one) or folder over "
                     "the archive, later layers winning (letter case ignored), and " +
                         does + "; may be given more than once")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(1)
        ->allow_extra_args(false);
}

}  // namespace tarnwad::cli
