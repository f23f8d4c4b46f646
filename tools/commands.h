// The commands of the tool. Each Add function registers one subcommand on
// `app`; when the command runs, it stores its exit code in `exitCode`.
#pragma once

#include <CLI/CLI.hpp>

namespace tarnwad::cli {

void AddListCommand(CLI::App& app, int& exitCode);
void AddUnpackCommand(CLI::App& app, int& exitCode);
void AddCatCommand(CLI::App& app, int& exitCode);
void AddVerifyCommand(CLI::App& app, int& exitCode);
void AddInfoCommand(CLI::App& app, int& exitCode);
void AddPackCommand(CLI::App& app, int& exitCode);
void AddConflictsCommand(CLI::App& app, int& exitCode);
void AddDiffCommand(CLI::App& app, int& exitCode);
// add, replace, rm, mv, update and compact.
void AddEditCommands(CLI::App& app, int& exitCode);
// `mount` and `umount` are there in every build; where the tool was built
// without FUSE 3 they say that they cannot run.
void AddMountCommand(CLI::App& app, int& exitCode);
void AddUmountCommand(CLI::App& app, int& exitCode);

}  // namespace tarnwad::cli
