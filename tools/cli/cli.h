#pragma once

// tvk9-cli, the TVK9 Programmer without the window: its commands run in-process from the
// arguments after the program's name, with the owner thread's inbox (into which an
// InterruptWatch may post) and the two output streams.

#include "tools/cli/inbox.h"

#include <ostream>
#include <span>
#include <string_view>

namespace tvk9::cli {

enum ExitCode : int {
    ExitOk = 0,
    ExitUsageOrFile = 1,  // a wrong command line, a settings file refused or unreadable
    ExitKept = 2,         // "No Sucess!": the sensor kept other values
    ExitNoResponse = 3,   // "No response!"
    ExitPort = 4,         // the port cannot be used: cause and remedy on standard error
    ExitSensorCount = 5,  // no sensor found, or several where one was needed
    ExitInterrupted = 130 // stopped from outside; the ports were closed first
};

int RunCli(std::span<const std::string_view> args, Inbox& inbox, std::ostream& out,
           std::ostream& err);

// What --help prints.
std::string_view HelpText();

} // namespace tvk9::cli
