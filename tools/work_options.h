// The options of the commands that work through many files (`unpack`,
// `pack`): how much they say, and on how many threads they work.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace tarnwad::cli {

// Adds -v/--verbose ("Name each file as it is " + `done`) and -q/--quiet,
// which exclude each other.
inline void AddVerbosityOptions(CLI::App* command, bool& verbose, bool& quiet,
                                const std::string& done) {
    CLI::Option* naming =
        command->add_flag("-v,--verbose", verbose, "Name each file as it is " + done);
    command->add_flag("-q,--quiet", quiet, "Print nothing but errors")->excludes(naming);
}

// Adds -j/--jobs, from 1 to 256 threads, described by `text`.
inline void AddJobsOption(CLI::App* command, unsigned& jobs, const std::string& text) {
    command->add_option("-j,--jobs", jobs, text)->type_name("N")->check(CLI::Range(1u, 256u));
}

}  // namespace tarnwad::cli
