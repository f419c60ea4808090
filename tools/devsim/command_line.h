#pragma once

// tvk9-devsim's options.

#include "tools/devsim/pty_device.h"

#include <span>
#include <string>
#include <string_view>

namespace tvk9::devsim {

struct CommandLine {
    RunnerOptions run; // log stays null: the program points it at standard error
    bool log = false;
    bool help = false;
    bool version = false;
};

// The arguments after the program's name. Throws tvk9::Exception naming the bad option.
CommandLine ParseCommandLine(std::span<const std::string_view> args);

// What --help prints.
std::string UsageText();

} // namespace tvk9::devsim
