#include "tools/devsim/device_model.h"

#include <gtest/gtest.h>

namespace tvk9::devsim {
namespace {

using std::chrono::milliseconds;

TimePoint T(double ms) {
    return TimePoint{} +
           std::chrono::duration_cast<Duration>(std::chrono::duration<double, std::milli>(ms));
}

Bytes B(std::initializer_list<std::uint8_t> bytes) {
    return Bytes(bytes);
}
Bytes B(std::span<const std::uint8_t> f) {
    return Bytes(f.begin(), f.end());
}

Frame HostFrame(std::uint8_t command, const DeviceSettings& s) {
    Frame f = BuildSettingsFrame(s);
    f[1] = command;
    f[9] = FrameChecksum(f);
    return f;
}

struct Sent {
    TimePoint at;
    Bytes bytes;
    bool operator==(const Sent&) const = default;
};

// Runs the simulated clock up to `until`, jumping from one due action to the next, and
// returns what went on the line. An Unplug shows as an empty send.
std::vector<Sent> RunUntil(DeviceModel& model, TimePoint until) {
    std::vector<Sent> sent;
    while (auto next = model.NextDue()) {
        if (*next > until) {
            break;
        }
        for (Action& a : model.TakeDue(*next)) {
            EXPECT_EQ(a.due, *next);
            sent.push_back({*next, a.kind == Action::Kind::Unplug ? Bytes{} : a.bytes});
        }
    }
    return sent;
}

Bytes Joined(const std::vector<Sent>& sent) {
    Bytes all;
    for (const Sent& s : sent) {
        all.insert(all.end(), s.bytes.begin(), s.bytes.end());
    }
    return all;
}

const DeviceSettings Default{0x01, 10, 10, 10, 0, 0, 0};
const DeviceSettings NewValues{0x10, 5, 20, 11, 0x32, 0x3C, 0x46};

TEST(DeviceModel, GreetsEveryOpenAndAnswersAQueryAfterTheDelay) {
    DeviceModel model({});
    model.Opened(T(0));
    EXPECT_EQ(RunUntil(model, T(50)), (std::vector<Sent>{{T(10), B(PresenceSignature)}}));

    model.Received(QueryFrame, T(100));
    EXPECT_EQ(model.NextDue(), T(120));
    EXPECT_TRUE(model.TakeDue(T(119.9)).empty());
    EXPECT_EQ(
        RunUntil(model, T(1000)),
        (std::vector<Sent>{{T(120), B({0xBB, 0x03, 0x01, 0x0A, 0x0A, 0x0A, 0, 0, 0, 0xDD})}}));
    EXPECT_FALSE(model.NextDue()); // idle: nothing to wake up for

    // A second program opening the port is greeted as well.
    model.Opened(T(2000));
    EXPECT_EQ(Joined(RunUntil(model, T(2050))), B(PresenceSignature));
}

TEST(DeviceModel, AGreetingThatAFlushTookIsRepeatedOnce) {
    DeviceModel model({});
    // A flush before the greeting went out takes nothing: one greeting.
    model.Opened(T(0));
    model.InputFlushed(T(1));
    EXPECT_EQ(Joined(RunUntil(model, T(100))), B(PresenceSignature));

    // A flush after it did: greeted again at once, but only once.
    model.InputFlushed(T(200));
    model.InputFlushed(T(201));
    EXPECT_EQ(RunUntil(model, T(300)), (std::vector<Sent>{{T(200), B(PresenceSignature)}}));

    // Once the program has spoken, a flush is its own business.
    model.Opened(T(400));
    RunUntil(model, T(450));
    model.Received(QueryFrame, T(460));
    RunUntil(model, T(500));
    model.InputFlushed(T(600));
    EXPECT_FALSE(model.NextDue());

    // Each open starts afresh.
    model.Closed();
    model.Opened(T(1000));
    RunUntil(model, T(1050));
    model.InputFlushed(T(1100));
    EXPECT_EQ(model.NextDue(), T(1100));
}

TEST(DeviceModel, AWriteReplacesTheSettingsAndIsAnsweredWithThem) {
    DeviceOptions options;
    options.settings = {1, 2, 3, 4, 5, 6, 7};
    options.delay = milliseconds(0);
    DeviceModel model(options);
    model.Received(QueryFrame, T(0));
    EXPECT_EQ(Joined(RunUntil(model, T(0))), B(BuildReportFrame({1, 2, 3, 4, 5, 6, 7})));

    model.Received(BuildSettingsFrame(NewValues), T(10));
    EXPECT_EQ(model.Settings(), NewValues);
    EXPECT_EQ(Joined(RunUntil(model, T(10))), B(BuildReportFrame(NewValues)));
    model.Received(QueryFrame, T(20));
    EXPECT_EQ(Joined(RunUntil(model, T(20))), B(BuildReportFrame(NewValues)));
}

TEST(DeviceModel, FramesSplitOverReadsAreUnderstoodWhenWhole) {
    DeviceModel model({});
    const Frame write = BuildSettingsFrame(NewValues);
    for (std::size_t i = 0; i < FrameSize; ++i) {
        model.Received(std::span(write).subspan(i, 1), T(static_cast<double>(i)));
        if (i + 1 < FrameSize) {
            EXPECT_FALSE(model.NextDue()) << "answered after byte " << i;
        }
    }
    // The delay counts from the byte that completed the frame.
    EXPECT_EQ(RunUntil(model, T(100)),
              (std::vector<Sent>{{T(29), B(BuildReportFrame(NewValues))}}));

    // Two frames in one read are both answered, in order.
    Bytes two = B(QueryFrame);
    const Frame back = BuildSettingsFrame(Default);
    two.insert(two.end(), back.begin(), back.end());
    model.Received(two, T(200));
    Bytes expected = B(BuildReportFrame(NewValues));
    const Frame second = BuildReportFrame(Default);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Joined(RunUntil(model, T(300))), expected);
}

TEST(DeviceModel, AGoodFrameBehindGarbageIsNotLost) {
    DeviceModel model({});
    // Stray start bytes and a cut-off frame in front of a query, all in one read.
    Bytes stream = B({0x00, 0xAA, 0x05, 0x13, 0xAA, 0x02, 0x01});
    stream.insert(stream.end(), QueryFrame.begin(), QueryFrame.end());
    const auto log = model.Received(stream, T(0));
    EXPECT_EQ(Joined(RunUntil(model, T(100))), B(BuildReportFrame(Default)));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), (LogEntry{B(QueryFrame), "query"}));

    // The same garbage arriving alone first, and the frame later, byte by byte.
    DeviceModel later({});
    later.Received(std::span(stream).first(7), T(0));
    for (std::size_t i = 0; i < FrameSize; ++i) {
        later.Received(std::span(QueryFrame).subspan(i, 1), T(1));
    }
    EXPECT_EQ(Joined(RunUntil(later, T(100))), B(BuildReportFrame(Default)));

    // A damaged frame straight in front of a good one costs only the damaged one.
    DeviceModel damaged({});
    Frame bad = BuildSettingsFrame(NewValues);
    bad[9] ^= 0x01;
    Bytes both = B(bad);
    both.insert(both.end(), QueryFrame.begin(), QueryFrame.end());
    const auto log2 = damaged.Received(both, T(0));
    EXPECT_EQ(damaged.Settings(), Default);
    EXPECT_EQ(Joined(RunUntil(damaged, T(100))), B(BuildReportFrame(Default)));
    ASSERT_EQ(log2.size(), 2u);
    EXPECT_EQ(log2[0], (LogEntry{B(bad), "bad checksum"}));
    EXPECT_EQ(log2[1], (LogEntry{B(QueryFrame), "query"}));
}

