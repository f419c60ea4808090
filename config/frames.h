#pragma once

// Every byte of the device link: the settings record, the three frames, the presence
// signature, and the value rules for orientation and NOR/REV.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tvk9 {

// The seven values that the next write sends, in their order within every frame.
struct DeviceSettings {
    std::uint8_t orientation = 0;
    std::uint8_t pitch = 0;
    std::uint8_t roll = 0;
    std::uint8_t yaw = 0;
    std::uint8_t scale1 = 0;
    std::uint8_t scale2 = 0;
    std::uint8_t scale3 = 0;

    bool operator==(const DeviceSettings&) const = default;
};

// What the device last reported: the same seven values, never sent.
using ReportedSettings = DeviceSettings;

inline constexpr std::size_t FrameSize = 10;
inline constexpr std::size_t PayloadOffset = 2;
inline constexpr std::size_t PayloadSize = 7;
using Frame = std::array<std::uint8_t, FrameSize>;

inline constexpr std::uint8_t HostStart = 0xAA;   // tool to device
inline constexpr std::uint8_t DeviceStart = 0xBB; // device to tool

enum class Command : std::uint8_t {
    Query = 0x01,    // tool asks for the current settings
    Settings = 0x02, // tool writes new settings
    Report = 0x03,   // device answers either with its settings
};

inline constexpr Frame QueryFrame{HostStart, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAB};
inline constexpr std::array<std::uint8_t, 3> PresenceSignature{0xAA, 0xBB, 0x55};

// Sum of the first nine bytes, wrapping at 8 bits.
std::uint8_t FrameChecksum(std::span<const std::uint8_t> firstNine);

std::array<std::uint8_t, PayloadSize> PayloadOf(const DeviceSettings& s);
DeviceSettings SettingsOf(std::span<const std::uint8_t, PayloadSize> payload);

// AA 02, the seven values, checksum.
Frame BuildSettingsFrame(const DeviceSettings& s);
// BB 03, the seven values, checksum: what a device sends.
Frame BuildReportFrame(const DeviceSettings& s);

// The payload of the first report in a received block, or nothing: only the first BB 03 pair
// counts, it needs ten bytes inside the block and a matching checksum.
std::optional<ReportedSettings> FindReportFrame(std::span<const std::uint8_t> block);

// Whether AA BB 55 stands anywhere inside the block.
bool HasPresenceSignature(std::span<const std::uint8_t> block);

// A frame the tool sends, as a device reads it: nothing for a bad start byte, an unknown
// command or a wrong checksum. A query carries no settings.
struct HostRequest {
    Command command;
    DeviceSettings settings;
};
std::optional<HostRequest> ParseHostFrame(std::span<const std::uint8_t, FrameSize> frame);

// Value rules.
enum class Orientation { Vertical, Horizontal };
enum class AxisSide { Nor, Rev };

inline constexpr std::uint8_t AxisZero = 10;
inline constexpr std::uint8_t AxisMax = 20;

std::uint8_t ChooseVertical(std::uint8_t orientation);   // sets bit 0
std::uint8_t ChooseHorizontal(std::uint8_t orientation); // clears bits 0 to 3
std::uint8_t ChooseNor(std::uint8_t axis);               // v < 10 becomes 20 - v
std::uint8_t ChooseRev(std::uint8_t axis);               // v > 9 becomes 20 - v
AxisSide SideOf(std::uint8_t axis);                      // NOR from 10 up
std::uint8_t ClampAxis(std::uint8_t axis);               // at most 20
// A device reports vertical with any of bits 0 to 3; a settings file by bit 0 alone.
Orientation ReportedOrientation(std::uint8_t orientation);
Orientation FileOrientation(std::uint8_t orientation);

// The radio choices that a set of values shows.
struct RadioChoice {
    Orientation orientation;
    AxisSide pitch;
    AxisSide roll;
    AxisSide yaw;
    bool operator==(const RadioChoice&) const = default;
};

// Takes a query's answer: clamps the axes in `reported`, copies orientation and axes into
// `device` (the scaled parameters stay), and returns the choices to show.
RadioChoice AdoptReport(ReportedSettings& reported, DeviceSettings& device);

} // namespace tvk9
