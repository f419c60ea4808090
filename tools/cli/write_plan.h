#pragma once

// What `write` sends, by the window's rules: the sensor's settings as a query's answer gives
// them (AdoptReport: pitch, roll and yaw at most 20), then a settings file's seven values with
// the radio buttons' rule for the orientation, then each option as a click on its radio button.
// Unlike the window, whatever no option and no file names is written back as the sensor
// reported it: its scaled parameters (the window sends zeros before a file is loaded) and its
// orientation (the window's first answer sets bit 0 of an orientation such as 0x02).

#include "config/frames.h"

#include <optional>

namespace tvk9::cli {

struct WriteChoices {
    std::optional<DeviceSettings> file; // a settings file's values as loaded
    std::optional<Orientation> orientation;
    std::optional<AxisSide> pitch;
    std::optional<AxisSide> roll;
    std::optional<AxisSide> yaw;
};

// A query's answer as the window adopts it, scaled parameters included.
DeviceSettings Adopted(const ReportedSettings& reported);

DeviceSettings PlanWrite(const ReportedSettings& reported, const WriteChoices& choices);

} // namespace tvk9::cli
