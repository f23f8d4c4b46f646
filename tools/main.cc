// tarnwad: the command-line tool for scripts and modders.
#include <CLI/CLI.hpp>

#include "tools/exit_codes.h"
#include "tools/unpack_command.h"

int main(int argc, char** argv) {
    CLI::App app("Unpacks the WAD archives of Tarnhollow", "tarnwad");
    app.set_version_flag("--version", "tarnwad " TARNWAD_VERSION);
    app.require_subcommand(1);

    int exitCode = tarnwad::cli::kExitSuccess;
    tarnwad::cli::AddUnpackCommand(app, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? 0 : tarnwad::cli::kExitUsage;
    }
    return exitCode;
}
