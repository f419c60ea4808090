// tvk9-cli: the TVK9 Programmer's operations from a shell, without the window.

#include "tools/cli/cli.h"
#include "tools/cli/interrupt_watch.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    tvk9::cli::Inbox inbox;
    // First, before any thread: a stop from outside then reaches the command as an event.
    const tvk9::cli::InterruptWatch interrupts(inbox);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return tvk9::cli::RunCli(args, inbox, std::cout, std::cerr);
}
