// tarnwad: the command-line tool for scripts and modders.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <sstream>
#include <string>

#include "tools/commands.h"
#include "tools/exit_codes.h"
#include "tools/text_format.h"
#include "vfs/host/process_signals.h"

namespace {

void PrintLines(const std::string& text, std::FILE* stream) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::fprintf(stream, "%s\n", tarnwad::cli::PrintableText(line).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit fails the write at hand, which is reported and
    // cleaned up, rather than killing the tool mid-file.
    vfs::host::IgnoreFileSizeLimitSignal();
    CLI::App app(
        "Lists, checks, unpacks and packs the WAD archives of Tarnhollow.\n"
        "Run 'tarnwad COMMAND --help' for the options of a command.",
        "tarnwad");
    // Options start with "-" on every host: on Windows "/" begins paths too.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "tarnwad " TARNWAD_VERSION);
    app.require_subcommand(1);

    int exitCode = tarnwad::cli::kExitSuccess;
    tarnwad::cli::AddListCommand(app, exitCode);
    tarnwad::cli::AddUnpackCommand(app, exitCode);
    tarnwad::cli::AddCatCommand(app, exitCode);
    tarnwad::cli::AddVerifyCommand(app, exitCode);
    tarnwad::cli::AddInfoCommand(app, exitCode);
    tarnwad::cli::AddPackCommand(app, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // The parser's messages quote what was typed, which may hold
        // anything: each line is shown escaped.
        std::ostringstream out;
        std::ostringstream err;
        int code = app.exit(error, out, err);
        PrintLines(out.str(), stdout);
        PrintLines(err.str(), stderr);
        return code == 0 ? tarnwad::cli::kExitSuccess : tarnwad::cli::kExitUsage;
    }
    return exitCode;
}
