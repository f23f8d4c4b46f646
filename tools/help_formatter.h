// HelpFormatter: the tool's --help texts, in the words its users read rather
// than the argument parser's.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace tarnwad::cli {

// Shows each option with the name of its value ("--exclude PATTERN",
// "--codec {stored,lz,zlib,auto}=auto") instead of the parser's types and
// checks ("TEXT", "UINT:UINT in [1 - 256]"), positional arguments by their
// names alone (the usage line shows which are optional or repeated), and the
// sections as "Arguments" and "Commands".
class HelpFormatter : public CLI::Formatter {
  public:
    HelpFormatter() {
        label("Positionals", "Arguments");
        label("SUBCOMMAND", "COMMAND");
    }

    std::string make_option_opts(const CLI::Option* option) const override {
        // Flags have no value, and so no type name.
        if (option->get_positional() || option->get_type_size() == 0 ||
            option->get_type_name().empty()) {
            return {};
        }
        if (!option->get_option_text().empty()) {
            return " " + option->get_option_text();
        }
        std::string text = " " + ValueName(*option);
        if (!option->get_default_str().empty()) {
            text += "=" + option->get_default_str();
        }
        if (option->get_required()) {
            text += " (required)";
        }
        return text;
    }

    std::string make_option_usage(const CLI::Option* option) const override {
        std::string usage = option->get_name(true, false);
        if (option->get_expected_max() >= CLI::detail::expected_max_vector_size) {
            usage += "...";
        }
        return option->get_required() ? usage : "[" + usage + "]";
    }

  private:
    // The type name the option was given ("PATTERN"), else the choices a
    // check allows ("{stored,lz,zlib,auto}") or the name a check gives
    // ("SIZE"), else the long name in capitals ("--base": "BASE").
    static std::string ValueName(const CLI::Option& option) {
        const std::string full = option.get_type_name();
        const size_t colon = full.find(':');
        const std::string given = full.substr(0, colon);
        if (given != "TEXT" && given != "UINT" && given != "INT" && given != "FLOAT" &&
            !given.empty()) {
            return given;
        }
        if (colon != std::string::npos) {
            const std::string checked = full.substr(colon + 1);
            if (checked.find(' ') == std::string::npos && checked.find(':') == std::string::npos) {
                return checked;
            }
        }
        std::string name = option.get_lnames().empty() ? option.get_name() : option.get_lnames()[0];
        for (char& c : name) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return name;
    }
};

}  // namespace tarnwad::cli