TEST(DeviceModel, BadChecksumsAndUnknownCommandsGetNoAnswer) {
    DeviceModel model({});
    Frame badQuery = QueryFrame;
    badQuery[9] = 0xAC;
    Frame badWrite = BuildSettingsFrame(NewValues);
    badWrite[9] = static_cast<std::uint8_t>(badWrite[9] - 1);
    const Frame unknown = HostFrame(0x05, NewValues);
    const Frame reportEcho = HostFrame(0x03, NewValues);
    for (const Frame& f : {badQuery, badWrite, unknown, reportEcho}) {
        model.Received(f, T(0));
    }
    EXPECT_TRUE(RunUntil(model, T(1000)).empty());
    EXPECT_EQ(model.Settings(), Default);

    // A well-formed frame of an unknown command is taken whole: its payload is not searched
    // for frames, and the query behind it is answered exactly once.
    const Frame hidesAQuery = HostFrame(0x07, {0xAA, 0x01, 0, 0, 0, 0, 0});
    const auto log = model.Received(hidesAQuery, T(2000));
    EXPECT_EQ(log, (std::vector<LogEntry>{{B(hidesAQuery), "unknown command"}}));
    model.Received(QueryFrame, T(2000));
    EXPECT_EQ(RunUntil(model, T(3000)).size(), 1u);
}

TEST(DeviceModel, FaultOptionsChangeOnlyWhatTheySay) {
    DeviceOptions ignore;
    ignore.ignoreWrites = true;
    DeviceModel ignoring(ignore);
    ignoring.Received(BuildSettingsFrame(NewValues), T(0));
    EXPECT_EQ(Joined(RunUntil(ignoring, T(100))), B(BuildReportFrame(Default)));
    EXPECT_EQ(ignoring.Settings(), Default);

    DeviceOptions bad;
    bad.badChecksum = true;
    DeviceModel badSum(bad);
    badSum.Received(QueryFrame, T(0));
    const Bytes report = Joined(RunUntil(badSum, T(100)));
    ASSERT_EQ(report.size(), FrameSize);
    EXPECT_NE(report[9], FrameChecksum(report));
    const Frame good = BuildReportFrame(Default);
    EXPECT_TRUE(std::equal(good.begin(), good.begin() + 9, report.begin()));
    EXPECT_FALSE(FindReportFrame(report));

    DeviceOptions quiet;
    quiet.silent = true;
    quiet.announce = false;
    DeviceModel silent(quiet);
    silent.Opened(T(0));
    silent.Received(QueryFrame, T(0));
    silent.Received(BuildSettingsFrame(NewValues), T(0));
    EXPECT_TRUE(RunUntil(silent, T(1000)).empty());
}

