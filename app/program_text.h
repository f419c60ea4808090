#pragma once

// What tvk9-programmer says of itself on its command line, in every front end.

#include <string_view>

namespace tvk9 {

inline constexpr std::string_view ProgramName = "tvk9-programmer";

inline constexpr std::string_view ProgramDescription =
    "Finds a TVK9 motion sensor on a USB serial port, shows its orientation and output\n"
    "directions, loads a vendor settings file, and writes the settings to the sensor and\n"
    "checks its answer.";

} // namespace tvk9

namespace tvk9 {

// The program file's name without its folder, cut before its first full stop:
// "C:\x\MYTOOL.V2.EXE" gives "MYTOOL". The application title is this with every character after
// the first in lower case, which each front end does in its own character set.
std::string_view ProgramStem(std::string_view programPath);

} // namespace tvk9
