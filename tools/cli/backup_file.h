#pragma once

// A settings file that gives back a sensor's seven values exactly, in the window and in
// `tvk9-settings decode`. Pitch, roll and yaw v (0 to 20) are written as (v - 10) / 10 with one
// decimal, the scaled parameters v as v / 10, the orientation as a whole number; each text is
// read back through the loader's own conversion, and where one decimal would not give v back,
// the middle of the numbers that give v is written instead (two decimals).
//
// Not representable, and refused: pitch, roll or yaw above 20 (a file gives at most 20), and an
// orientation with bit 0 clear and any of bits 1 to 3 set (the window's Horizontal button
// clears bits 0 to 3 when it loads one).

#include "config/frames.h"

#include <string>

namespace tvk9::cli {

// The whole file. Throws tvk9::Exception saying which value cannot be kept, and why.
std::string BackupFile(const DeviceSettings& settings);

} // namespace tvk9::cli
