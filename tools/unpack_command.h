// The `tarnwad unpack` command.
#pragma once

#include <CLI/CLI.hpp>

namespace tarnwad::cli {

// Adds the unpack command to the tool; it stores its exit code in `exitCode`.
void AddUnpackCommand(CLI::App& app, int& exitCode);

}  // namespace tarnwad::cli
