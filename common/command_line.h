#pragma once

// Command lines in the GNU style, read by the platform's getopt_long: "--name value" and
// "--name=value", short options, unambiguous abbreviations of long ones, operands among the
// options, and "--" to end them.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tvk9 {

struct OptionDef {
    const char* longName; // without the dashes
    char shortName;       // 0: none
    bool takesValue;
};

struct ParsedOption {
    std::size_t index; // into the list of option definitions
    std::string value;
};

struct ParsedArguments {
    std::vector<ParsedOption> options; // in the order given
    std::vector<std::string> operands;
};

// `args` are the arguments after the program's name. Throws tvk9::Exception naming the option
// that is unknown, lacks its value or has one it does not take.
ParsedArguments ParseArguments(std::span<const std::string_view> args,
                               std::span<const OptionDef> defs);

// "NAME VERSION", the first line of every program's --version.
std::string VersionLine(std::string_view programName);

} // namespace tvk9
