#include "tools/cli/write_plan.h"

namespace tvk9::cli {

namespace {

std::uint8_t Choose(Orientation o, std::uint8_t value) {
    return o == Orientation::Vertical ? ChooseVertical(value) : ChooseHorizontal(value);
}

void Choose(const std::optional<AxisSide>& side, std::uint8_t& value) {
    if (side) {
        // A click on the side the value is on already changes nothing, as the rule does.
        value = *side == AxisSide::Nor ? ChooseNor(value) : ChooseRev(value);
    }
}

} // namespace

DeviceSettings Adopted(const ReportedSettings& reported) {
    ReportedSettings copy = reported;
    DeviceSettings adopted = reported;
    AdoptReport(copy, adopted);
    return adopted;
}

DeviceSettings PlanWrite(const ReportedSettings& reported, const WriteChoices& choices) {
    DeviceSettings plan = Adopted(reported);
    Orientation shown = ReportedOrientation(plan.orientation);
    if (choices.file) {
        plan = *choices.file;
        // Selecting the file's radio button runs its handler only when it was not selected.
        const Orientation fromFile = FileOrientation(plan.orientation);
        if (fromFile != shown) {
            plan.orientation = Choose(fromFile, plan.orientation);
        }
        shown = fromFile;
    }
    if (choices.orientation && *choices.orientation != shown) {
        plan.orientation = Choose(*choices.orientation, plan.orientation);
    }
    Choose(choices.pitch, plan.pitch);
    Choose(choices.roll, plan.roll);
    Choose(choices.yaw, plan.yaw);
    return plan;
}

} // namespace tvk9::cli
