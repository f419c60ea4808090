#include "serial/read_window.h"

#include <gtest/gtest.h>

namespace tvk9 {
namespace {

using std::chrono::milliseconds;
const SteadyClock::time_point T0 = SteadyClock::time_point{} + std::chrono::hours(1);

CommTimeouts Read(std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant) {
    CommTimeouts t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    return t;
}

TEST(ReadWindow, MainWindowValuesWaitForTheFirstByteThenEndOnSilence) {
    const ReadWindow w(Read(100, 0, 0), 20, T0);
    // No byte yet: no limit at all.
    EXPECT_TRUE(w.Ends(0, T0).IsNever());
    EXPECT_FALSE(w.Complete(0));
    // Ten bytes, the last at T0 + 5 s: ends 100 ms later, not before.
    const auto last = T0 + std::chrono::seconds(5);
    const Deadline d = w.Ends(10, last);
    EXPECT_FALSE(d.Expired(last + milliseconds(99)));
    EXPECT_TRUE(d.Expired(last + milliseconds(100)));
    // A further byte moves the end.
    EXPECT_EQ(w.Ends(11, last + milliseconds(60)).When(), last + milliseconds(160));
    EXPECT_FALSE(w.Complete(19));
    EXPECT_TRUE(w.Complete(20));
}

TEST(ReadWindow, TotalTimeoutCountsFromTheStartAndScalesWithBytesAsked) {
    const ReadWindow w(Read(0, 10, 50), 8, T0);
    EXPECT_EQ(w.Ends(0, T0).When(), T0 + milliseconds(130));
    // Without an interval time-out bytes do not move the end.
    EXPECT_EQ(w.Ends(5, T0 + milliseconds(120)).When(), T0 + milliseconds(130));
}

TEST(ReadWindow, IntervalAndTotalTogetherEndAtTheEarlier) {
    const ReadWindow w(Read(100, 0, 250), 20, T0);
    EXPECT_EQ(w.Ends(0, T0).When(), T0 + milliseconds(250));
    EXPECT_EQ(w.Ends(3, T0 + milliseconds(40)).When(), T0 + milliseconds(140));
    EXPECT_EQ(w.Ends(3, T0 + milliseconds(200)).When(), T0 + milliseconds(250));
}

TEST(ReadWindow, AllZeroWaitsForEveryByteAsked) {
    const ReadWindow w(Read(0, 0, 0), 4, T0);
    EXPECT_TRUE(w.Ends(0, T0).IsNever());
    EXPECT_TRUE(w.Ends(3, T0 + std::chrono::hours(2)).IsNever());
    EXPECT_FALSE(w.Complete(3));
    EXPECT_TRUE(w.Complete(4));
}

TEST(ReadWindow, IntervalMaxWithZeroTotalsReturnsAtOnce) {
    const ReadWindow w(Read(MaxDword, 0, 0), 10, T0);
    EXPECT_TRUE(w.Complete(0));
    EXPECT_TRUE(w.Complete(3));
}

TEST(ReadWindow, FirstBytesModeReturnsOnAnythingOrAfterTheConstant) {
    const ReadWindow w(Read(MaxDword, MaxDword, 300), 10, T0);
    EXPECT_FALSE(w.Complete(0));
    EXPECT_TRUE(w.Complete(1));
    EXPECT_EQ(w.Ends(0, T0).When(), T0 + milliseconds(300));
    // With the constant at MaxDword the special mode does not apply: an ordinary total.
    const ReadWindow plain(Read(MaxDword, MaxDword, MaxDword), 1, T0);
    EXPECT_FALSE(plain.Complete(0));
    EXPECT_EQ(plain.Ends(0, T0).When(), T0 + milliseconds(2 * static_cast<std::int64_t>(MaxDword)));
}

TEST(ReadWindow, LargeTotalsDoNotOverflow) {
    const ReadWindow w(Read(0, MaxDword, MaxDword), 2048, T0);
    const auto expected = static_cast<std::int64_t>(MaxDword) * 2049;
    EXPECT_EQ(w.Ends(0, T0).When(), T0 + milliseconds(expected));
}

TEST(ReadWindow, TotalsBeyondTheClocksRangeDoNotRunOutEarly) {
    // MaxDword ms per byte: from about 2150 bytes asked on, past what a clock point holds.
    for (const std::size_t asked : {std::size_t{4096}, std::size_t{10000}, std::size_t{65535}}) {
        SCOPED_TRACE(asked);
        const Deadline end = ReadWindow(Read(0, MaxDword, 0), asked, T0).Ends(0, T0);
        EXPECT_FALSE(end.Expired(T0));
        EXPECT_FALSE(end.Expired(T0 + std::chrono::hours(24 * 365 * 250)));
    }
}

TEST(Deadline, EarliestRemainingAndExpiry) {
    const Deadline never = Deadline::Never();
    const Deadline soon = Deadline::After(T0, milliseconds(10));
    const Deadline later = Deadline::After(T0, milliseconds(1500));
    EXPECT_EQ(Deadline::Earliest(never, soon), soon);
    EXPECT_EQ(Deadline::Earliest(later, soon), soon);
    EXPECT_EQ(Deadline::Earliest(never, never), never);
    EXPECT_FALSE(never.Remaining(T0));
    EXPECT_FALSE(never.Expired(T0 + std::chrono::hours(1000)));

    const timespec left = *later.Remaining(T0 + milliseconds(250));
    EXPECT_EQ(left.tv_sec, 1);
    EXPECT_EQ(left.tv_nsec, 250'000'000);
    const timespec none = *soon.Remaining(T0 + milliseconds(11));
    EXPECT_EQ(none.tv_sec, 0);
    EXPECT_EQ(none.tv_nsec, 0);
    EXPECT_TRUE(soon.Expired(T0 + milliseconds(10)));
    EXPECT_FALSE(soon.Expired(T0 + milliseconds(9)));
}

} // namespace
} // namespace tvk9
