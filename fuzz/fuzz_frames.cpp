// The frame searches and the host frame parser against plain, index-by-index readings of the
// frame rules, and frames built by the module found again by them.

#include "config/frames.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

namespace {

using tvk9::DeviceSettings;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

DeviceSettings FromBytes(const std::uint8_t* p) {
    DeviceSettings s;
    s.orientation = p[0];
    s.pitch = p[1];
    s.roll = p[2];
    s.yaw = p[3];
    s.scale1 = p[4];
    s.scale2 = p[5];
    s.scale3 = p[6];
    return s;
}

bool SumMatches(const std::uint8_t* frame) {
    unsigned sum = 0;
    for (int i = 0; i < 9; ++i) {
        sum += frame[i];
    }
    return (sum % 256) == frame[9];
}

// Only the first BB 03 pair counts; it needs ten bytes in the block and a matching sum.
std::optional<DeviceSettings> NaiveReport(const std::vector<std::uint8_t>& b) {
    for (std::size_t p = 0; p + 1 < b.size(); ++p) {
        if (b[p] == 0xBB && b[p + 1] == 0x03) {
            if (b.size() - p <= 9 || !SumMatches(&b[p])) {
                return std::nullopt;
            }
            return FromBytes(&b[p + 2]);
        }
    }
    return std::nullopt;
}

bool NaivePresence(const std::vector<std::uint8_t>& b) {
    for (std::size_t p = 0; p + 2 < b.size(); ++p) {
        if (b[p] == 0xAA && b[p + 1] == 0xBB && b[p + 2] == 0x55) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Copied so that ASan sees a read beyond the block as one beyond this allocation.
    const std::vector<std::uint8_t> block(data, data + size);
    const std::span<const std::uint8_t> view(block.data(), block.size());

    const auto found = tvk9::FindReportFrame(view);
    const auto expected = NaiveReport(block);
    Check(found.has_value() == expected.has_value());
    if (found) {
        Check(*found == *expected);
    }
    Check(tvk9::HasPresenceSignature(view) == NaivePresence(block));

    if (size >= tvk9::FrameSize) {
        const std::span<const std::uint8_t, tvk9::FrameSize> frame(block.data(), tvk9::FrameSize);
        const auto request = tvk9::ParseHostFrame(frame);
        const bool valid =
            block[0] == 0xAA && (block[1] == 0x01 || block[1] == 0x02) && SumMatches(block.data());
        Check(request.has_value() == valid);
        if (request && block[1] == 0x01) {
            Check(request->command == tvk9::Command::Query);
            Check(request->settings == DeviceSettings{});
        }
        if (request && block[1] == 0x02) {
            Check(request->command == tvk9::Command::Settings);
            Check(request->settings == FromBytes(&block[2]));
        }
    }

    if (size >= tvk9::PayloadSize) {
        // What the module builds, its own readers take back unchanged.
        const DeviceSettings s = FromBytes(block.data());
        const auto settingsFrame = tvk9::BuildSettingsFrame(s);
        const auto parsed = tvk9::ParseHostFrame(settingsFrame);
        Check(parsed && parsed->command == tvk9::Command::Settings && parsed->settings == s);
        const auto report = tvk9::BuildReportFrame(s);
        Check(tvk9::FindReportFrame(report) == s);
    }
    return 0;
}