TEST(DeviceModel, SplitReportsComeInTwoPartsWithThePauseBetween) {
    DeviceOptions options;
    options.split = milliseconds(150);
    DeviceModel model(options);
    model.Received(QueryFrame, T(0));
    const Bytes report = B(BuildReportFrame(Default));
    EXPECT_EQ(RunUntil(model, T(1000)),
              (std::vector<Sent>{{T(20), Bytes(report.begin(), report.begin() + 5)},
                                 {T(170), Bytes(report.begin() + 5, report.end())}}));
}

TEST(DeviceModel, BaudTimingPacesEveryByteAndNothingOvertakes) {
    DeviceOptions options;
    options.baudTiming = true;
    options.delay = milliseconds(0);
    DeviceModel model(options);
    model.Opened(T(0));
    model.Received(QueryFrame, T(10)); // due at once, but the line is busy with the greeting
    const auto sent = RunUntil(model, T(1000));
    ASSERT_EQ(sent.size(), 3 + FrameSize);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].at, TimePoint{} + GreetingDelay + static_cast<long>(i) * ByteTime) << i;
        EXPECT_EQ(sent[i].bytes.size(), 1u);
    }
    Bytes expected = B(PresenceSignature);
    const Frame report = BuildReportFrame(Default);
    expected.insert(expected.end(), report.begin(), report.end());
    EXPECT_EQ(Joined(sent), expected);
    const double byteMs = std::chrono::duration<double, std::milli>(ByteTime).count();
    EXPECT_NEAR(byteMs, 1.0417, 0.0001);

    // A split pause starts when the first part has left the line.
    DeviceOptions both = options;
    both.split = milliseconds(50);
    DeviceModel splitting(both);
    splitting.Received(QueryFrame, T(0));
    const auto parts = RunUntil(splitting, T(1000));
    ASSERT_EQ(parts.size(), FrameSize);
    EXPECT_EQ(parts[5].at, TimePoint{} + 5 * ByteTime + milliseconds(50));
}

TEST(DeviceModel, UnplugsAfterTheGivenNumberOfAnswersSent) {
    DeviceOptions options;
    options.unplugAfter = 2;
    DeviceModel model(options);
    model.Opened(T(0));
    model.Received(QueryFrame, T(0));
    // The client goes before the answer: it was never sent, so it does not count.
    model.Closed();
    EXPECT_FALSE(model.NextDue());
    model.Opened(T(100));
    model.Received(QueryFrame, T(100));
    model.Received(QueryFrame, T(100));
    model.Received(QueryFrame, T(100)); // the cable is pulled before this one is answered
    const Bytes report = B(BuildReportFrame(Default));
    EXPECT_EQ(RunUntil(model, T(1000)), (std::vector<Sent>{{T(110), B(PresenceSignature)},
                                                           {T(120), report},
                                                           {T(120), report},
                                                           {T(120), Bytes{}}}));
    EXPECT_TRUE(model.Unplugged());
    EXPECT_EQ(model.AnswersSent(), 2u);
    model.Opened(T(2000));
    model.Received(QueryFrame, T(2000));
    EXPECT_FALSE(model.NextDue());
}

TEST(DeviceModel, ClosingDropsPendingAnswersAndHalfFrames) {
    DeviceModel model({});
    model.Received(std::span(QueryFrame).first(4), T(0));
    model.Closed();
    model.Received(std::span(QueryFrame).subspan(4), T(1));
    EXPECT_FALSE(model.NextDue());
    model.Received(QueryFrame, T(2));
    EXPECT_EQ(RunUntil(model, T(100)).size(), 1u);
}

TEST(DeviceModel, LogLinesCarryTimeDirectionBytesAndMeaning) {
    EXPECT_EQ(FormatLogLine(milliseconds(12345), "rx", {B(QueryFrame), "query"}),
              "12.345 rx AA 01 00 00 00 00 00 00 00 AB (query)");
    EXPECT_EQ(FormatLogLine(std::chrono::microseconds(7999), "tx", {B({0xBB, 0x0A}), ""}),
              "0.007 tx BB 0A");
    EXPECT_EQ(FormatLogLine(milliseconds(61000), "open", {}), "61.000 open");

    DeviceModel model({});
    const auto log = model.Received(B({0x01, 0x02, 0xAA}), T(0));
    EXPECT_EQ(log, (std::vector<LogEntry>{{B({0x01, 0x02}), "skipped"}}));
}

} // namespace
} // namespace tvk9::devsim
