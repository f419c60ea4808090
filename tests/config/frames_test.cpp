#include "config/frames.h"

#include <gtest/gtest.h>

#include <vector>

namespace tvk9 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<std::span<const std::uint8_t>> parts) {
    Bytes out;
    for (auto p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

TEST(Frames, SettingsFrameCarriesTheRecordAndItsChecksum) {
    EXPECT_EQ(BuildSettingsFrame({0x01, 10, 10, 10, 0, 0, 0}),
              (Frame{0xAA, 0x02, 0x01, 0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0xCB}));
    // The nine bytes add up to 388, which wraps to 0x84.
    const Frame wrapped = BuildSettingsFrame({0x01, 0x14, 0x05, 0x0A, 0x32, 0x3C, 0x46});
    EXPECT_EQ(wrapped[9], 0x84);
    EXPECT_EQ(BuildReportFrame({0x01, 10, 10, 10, 0, 0, 0}),
              (Frame{0xBB, 0x03, 0x01, 0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0xDD}));
    EXPECT_EQ(FrameChecksum(QueryFrame), QueryFrame[9]);
}

TEST(Frames, ReportIsAcceptedOnlyWithItsChecksum) {
    const Bytes good{0xBB, 0x03, 0x01, 0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0xDD};
    EXPECT_EQ(FindReportFrame(good), (ReportedSettings{1, 10, 10, 10, 0, 0, 0}));
    Bytes bad = good;
    bad[9] = 0xDC;
    EXPECT_FALSE(FindReportFrame(bad));
}

TEST(Frames, OnlyTheFirstReportPairCounts) {
    const Frame valid = BuildReportFrame({2, 3, 4, 5, 6, 7, 8});
    Frame damaged = valid;
    damaged[9] ^= 0xFF;
    EXPECT_FALSE(FindReportFrame(Concat({damaged, valid})));

    // A later pair that would be whole does not rescue a block whose first pair is cut short.
    Bytes shortFirst(20, 0x00);
    shortFirst[11] = 0xBB;
    shortFirst[12] = 0x03;
    EXPECT_FALSE(FindReportFrame(shortFirst));

    EXPECT_EQ(FindReportFrame(Concat({PresenceSignature, valid})),
              (ReportedSettings{2, 3, 4, 5, 6, 7, 8}));
}

TEST(Frames, NothingIsReadBeyondTheBlock) {
    const Frame valid = BuildReportFrame({1, 2, 3, 4, 5, 6, 7});
    // The whole frame sits in memory, but the block ends after nine of its bytes.
    EXPECT_FALSE(FindReportFrame(std::span(valid).first(9)));
    // 0xBB as the last byte: the 0x03 after it lies outside the block.
    const Bytes tail{0x00, 0xBB, 0x03};
    EXPECT_FALSE(FindReportFrame(std::span(tail).first(2)));
    EXPECT_FALSE(FindReportFrame({}));
}

TEST(Frames, PresenceSignatureMustStandWholeInOneBlock) {
    EXPECT_TRUE(HasPresenceSignature(Bytes{0x00, 0x11, 0xAA, 0xBB, 0x55}));
    EXPECT_TRUE(HasPresenceSignature(PresenceSignature));
    const Bytes split{0x00, 0xAA, 0xBB, 0x55};
    EXPECT_FALSE(HasPresenceSignature(std::span(split).first(3)));
    EXPECT_FALSE(HasPresenceSignature(std::span(split).last(1)));
    EXPECT_FALSE(HasPresenceSignature(Bytes{0xAA, 0xBB}));
}

TEST(Frames, DeviceSideParsesWhatTheToolSends) {
    const DeviceSettings s{0x11, 20, 0, 9, 25, 0, 255};
    const auto write = ParseHostFrame(std::span<const std::uint8_t, FrameSize>(BuildSettingsFrame(s)));
    ASSERT_TRUE(write);
    EXPECT_EQ(write->command, Command::Settings);
    EXPECT_EQ(write->settings, s);
    const auto query = ParseHostFrame(std::span<const std::uint8_t, FrameSize>(QueryFrame));
    ASSERT_TRUE(query);
    EXPECT_EQ(query->command, Command::Query);

    Frame badSum = BuildSettingsFrame(s);
    badSum[9]++;
    EXPECT_FALSE(ParseHostFrame(std::span<const std::uint8_t, FrameSize>(badSum)));
    Frame unknown = QueryFrame;
    unknown[1] = 0x07;
    unknown[9] = FrameChecksum(unknown);
    EXPECT_FALSE(ParseHostFrame(std::span<const std::uint8_t, FrameSize>(unknown)));
    // A report echoed back is no request.
    const Frame report = BuildReportFrame(s);
    EXPECT_FALSE(ParseHostFrame(std::span<const std::uint8_t, FrameSize>(report)));
}

TEST(ValueRules, NorAndRevMirrorAroundTen) {
    EXPECT_EQ(ChooseNor(0), 20);
    EXPECT_EQ(ChooseNor(9), 11);
    EXPECT_EQ(ChooseNor(10), 10);
    EXPECT_EQ(ChooseNor(15), 15);
    EXPECT_EQ(ChooseRev(20), 0);
    EXPECT_EQ(ChooseRev(11), 9);
    EXPECT_EQ(ChooseRev(10), 10); // the zero point mirrors onto itself and still shows NOR
    EXPECT_EQ(SideOf(ChooseRev(10)), AxisSide::Nor);
    EXPECT_EQ(ChooseRev(3), 3);
    // Values out of range wrap as the device's 8-bit arithmetic does.
    EXPECT_EQ(ChooseRev(25), 251);
    EXPECT_EQ(ClampAxis(254), 20);
    EXPECT_EQ(ClampAxis(20), 20);
    EXPECT_EQ(ClampAxis(7), 7);
}

TEST(ValueRules, OrientationBits) {
    EXPECT_EQ(ChooseVertical(0xF2), 0xF3);
    EXPECT_EQ(ChooseHorizontal(0xF3), 0xF0);
    EXPECT_EQ(ReportedOrientation(0x02), Orientation::Vertical);
    EXPECT_EQ(ReportedOrientation(0x10), Orientation::Horizontal);
    EXPECT_EQ(FileOrientation(0x02), Orientation::Horizontal);
    EXPECT_EQ(FileOrientation(0x11), Orientation::Vertical);
}

TEST(ValueRules, AdoptingAQueryAnswerClampsAndKeepsScaledParameters) {
    ReportedSettings reported{0x02, 25, 9, 255, 1, 2, 3};
    DeviceSettings device{0, 0, 0, 0, 40, 50, 60};
    const RadioChoice shown = AdoptReport(reported, device);
    EXPECT_EQ(reported, (ReportedSettings{0x02, 20, 9, 20, 1, 2, 3}));
    EXPECT_EQ(device, (DeviceSettings{0x02, 20, 9, 20, 40, 50, 60}));
    EXPECT_EQ(shown, (RadioChoice{Orientation::Vertical, AxisSide::Nor, AxisSide::Rev,
                                  AxisSide::Nor}));
}

} // namespace
} // namespace tvk9
