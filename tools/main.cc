// tarnwad: the command-line tool for scripts and modders.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tools/commands.h"
#include "tools/exit_codes.h"
#include "tools/help_formatter.h"
#include "tools/text_format.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/standard_streams.h"

namespace {

void PrintLines(const std::string& text, std::FILE* stream) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::fprintf(stream, "%s\n", tarnwad::cli::PrintableText(line).c_str());
    }
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The edits that turn `a` into `b`: inserting, deleting or replacing one
// character, or swapping two neighbours ("lsit" is one edit from "list").
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t replace = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

std::vector<const CLI::App*> Commands(const CLI::App& app) {
    return app.get_subcommands([](const CLI::App*) { return true; });
}

// The command of that name or alias ("extract" is "unpack").
const CLI::App* FindCommand(const CLI::App& app, const std::string& name) {
    for (const CLI::App* command : Commands(app)) {
        if (command->check_name(name)) {
            return command;
        }
    }
    return nullptr;
}

// The command closest to what was typed, letter case aside, or empty when
// none is close enough to be what was meant: at most two edits away, and
// fewer edits than the typed name has letters.
std::string ClosestCommand(const CLI::App& app, const std::string& typed) {
    const std::string lowered = Lower(typed);
    std::string best;
    size_t bestDistance = std::min<size_t>(3, lowered.size());
    for (const CLI::App* command : Commands(app)) {
        const size_t distance = EditDistance(lowered, command->get_name());
        if (distance < bestDistance) {
            best = command->get_name();
            bestDistance = distance;
        }
    }
    return best;
}

// The parser words its messages as sentences ("Value 0 not in range"); after
// "tarnwad: unpack: --jobs: " they read as the rest of one. Names in capitals
// ("ARCHIVE is required") stay as they are.
std::string AsClause(std::string text) {
    size_t at = 0;
    const size_t colon = text.find(": ");
    if (!text.empty() && text[0] == '-' && colon != std::string::npos && text.find(' ') > colon) {
        at = colon + 2;
    }
    if (at + 1 < text.size() && std::isupper(static_cast<unsigned char>(text[at])) &&
        std::islower(static_cast<unsigned char>(text[at + 1]))) {
        text[at] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
    }
    return text;
}

// Prints "tarnwad: [COMMAND: ]MESSAGE" and where to read more on stderr.
int UsageError(const std::string& command, const std::string& message) {
    std::string text = "tarnwad: " + (command.empty() ? "" : command + ": ") + message + "\n";
    if (command.empty()) {
        text += "Run 'tarnwad --help' for the commands.";
    } else {
        text += "Run 'tarnwad " + command + " --help' for its options.";
    }
    PrintLines(text, stderr);
    return tarnwad::cli::kExitUsage;
}

int UnknownCommand(const CLI::App& app, const std::string& typed) {
    std::string message = "unknown command '" + typed + "'";
    const std::string closest = ClosestCommand(app, typed);
    if (!closest.empty()) {
        message += "; did you mean '" + closest + "'?";
    }
    return UsageError("", message);
}

// The first argument that is not an option names the command: the tool
// itself takes no option with a value.
const char* CommandArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            return argv[i];
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: none may take the place of a standard
    // stream the tool was started without.
    vfs::host::OpenMissingStandardStreams();
    // A file-size limit fails the write at hand, which is reported and
    // cleaned up, rather than killing the tool mid-file.
    vfs::host::IgnoreFileSizeLimitSignal();
    // Output closed by its reader stops the work as an interrupt does,
    // temporary files removed; the tool then ends quietly (see the end).
    vfs::host::CatchClosedOutput();
    CLI::App app(
        "Lists, checks, unpacks, packs and mounts the WAD archives of Tarnhollow.\n"
        "Run 'tarnwad help COMMAND' or 'tarnwad COMMAND --help' for the options of a command.",
        "tarnwad");
    // Options start with "-" on every host: on Windows "/" begins paths too.
    app.allow_windows_style_options(false);
    app.set_version_flag("-V,--version", "tarnwad " TARNWAD_VERSION);
    // Set before the commands are added, which take it over.
    app.formatter(std::make_shared<tarnwad::cli::HelpFormatter>());
    // One command at most, so that a later argument that happens to be a
    // command's name ("tarnwad unpack a.wad info") stays an argument.
    app.require_subcommand(0, 1);

    int exitCode = tarnwad::cli::kExitSuccess;
    tarnwad::cli::AddListCommand(app, exitCode);
    tarnwad::cli::AddUnpackCommand(app, exitCode);
    tarnwad::cli::AddCatCommand(app, exitCode);
    tarnwad::cli::AddVerifyCommand(app, exitCode);
    tarnwad::cli::AddInfoCommand(app, exitCode);
    tarnwad::cli::AddPackCommand(app, exitCode);
    tarnwad::cli::AddConflictsCommand(app, exitCode);
    tarnwad::cli::AddDiffCommand(app, exitCode);
    tarnwad::cli::AddEditCommands(app, exitCode);
    tarnwad::cli::AddMountCommand(app, exitCode);
    tarnwad::cli::AddUmountCommand(app, exitCode);
    // "tarnwad help [COMMAND]" prints what "--help" prints, once parsing is
    // done; the commands' own callbacks never run alongside it.
    std::string helpTopic;
    CLI::App* help = app.add_subcommand("help", "Show the commands, or the options of COMMAND");
    help->add_option("COMMAND", helpTopic, "The command to show the options of");
    for (CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        command->group("Commands");
    }

    if (const char* command = CommandArgument(argc, argv);
        command != nullptr && FindCommand(app, command) == nullptr) {
        return UnknownCommand(app, command);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() != 0) {
            const std::vector<CLI::App*> parsed = app.get_subcommands();
            return UsageError(parsed.empty() ? "" : parsed.front()->get_name(),
                              AsClause(error.what()));
        }
        // --help and --version. The parser's texts quote what was typed,
        // which may hold anything: each line is shown escaped.
        std::ostringstream out;
        std::ostringstream err;
        app.exit(error, out, err);
        PrintLines(out.str(), stdout);
        PrintLines(err.str(), stderr);
        return tarnwad::cli::kExitSuccess;
    }

    if (help->parsed()) {
        const CLI::App* topic = FindCommand(app, helpTopic);
        if (!helpTopic.empty() && topic == nullptr) {
            return UnknownCommand(app, helpTopic);
        }
        // Help as "--help" gives it, with nothing chosen on the command line.
        app.clear();
        PrintLines(topic == nullptr ? app.help() : topic->help(app.get_name()), stdout);
        return tarnwad::cli::kExitSuccess;
    }
    if (app.get_subcommands().empty()) {
        // No command: what the tool takes, where a script's error goes.
        PrintLines(app.help(), stderr);
        return tarnwad::cli::kExitUsage;
    }
    // Nobody reads what the tool would say: it ends as a program the
    // closed pipe killed would, with nothing half-made left.
    if (vfs::host::OutputClosed()) {
        return tarnwad::cli::kExitOutputClosed;
    }
    return exitCode;
}
