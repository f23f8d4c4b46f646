// The --exclude option, as the commands that take it declare it.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace tarnwad::cli {

// Adds a repeatable --exclude PATTERN to `command`, each occurrence taking
// exactly one pattern (so that the arguments after it stay positional);
// `what` names what it leaves out ("entries", "files") and `byPath` how
// their path is meant ("their path", "their path in DIR").
inline void AddExcludeOption(CLI::App* command, std::vector<std::string>& patterns,
                             const std::string& what, const std::string& byPath) {
    command
        ->add_option("--exclude", patterns,
                     "Leave out " + what + " matching this pattern by " + byPath +
                         " (a name at any depth, a path from the root; letter case ignored), "
                         "and everything beneath a directory that matches; may be given more "
                         "than once")
        ->type_name("PATTERN")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->expected(1)
        ->allow_extra_args(false);
}

}  // namespace tarnwad::cli
