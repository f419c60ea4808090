// tvk9-cli's exchange on a simulated clock: frames put together from the pieces a port delivers
// them in, the ends of its waits at the moments where a wrong end would differ from the right
// one, and the loop that judges each sensor by when its bytes came.

#include "tools/cli/exchange.h"
#include "tools/cli/port_session.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tvk9::cli {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// tvk9-devsim's report of its default settings, as its --help shows it: BB 03, orientation 1,
// pitch, roll and yaw 10, three zeros, and BB+03+01+0A+0A+0A = 0xDD.
const Bytes Report{0xBB, 0x03, 0x01, 0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0xDD};
const DeviceSettings Default{0x01, 10, 10, 10, 0, 0, 0};
const Bytes Announcement{0xAA, 0xBB, 0x55};

Bytes Part(std::size_t from, std::size_t to) {
    return {Report.begin() + static_cast<std::ptrdiff_t>(from),
            Report.begin() + static_cast<std::ptrdiff_t>(to)};
}

TEST(CliFrameStream, PutsFramesTogetherFromThePiecesTheyCameIn) {
    FrameStream stream;
    // Noise, then a report in three pieces: it counts with its last byte, not before.
    EXPECT_TRUE(stream.Take(Bytes{0x00, 0x17, 0xBB}).reports.empty());
    EXPECT_TRUE(stream.Take(Part(1, 6)).reports.empty());
    EXPECT_EQ(stream.Take(Part(6, 10)).reports, std::vector<ReportedSettings>{Default});
    // The announcement after its first byte, then after its second.
    EXPECT_EQ(stream.Take(Bytes{0xAA}).announcements +
                  stream.Take(Bytes{0xBB, 0x55}).announcements +
                  stream.Take(Bytes{0xAA, 0xBB}).announcements,
              1u);
    EXPECT_EQ(stream.Take(Bytes{0x55}).announcements, 1u);
    // A wrong checksum counts for nothing, the good report behind it does; "AA BB" before a
    // report is no announcement.
    Bytes block{0xAA};
    block.insert(block.end(), Report.begin(), Report.end() - 1);
    block.push_back(0xDE);
    block.insert(block.end(), Report.begin(), Report.end());
    const auto completed = stream.Take(block);
    EXPECT_EQ(completed.announcements, 0u);
    EXPECT_EQ(completed.reports.size(), 1u);

    // In an exchange: a report split by a 30 ms pause answers; a half that came in a window
    // that has ended makes no frame with the next half.
    const TimePoint t0{};
    Exchange talk;
    talk.Query(t0);
    talk.Received(Part(0, 5), t0 + 40ms);
    EXPECT_FALSE(talk.Received(Part(5, 10), t0 + 70ms));
    EXPECT_EQ(talk.Now(), Exchange::State::Answered);
    Exchange late;
    late.Write(Default, t0);
    late.Received(Part(0, 5), t0 + 100ms);
    late.TimePassed(t0 + 500ms);
    late.Write(Default, t0 + 600ms);
    late.Received(Part(5, 10), t0 + 650ms);
    EXPECT_EQ(late.Now(), Exchange::State::Writing);
}

// Calls TimePassed at every wake up to `until`; the state then.
Exchange::State RunTo(Exchange& talk, TimePoint until) {
    while (talk.Busy() && !talk.Wake().IsNever() && talk.Wake().When() <= until) {
        talk.TimePassed(talk.Wake().When());
    }
    return talk.Now();
}

TEST(CliExchange, WaitsForAnUnannouncedSensorAndNoMoreForAnAnnouncedOne) {
    const TimePoint t0{};
    // Not announced: the announcement window to wake up and the answer window to answer,
    // 1.2 s from the query.
    Exchange sleepy;
    sleepy.Query(t0);
    EXPECT_EQ(RunTo(sleepy, t0 + 1199ms), Exchange::State::Querying);
    EXPECT_EQ(RunTo(sleepy, t0 + 1200ms), Exchange::State::NoResponse);

    // An announcement gives it the answer window from then; later ones push the end neither
    // beyond the first one's nor beyond 1.2 s.
    for (const auto& [first, second, end] :
         {std::tuple{400ms, 800ms, 900ms}, std::tuple{1000ms, 1100ms, 1200ms}}) {
        Exchange waking;
        waking.Query(t0);
        RunTo(waking, t0 + first);
        EXPECT_EQ(waking.Received(Announcement, t0 + first), QueryFrame);
        RunTo(waking, t0 + second);
        waking.Received(Announcement, t0 + second);
        EXPECT_EQ(RunTo(waking, t0 + end - 1ms), Exchange::State::Querying) << end.count();
        EXPECT_EQ(RunTo(waking, t0 + end), Exchange::State::NoResponse) << end.count();
    }

    // Announced while listening, which ends at its deadline: a query has the answer window.
    Exchange announced;
    announced.Listen(t0, Deadline::After(t0, 700ms));
    EXPECT_EQ(RunTo(announced, t0 + 699ms), Exchange::State::Listening);
    announced.Received(Announcement, t0 + 699ms);
    announced.Query(t0 + 700ms);
    EXPECT_EQ(RunTo(announced, t0 + 1199ms), Exchange::State::Querying);
    EXPECT_EQ(RunTo(announced, t0 + 1200ms), Exchange::State::NoResponse);
}

// Announcements that came in time but are read late, after the windows they came in have
// ended: every sensor counts, not only the first one read.
TEST(CliSessions, JudgeEachSensorByWhenItsBytesCameNotByWhenTheyAreRead) {
    Inbox inbox;
    Sessions sessions(inbox);
    const TimePoint now = SteadyClock::now();
    std::vector<PortSession*> ports;
    for (const auto& [port, came] : {std::pair{"/dev/one", 50ms}, std::pair{"/dev/two", 40ms},
                                     std::pair{"/dev/three", 30ms}, std::pair{"/dev/late", 5ms}}) {
        PortSession& session = sessions.Add(port); // never opened: its bytes come from the test
        session.Listen(now - 100ms, Deadline::At(now - 10ms));
        NotifyMessage block{MsgReceiveData, Announcement.size(), 0,
                            std::make_unique<std::uint8_t[]>(Announcement.size() + 1)};
        std::memcpy(block.Buffer.get(), Announcement.data(), Announcement.size());
        ASSERT_TRUE(inbox.Post(PortNote{session.Number(), std::move(block)}, now - came));
        ports.push_back(&session);
    }
    ASSERT_TRUE(sessions.Run([&] {
        return std::none_of(ports.begin(), ports.end(), [](auto* s) { return s->Busy(); });
    }));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ports[i]->Talk().Now(), Exchange::State::Announced) << ports[i]->Port();
    }
    EXPECT_EQ(ports[3]->Talk().Now(), Exchange::State::Unannounced); // it came too late
}

} // namespace
} // namespace tvk9::cli
