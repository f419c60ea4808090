#pragma once

// Making settings files: the enciphering direction at string level, which the program itself
// never needs and so lives only here.

#include "config/settings_file.h"

#include <string>
#include <string_view>

namespace tvk9 {

// Single DES in electronic codebook mode under the text key (zero bytes appended up to 8,
// bytes after the eighth unused): the plain text is filled with zero bytes to whole blocks,
// and each cipher byte is written as two upper-case hex digits. An empty text gives an empty
// line. Zero bytes that end `plain` cannot be told from the filling and do not come back.
std::string EncipherHexStr(std::string_view plain, std::string_view key);

// The whole file: each plain text enciphered under its line's key, every line ended by CR LF.
std::string EncodeSettingsFile(const SettingsLines& plain);

} // namespace tvk9
