#pragma once

// What tvk9-cli says differently on each operating system: the paragraphs of its help that
// name the system's ports, signals and tools, and the answer of a command the system lacks.

#include <string_view>

namespace tvk9::cli {

struct SystemTexts {
    // Whole paragraphs and option lines of the help, each ending in a line break.
    std::string_view ports;       // the ports command
    std::string_view watch;       // the watch command
    std::string_view udevRule;    // the udev-rule command
    std::string_view portOption;  // -p, --port
    std::string_view fileOption;  // -f, --file: where the decimal separator comes from
    std::string_view serialOnly;  // --serial-only (empty where udev-rule does nothing)
    std::string_view interrupted; // exit status 130
    std::string_view portField;   // the JSON field "port"
    // Why udev-rule writes no rule here; empty where it does.
    std::string_view noUdev;
};

const SystemTexts& ThisSystem();

} // namespace tvk9::cli
