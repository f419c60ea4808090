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
const Bytes DefaultReport{0xBB, 0x03, 0x01, 0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0xDD};
const DeviceSettings Default{0x01, 10, 10, 10, 0, 0, 0};
const Bytes Announcement{0xAA, 0xBB, 0x55};

Bytes Piece(const Bytes& bytes, std::size_t from, std::size_t to) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
            bytes.begin() + static_cast<std::ptrdiff_t>(to)};
}

TEST(CliFrameStream, PutsFramesTogetherFromThePiecesTheyCameIn) {
    FrameStream stream;
    // Noise, then a report in three pieces: it counts with its last byte, not before.
    EXPECT_TRUE(stream.Take(Bytes{0x00, 0x17, 0xBB}).reports.empty());
    EXPECT_TRUE(stream.Take(Piece(DefaultReport, 1, 6)).reports.empty());
    auto completed = stream.Take(Piece(DefaultReport, 6, 10));
    ASSERT_EQ(completed.reports.size(), 1u);
    EXPECT_EQ(completed.reports[0], Default);

    // The announcement split after its first byte, then after its second.
    EXPECT_EQ(stream.Take(Bytes{0xAA}).announcements, 0u);
    EXPECT_EQ(stream.Take(Bytes{0xBB, 0x55}).announcements, 1u);
    EXPECT_EQ(stream.Take(Bytes{0xAA, 0xBB}).announcements, 0u);
    completed = stream.Take(Bytes{0x55});
    EXPECT_EQ(completed.announcements, 1u);
    EXPECT_TRUE(completed.reports.empty());

    // A report with a wrong checksum counts for nothing; the good one right behind it counts,
    // and so does an announcement in front, each once.
    Bytes block = Announcement;
    Bytes bad = DefaultReport;
    bad[9] = 0xDE;
    block.insert(block.end(), bad.begin(), bad.end());
    block.insert(block.end(), DefaultReport.begin(), DefaultReport.begin() + 4);
    completed = stream.Take(block);
    EXPECT_EQ(completed.announcements, 1u);
    EXPECT_TRUE(completed.reports.empty());
    completed = stream.Take(Piece(DefaultReport, 4, 10));
    EXPECT_EQ(completed.announcements, 0u);
    ASSERT_EQ(completed.reports.size(), 1u);

    // "AA BB" followed by a report is no announcement.
    block = {0xAA};
    block.insert(block.end(), DefaultReport.begin(), DefaultReport.end());
    completed = stream.Take(block);
    EXPECT_EQ(completed.announcements, 0u);
    EXPECT_EQ(completed.reports.size(), 1u);
}

TEST(CliExchange, AReportSplitByAPauseAnswersUntilItsWindowEnds) {
    const TimePoint t0{};
    Exchange talk;
    talk.Query(t0);
    talk.Received(Announcement, t0 + 10ms);
    talk.Received(Piece(DefaultReport, 0, 5), t0 + 40ms);
    EXPECT_EQ(talk.Now(), Exchange::State::Querying);
    EXPECT_FALSE(talk.Received(Piece(DefaultReport, 5, 10), t0 + 70ms)); // 30 ms later
    EXPECT_EQ(talk.Now(), Exchange::State::Answered);
    EXPECT_EQ(talk.Report(), Default);

    // A half that came in a window that has ended does not make a frame with the next half.
    Exchange late;
    late.Write(Default, t0);
    late.Received(Piece(DefaultReport, 0, 5), t0 + 100ms);
    late.TimePassed(t0 + 500ms);
    EXPECT_EQ(late.Now(), Exchange::State::NoResponse);
    late.Write(Default, t0 + 600ms);
    late.Received(Piece(DefaultReport, 5, 10), t0 + 650ms);
    EXPECT_EQ(late.Now(), Exchange::State::Writing);
    late.Received(DefaultReport, t0 + 700ms);
    EXPECT_EQ(late.Now(), Exchange::State::Written);
}

// Calls TimePassed at every wake until `until` or the end; the state then.
Exchange::State RunTo(Exchange& talk, TimePoint until) {
    while (talk.Busy() && !talk.Wake().IsNever() && talk.Wake().When() <= until) {
        talk.TimePassed(talk.Wake().When());
    }
    return talk.Now();
}

