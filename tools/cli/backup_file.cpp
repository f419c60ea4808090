#include "tools/cli/backup_file.h"

#include "common/error.h"
#include "config/numbers.h"
#include "config/settings_file.h"
#include "tools/settings/encode.h"

#include <cstdio>
#include <cstdlib>

namespace tvk9::cli {

namespace {

// `tenths` / 10 with one decimal, or `twentieths` / 20 with two decimals.
std::string Tenths(int tenths) {
    const int size = std::abs(tenths);
    char text[16];
    std::snprintf(text, sizeof text, "%s%d.%d", tenths < 0 ? "-" : "", size / 10, size % 10);
    return text;
}

std::string Twentieths(int twentieths) {
    const int hundredths = std::abs(twentieths) * 5;
    char text[16];
    std::snprintf(text, sizeof text, "%s%d.%02d", twentieths < 0 ? "-" : "", hundredths / 100,
                  hundredths % 100);
    return text;
}

// The text whose conversion gives `value`: x with one decimal, else x + 0.05, the middle of
// the numbers that truncate to it.
template <class Convert> std::string TextFor(int tenths, std::uint8_t value, Convert convert) {
    const std::string plain = Tenths(tenths);
    if (convert(ParseDecimalNumber(plain, '.')) == value) {
        return plain;
    }
    return Twentieths(tenths * 2 + 1);
}

[[noreturn]] void Refuse(const std::string& why) {
    throw Exception("A settings file cannot keep this sensor's settings: " + why);
}

} // namespace

std::string BackupFile(const DeviceSettings& s) {
    const auto checkAxis = [](const char* name, std::uint8_t v) {
        if (v > AxisMax) {
            Refuse(std::string(name) + " is " + std::to_string(v) +
                   ", and a file gives at most 20");
        }
    };
    checkAxis("pitch", s.pitch);
    checkAxis("roll", s.roll);
    checkAxis("yaw", s.yaw);
    if ((s.orientation & 0x01) == 0 && (s.orientation & 0x0E) != 0) {
        Refuse("the orientation is " + std::to_string(s.orientation) +
               ", and the window clears bits 0 to 3 of a file's orientation whose bit 0 is clear");
    }
    const auto axis = [](std::uint8_t v) { return TextFor(v - AxisZero, v, ScaleAxis); };
    const auto parameter = [](std::uint8_t v) { return TextFor(v, v, ScaleParameter); };
    const SettingsLines plain{std::string(SettingsMarker),
                              axis(s.pitch),
                              axis(s.roll),
                              axis(s.yaw),
                              parameter(s.scale1),
                              parameter(s.scale2),
                              parameter(s.scale3),
                              std::to_string(s.orientation)};
    std::string file = EncodeSettingsFile(plain);

    // What the window and tvk9-settings make of it, through the same loader.
    DeviceSettings loaded;
    if (LoadSettingsLines(SplitSettingsLines(file), '.', loaded) != LoadResult::Accepted ||
        SettingsAfterFreshSelection(loaded) != s) {
        Refuse("the file would not read back the same"); // the loader's rules changed
    }
    return file;
}

} // namespace tvk9::cli
