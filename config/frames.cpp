#include "config/frames.h"

#include <algorithm>

namespace tvk9 {

std::uint8_t FrameChecksum(std::span<const std::uint8_t> firstNine) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : firstNine.first(FrameSize - 1)) {
        sum = static_cast<std::uint8_t>(sum + b);
    }
    return sum;
}

std::array<std::uint8_t, PayloadSize> PayloadOf(const DeviceSettings& s) {
    return {s.orientation, s.pitch, s.roll, s.yaw, s.scale1, s.scale2, s.scale3};
}

DeviceSettings SettingsOf(std::span<const std::uint8_t, PayloadSize> p) {
    return {p[0], p[1], p[2], p[3], p[4], p[5], p[6]};
}

namespace {

Frame BuildFrame(std::uint8_t start, Command command, const DeviceSettings& s) {
    Frame f{};
    f[0] = start;
    f[1] = static_cast<std::uint8_t>(command);
    const auto payload = PayloadOf(s);
    std::copy(payload.begin(), payload.end(), f.begin() + PayloadOffset);
    f[FrameSize - 1] = FrameChecksum(f);
    return f;
}

} // namespace

Frame BuildSettingsFrame(const DeviceSettings& s) {
    return BuildFrame(HostStart, Command::Settings, s);
}

Frame BuildReportFrame(const DeviceSettings& s) {
    return BuildFrame(DeviceStart, Command::Report, s);
}

std::optional<ReportedSettings> FindReportFrame(std::span<const std::uint8_t> block) {
    for (std::size_t p = 0; p + 1 < block.size(); ++p) {
        if (block[p] != DeviceStart || block[p + 1] != static_cast<std::uint8_t>(Command::Report)) {
            continue;
        }
        // Only the first pair is looked at: a damaged first report drops the whole block.
        if (block.size() - p < FrameSize) {
            return std::nullopt;
        }
        const auto frame = block.subspan(p, FrameSize);
        if (FrameChecksum(frame) != frame[FrameSize - 1]) {
            return std::nullopt;
        }
        return SettingsOf(frame.subspan<PayloadOffset, PayloadSize>());
    }
    return std::nullopt;
}

bool HasPresenceSignature(std::span<const std::uint8_t> block) {
    return std::search(block.begin(), block.end(), PresenceSignature.begin(),
                       PresenceSignature.end()) != block.end();
}

std::optional<HostRequest> ParseHostFrame(std::span<const std::uint8_t, FrameSize> frame) {
    if (frame[0] != HostStart || FrameChecksum(frame) != frame[FrameSize - 1]) {
        return std::nullopt;
    }
    switch (static_cast<Command>(frame[1])) {
    case Command::Query:
        return HostRequest{Command::Query, {}};
    case Command::Settings:
        return HostRequest{Command::Settings, SettingsOf(frame.subspan<PayloadOffset, PayloadSize>())};
    default:
        return std::nullopt;
    }
}

std::uint8_t ChooseVertical(std::uint8_t o) { return static_cast<std::uint8_t>(o | 0x01); }
std::uint8_t ChooseHorizontal(std::uint8_t o) { return static_cast<std::uint8_t>(o & 0xF0); }

std::uint8_t ChooseNor(std::uint8_t v) {
    return v < AxisZero ? static_cast<std::uint8_t>(AxisMax - v) : v;
}

std::uint8_t ChooseRev(std::uint8_t v) {
    return v > AxisZero - 1 ? static_cast<std::uint8_t>(AxisMax - v) : v;
}

AxisSide SideOf(std::uint8_t v) { return v >= AxisZero ? AxisSide::Nor : AxisSide::Rev; }
std::uint8_t ClampAxis(std::uint8_t v) { return std::min(v, AxisMax); }

Orientation ReportedOrientation(std::uint8_t o) {
    return (o & 0x0F) != 0 ? Orientation::Vertical : Orientation::Horizontal;
}

Orientation FileOrientation(std::uint8_t o) {
    return (o & 0x01) != 0 ? Orientation::Vertical : Orientation::Horizontal;
}

RadioChoice AdoptReport(ReportedSettings& reported, DeviceSettings& device) {
    reported.pitch = ClampAxis(reported.pitch);
    reported.roll = ClampAxis(reported.roll);
    reported.yaw = ClampAxis(reported.yaw);
    device.orientation = reported.orientation;
    device.pitch = reported.pitch;
    device.roll = reported.roll;
    device.yaw = reported.yaw;
    return {ReportedOrientation(reported.orientation), SideOf(reported.pitch),
            SideOf(reported.roll), SideOf(reported.yaw)};
}

} // namespace tvk9