TEST(CliExchange, WaitsForAnUnannouncedSensorAndNoMoreForAnAnnouncedOne) {
    const TimePoint t0{};
    // A sensor that has not announced itself may take the announcement window to wake up, and
    // the answer window to answer: 1.2 s from the query, asked again every 250 ms.
    Exchange sleepy;
    sleepy.Query(t0);
    EXPECT_EQ(RunTo(sleepy, t0 + 1199ms), Exchange::State::Querying);
    EXPECT_EQ(RunTo(sleepy, t0 + 1200ms), Exchange::State::NoResponse);

    // An announcement gives it the answer window from then on, and announcements that follow
    // never push the end beyond the first one's, nor beyond 1.2 s.
    Exchange waking;
    waking.Query(t0);
    RunTo(waking, t0 + 400ms);
    EXPECT_EQ(waking.Received(Announcement, t0 + 400ms), QueryFrame);
    RunTo(waking, t0 + 800ms);
    EXPECT_EQ(waking.Received(Announcement, t0 + 800ms), QueryFrame);
    EXPECT_EQ(RunTo(waking, t0 + 899ms), Exchange::State::Querying);
    EXPECT_EQ(RunTo(waking, t0 + 900ms), Exchange::State::NoResponse);

    Exchange late;
    late.Query(t0);
    RunTo(late, t0 + 1000ms);
    late.Received(Announcement, t0 + 1000ms);
    EXPECT_EQ(RunTo(late, t0 + 1199ms), Exchange::State::Querying);
    EXPECT_EQ(RunTo(late, t0 + 1200ms), Exchange::State::NoResponse);

    // Once announced (while listening), a query has the answer window alone.
    Exchange announced;
    announced.Listen(t0, Deadline::After(t0, 700ms));
    announced.Received(Announcement, t0 + 10ms);
    announced.Query(t0 + 20ms);
    EXPECT_EQ(RunTo(announced, t0 + 519ms), Exchange::State::Querying);
    EXPECT_EQ(RunTo(announced, t0 + 520ms), Exchange::State::NoResponse);

    // Listening ends at its deadline, not a moment before.
    Exchange quiet;
    quiet.Listen(t0, Deadline::After(t0, 700ms));
    EXPECT_EQ(RunTo(quiet, t0 + 699ms), Exchange::State::Listening);
    EXPECT_EQ(RunTo(quiet, t0 + 700ms), Exchange::State::Unannounced);
}

// A receive worker's block as the component posts it: the bytes and a zero after them.
NotifyMessage Block(const Bytes& bytes) {
    NotifyMessage message;
    message.Msg = MsgReceiveData;
    message.WParam = bytes.size();
    message.Buffer = std::make_unique<std::uint8_t[]>(bytes.size() + 1);
    std::memcpy(message.Buffer.get(), bytes.data(), bytes.size());
    return message;
}

// Announcements that came in time but are read late, after the windows they came in have
// ended: every sensor counts, not only the first one read.
TEST(CliSessions, JudgeEachSensorByWhenItsBytesCameNotByWhenTheyAreRead) {
    Inbox inbox;
    Sessions sessions(inbox);
    const TimePoint now = SteadyClock::now();
    std::vector<PortSession*> listening;
    for (const char* port : {"/dev/one", "/dev/two", "/dev/three"}) {
        PortSession& session = sessions.Add(port); // never opened: its bytes come from the test
        session.Listen(now - 100ms, Deadline::At(now - 10ms));
        ASSERT_TRUE(inbox.Post(PortNote{session.Number(), Block(Announcement)}, now - 50ms));
        listening.push_back(&session);
    }
    // One that announced itself too late.
    PortSession& late = sessions.Add("/dev/late");
    late.Listen(now - 100ms, Deadline::At(now - 10ms));
    ASSERT_TRUE(inbox.Post(PortNote{late.Number(), Block(Announcement)}, now - 5ms));
    ASSERT_TRUE(sessions.Run([&] {
        for (const auto& [number, session] : sessions.Open()) {
            if (session->Busy()) {
                return false;
            }
        }
        return true;
    }));
    for (const PortSession* session : listening) {
        EXPECT_EQ(session->Talk().Now(), Exchange::State::Announced) << session->Port();
    }
    EXPECT_EQ(late.Talk().Now(), Exchange::State::Unannounced);
}

} // namespace
} // namespace tvk9::cli
