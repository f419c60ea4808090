// Talking to a found device: the query and its adoption, Start and the three verdicts, the
// timers under modal boxes, the progress bar.

#include "tests/config/sim_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace tvk9::sim {
namespace {

using Texts = std::vector<std::string>;

// A window connected to a device on COM3 through the user's pick at 0 ms: the query leaves at
// 501 ms and its answer arrives at 601 ms; Timer1 fires at 1001 ms.
struct Connected : ::testing::Test {
    SimWindow w;
    SimDevice& device = w.comm.AttachDevice("COM3");

    void Connect(const DeviceSettings& stored) {
        device.stored = stored;
        w.ListPorts({"COM3"});
        w.Show();
        w.PickPort(0);
        w.loop.RunUntil(1100);
    }
    // Start, answered after `after` ms with OK or Cancel.
    void Start(bool ok = true, Ms after = 0) {
        w.dialogs.confirmAnswers.push_back({after, ok});
        w.User([this] { w.ctl.Button3Click(); });
    }
    void Query() {
        w.User([this] { w.ctl.ReadClick(); });
    }
    std::size_t Sent() const { return w.comm.SentFrames().size(); }
    std::string LastSent() const { return Hex(w.comm.SentFrames().back().bytes); }
};

TEST_F(Connected, FirstAnswerRaisesAllFourHandlersLaterOnesOnlyTheChanged) {
    // Orientation 0x02 counts as vertical; pitch 25 is clamped.
    Connect({0x02, 25, 5, 10, 7, 8, 9});
    EXPECT_EQ(w.OrientationChoice(), "Vertic");
    EXPECT_EQ(w.PitchChoice(), "pitchleft1");
    EXPECT_EQ(w.RollChoice(), "rollright1");
    EXPECT_EQ(w.YawChoice(), "yawleft1");
    for (const SimRadioButton* b : {&w.Vertic, &w.pitchleft1, &w.rollright1, &w.yawleft1}) {
        EXPECT_EQ(b->Clicks(), 1) << b->Name();
    }
    // Vertic was not selected before, so its handler set bit 0; the scaled parameters are not
    // taken from a query.
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x03, 20, 5, 10, 0, 0, 0}));
    EXPECT_EQ(w.ctl.Reported(), (ReportedSettings{0x02, 20, 5, 10, 7, 8, 9}));
    EXPECT_FALSE(w.ctl.QueryPending());
    EXPECT_FALSE(w.ctl.ReplyReceived()); // cleared by Timer1
    EXPECT_TRUE(w.dialogs.Boxes().empty());

    // Asked again: the orientation is still 0x02, now with Vertic selected already.
    device.stored = {0x02, 25, 15, 10, 7, 8, 9};
    Query();
    w.loop.RunFor(600);
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x02, 20, 15, 10, 0, 0, 0}));
    EXPECT_EQ(w.RollChoice(), "rollleft1");
    EXPECT_EQ(w.rollleft1.Clicks(), 1);
    for (const SimRadioButton* b : {&w.Vertic, &w.pitchleft1, &w.rollright1, &w.yawleft1}) {
        EXPECT_EQ(b->Clicks(), 1) << b->Name();
    }
    EXPECT_TRUE(w.dialogs.Boxes().empty());
}

TEST_F(Connected, HorizontalAnswerKeepsHighBitsAndRadioHandlersEachChangeTheirOwnValue) {
    Connect({0x10, 0, 9, 11, 0, 0, 0});
    EXPECT_EQ(w.OrientationChoice(), "Horizont");
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x10, 0, 9, 11, 0, 0, 0}));

    w.User([&] { w.Vertic.Select(); });
    EXPECT_EQ(w.ctl.Settings().orientation, 0x11);
    w.User([&] { w.pitchleft1.Select(); });
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x11, 20, 9, 11, 0, 0, 0}));
    w.User([&] { w.rollleft1.Select(); });
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x11, 20, 11, 11, 0, 0, 0}));
    w.User([&] { w.yawright1.Select(); });
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x11, 20, 11, 9, 0, 0, 0}));
    w.User([&] { w.pitchright1.Select(); });
    w.User([&] { w.rollright1.Select(); });
    w.User([&] { w.yawleft1.Select(); });
    w.User([&] { w.Horizont.Select(); });
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x10, 0, 9, 11, 0, 0, 0}));
    // Clicking the selected button again changes nothing.
    w.User([&] { w.yawleft1.Select(); });
    EXPECT_EQ(w.ctl.Settings().yaw, 11);
}

TEST(ControllerStart, WithoutADeviceShowsNothingAndSendsNothing) {
    SimWindow w;
    w.ListPorts({"COM1"});
    w.Show();
    w.loop.RunUntil(300);
    w.Timer3.SetEnabled(false);
    w.User([&] { w.ctl.Button3Click(); });
    EXPECT_TRUE(w.dialogs.Boxes().empty());
    EXPECT_TRUE(w.comm.SentFrames().empty());
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_FALSE(w.Timer3.Enabled());
    EXPECT_EQ(w.ProgressBar1.History(), (std::vector<std::pair<Ms, int>>{{300, 0}}));
    EXPECT_FALSE(w.ctl.ConfirmOpen());
}

TEST_F(Connected, CancelSendsNothingAndTouchesNoTimer) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    Start(false, 200);
    EXPECT_EQ(Sent(), 1u); // only the query
    EXPECT_FALSE(w.ctl.VerifyWrite());
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_FALSE(w.Timer3.Enabled());
    EXPECT_EQ(w.ProgressBar1.Position(), 0);
    EXPECT_EQ(w.ProgressBar1.History().size(), 1u);
    ASSERT_EQ(w.dialogs.Boxes().size(), 1u);
    EXPECT_EQ(w.dialogs.Boxes()[0].kind, BoxKind::Confirm);
    EXPECT_EQ(w.dialogs.Boxes()[0].text, "Selecting OK will overwrite the current settings.");
    EXPECT_FALSE(w.ctl.ConfirmOpen());
}

TEST_F(Connected, OkWritesTheQueriedValuesWithZeroScaledParametersAndTheEchoSucceeds) {
    Connect({0x01, 10, 10, 10, 7, 8, 9});
    w.loop.RunUntil(2000);
    Start(true, 30);
    // No settings file yet: the scaled parameters go out as zeros.
    EXPECT_EQ(LastSent(), "AA 02 01 0A 0A 0A 00 00 00 CB");
    EXPECT_EQ(w.comm.SentFrames().back().at, 2030);
    EXPECT_TRUE(w.ctl.VerifyWrite());
    EXPECT_TRUE(w.Timer3.Enabled());
    EXPECT_EQ(w.Timer1.Starts().back(), 2030);
    EXPECT_FALSE(w.ctl.ConfirmOpen());

    w.loop.RunUntil(2529);
    EXPECT_TRUE(w.dialogs.Messages().empty());
    w.loop.RunUntil(2530);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"Modify Successful!"}));
    EXPECT_EQ(w.dialogs.Boxes().back().openedAt, 2530);
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_FALSE(w.ctl.ReplyReceived());
    // A write's answer is not adopted: the buttons keep their single clicks.
    EXPECT_EQ(w.Vertic.Clicks(), 1);
}

TEST_F(Connected, DifferentAnswerToAWriteIsNoSucess) {
    Connect({0x01, 10, 10, 12, 0, 0, 0});
    // This device keeps its yaw whatever is written.
    device.applyWrite = [](const DeviceSettings& current, const DeviceSettings& written) {
        DeviceSettings kept = written;
        kept.yaw = current.yaw;
        return kept;
    };
    w.User([&] { w.yawright1.Select(); });
    Start();
    w.loop.RunFor(500);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No Sucess!"}));
    EXPECT_EQ(w.ctl.Settings().yaw, 8);
    EXPECT_EQ(w.ctl.Reported().yaw, 12);
    EXPECT_EQ(w.ctl.Settings().orientation, 1);
    EXPECT_EQ(w.YawChoice(), "yawright1"); // nothing is retried or adopted
    EXPECT_EQ(Sent(), 2u);
}

TEST_F(Connected, SilentOrDamagedAnswerIsNoResponse) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    device.answers = false;
    Start();
    w.loop.RunFor(500);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No response!"}));
    EXPECT_TRUE(w.ctl.DeviceFound());

    // A reply with a wrong checksum, and one split over two received blocks, count as none.
    device.answers = true;
    device.mangle = [](const Bytes& report) {
        Bytes bad = report;
        bad[9] ^= 0x01;
        return bad;
    };
    Start();
    w.loop.RunFor(500);
    device.answers = false;
    Start();
    const Frame good = BuildReportFrame(device.stored);
    w.comm.Inject(w.loop.Now() + 100, Bytes(good.begin(), good.begin() + 5));
    w.comm.Inject(w.loop.Now() + 101, Bytes(good.begin() + 5, good.end()));
    w.loop.RunFor(500);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No response!", "No response!", "No response!"}));
    EXPECT_FALSE(w.ctl.ReplyReceived());

    // Foreign bytes before a whole report do not hide it.
    Start();
    Bytes noisy(4 + FrameSize);
    const std::uint8_t lead[] = {0x00, 0xAA, 0xBB, 0x55};
    std::copy(std::begin(lead), std::end(lead), noisy.begin());
    std::copy(good.begin(), good.end(), noisy.begin() + 4);
    w.comm.Inject(w.loop.Now() + 100, noisy);
    w.loop.RunFor(500);
    EXPECT_EQ(w.dialogs.Messages().back(), "Modify Successful!");
}

TEST_F(Connected, StartWithinAQueryPeriodIsJudgedWhenTheQueryPeriodEnds) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    device.answerAfter = 300;
    w.loop.RunUntil(2000);
    Query(); // answered at 2300, Timer1 due at 2500
    w.loop.RunUntil(2350);
    w.User([&] { w.pitchright1.Select(); }); // pitch 10 stays 10 on REV
    w.User([&] { w.rollright1.Select(); });  // roll 10 becomes 10 as well
    w.User([&] { w.Horizont.Select(); });
    Start(true, 50); // OK at 2400; the write's answer comes at 2700
    EXPECT_EQ(w.Timer1.Starts().back(), 2000);
    w.loop.RunUntil(2500);
    EXPECT_EQ(w.Timer1.Ticks().back(), 2500);
    // Judged on the query's answer, which still has the vertical orientation.
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No Sucess!"}));
    EXPECT_FALSE(w.ctl.ReplyReceived());
    w.loop.RunUntil(2700);
    // The write's late answer stands as the answer at the next tick.
    EXPECT_TRUE(w.ctl.ReplyReceived());
    EXPECT_EQ(w.ctl.Reported().orientation, 0x00);
}

TEST_F(Connected, TheLaterOfTwoReportsInOnePeriodIsCompared) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    const Frame other = BuildReportFrame({0x01, 10, 10, 11, 0, 0, 0});
    Start(); // the echo arrives at +100
    w.comm.Inject(w.loop.Now() + 200, Bytes(other.begin(), other.end()));
    w.loop.RunFor(500);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No Sucess!"}));

    Start();
    w.comm.Inject(w.loop.Now() + 50, Bytes(other.begin(), other.end())); // before the echo
    w.loop.RunFor(500);
    EXPECT_EQ(w.dialogs.Messages().back(), "Modify Successful!");
}

TEST_F(Connected, StrayReportStandsAsTheAnswerAtTheNextTick) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    const Frame echo = BuildReportFrame(w.ctl.Settings());
    w.comm.Inject(w.loop.Now() + 10, Bytes(echo.begin(), echo.end()));
    w.loop.RunFor(100);
    EXPECT_TRUE(w.ctl.ReplyReceived());
    device.answers = false;
    Start();
    w.loop.RunFor(500);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"Modify Successful!"}));
}

TEST_F(Connected, UnansweredQueryThenAWriteWhoseAnswerIsAdopted) {
    w.ListPorts({"COM3"});
    device.stored = {0x01, 10, 10, 10, 0, 0, 0};
    device.answers = false;
    w.Show();
    w.PickPort(0);
    w.loop.RunUntil(1001);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No response!"}));
    EXPECT_TRUE(w.ctl.QueryPending());
    EXPECT_EQ(w.OrientationChoice(), "");

    // Nothing was adopted, so the write carries zeros; its answer is taken as the query's.
    device.answers = true;
    device.applyWrite = [](const DeviceSettings&, const DeviceSettings&) {
        return DeviceSettings{0x01, 12, 3, 10, 0, 0, 0};
    };
    Start();
    EXPECT_EQ(LastSent(), "AA 02 00 00 00 00 00 00 00 AC");
    w.loop.RunFor(150);
    EXPECT_FALSE(w.ctl.QueryPending());
    EXPECT_EQ(w.OrientationChoice(), "Vertic");
    EXPECT_EQ(w.PitchChoice(), "pitchleft1");
    EXPECT_EQ(w.RollChoice(), "rollright1");
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x01, 12, 3, 10, 0, 0, 0}));
    // The device did not take what was written: adopting its answer does not make it a success.
    w.loop.RunFor(400);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No response!", "No Sucess!"}));

    // The same road with a device that takes the write is judged a success.
    device.answers = false;
    Query();
    w.loop.RunFor(500);
    ASSERT_TRUE(w.ctl.QueryPending());
    device.answers = true;
    device.applyWrite = {};
    w.User([&] { w.pitchright1.Select(); }); // pitch 12 becomes 8
    Start();
    w.loop.RunFor(500);
    EXPECT_EQ(device.stored, (DeviceSettings{0x01, 8, 3, 10, 0, 0, 0}));
    EXPECT_EQ(w.dialogs.Messages().back(), "Modify Successful!");
    EXPECT_EQ(w.dialogs.Messages().size(), 4u);
}

TEST_F(Connected, AxisSetToRevAtTenIsWrittenAsTenAndReadBackAsNor) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    w.User([&] { w.pitchright1.Select(); });
    EXPECT_EQ(w.ctl.Settings().pitch, 10);
    Start();
    EXPECT_EQ(LastSent(), "AA 02 01 0A 0A 0A 00 00 00 CB");
    w.loop.RunFor(600);
    Query();
    w.loop.RunFor(600);
    EXPECT_EQ(w.PitchChoice(), "pitchleft1");
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"Modify Successful!"}));
}

TEST_F(Connected, TimerUnderTheConfirmationBoxShowsNoNoResponse) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    device.answers = false;
    w.loop.RunUntil(2000);
    Query(); // unanswered; Timer1 due at 2500
    w.loop.RunUntil(2100);
    // The confirmation box stays up for a second; the tick under it says nothing.
    Start(false, 1000);
    EXPECT_EQ(w.Timer1.Ticks().back(), 2500);
    EXPECT_TRUE(w.dialogs.Messages().empty());
    EXPECT_EQ(w.dialogs.Boxes()[0].closedAt, 3100);

    // A late answer arriving under the box is still adopted there.
    Query();
    w.loop.RunFor(600);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No response!"}));
    w.comm.Inject(w.loop.Now() + 100, [] {
        const Frame f = BuildReportFrame({0x00, 2, 2, 2, 0, 0, 0});
        return Bytes(f.begin(), f.end());
    }());
    Start(false, 400);
    EXPECT_EQ(w.OrientationChoice(), "Horizont");
    EXPECT_EQ(w.PitchChoice(), "pitchright1");
    EXPECT_FALSE(w.ctl.QueryPending());
}

TEST_F(Connected, DataArrivingWhileNoResponseIsShownIsAdoptedButNotKeptAsTheReply) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    w.loop.RunUntil(2000);
    device.stored = {0x00, 0, 0, 0, 0, 0, 0};
    device.answerAfter = 700;
    w.dialogs.messageDelays.push_back(1000);
    Query(); // Timer1 at 2500 shows "No response!" until 3500; the answer comes at 2700
    int openBoxes = 0;
    std::string orientation;
    bool replied = false;
    w.loop.Post(2800, [&] {
        openBoxes = w.dialogs.OpenBoxes();
        orientation = w.OrientationChoice();
        replied = w.ctl.ReplyReceived();
    });
    w.loop.RunUntil(3600);
    EXPECT_EQ(openBoxes, 1);
    EXPECT_EQ(orientation, "Horizont");
    EXPECT_TRUE(replied);
    EXPECT_EQ(w.dialogs.OpenBoxes(), 0);
    EXPECT_FALSE(w.ctl.ReplyReceived());
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"No response!"}));
}

TEST_F(Connected, ProgressBarRunsToAHundredInTenTicksAndFallsBack) {
    Connect({0x01, 10, 10, 10, 0, 0, 0});
    device.answers = false;
    w.loop.RunUntil(2000);
    Start();
    w.loop.RunUntil(2100);
    std::vector<std::pair<Ms, int>> expected{{2000, 0}};
    for (int i = 1; i <= 10; ++i) {
        expected.emplace_back(2000 + 10 * i, 10 * i);
    }
    expected.emplace_back(2100, 0);
    EXPECT_EQ(w.ProgressBar1.History(), expected);
    EXPECT_FALSE(w.Timer3.Enabled());

    // Start during a run sets the bar back without restarting the timer's period.
    w.loop.RunUntil(3000);
    Start();
    w.loop.RunUntil(3035);
    EXPECT_EQ(w.ProgressBar1.Position(), 30);
    Start();
    EXPECT_EQ(w.ProgressBar1.Position(), 0);
    w.loop.RunUntil(3040);
    EXPECT_EQ(w.ProgressBar1.Position(), 10);
    w.loop.RunUntil(3130);
    EXPECT_EQ(w.ProgressBar1.Position(), 0);
    EXPECT_FALSE(w.Timer3.Enabled());

    // The bar goes on moving under a confirmation box, and is set back when it closes.
    w.loop.RunUntil(4000);
    Start();
    w.loop.RunUntil(4050);
    Start(false, 200);
    EXPECT_EQ(w.Timer3.Ticks().back(), 4100);
    EXPECT_EQ(w.ProgressBar1.History().back(), (std::pair<Ms, int>{4250, 0}));
    EXPECT_EQ(w.ProgressBar1.History().end()[-2], (std::pair<Ms, int>{4100, 0}));
}

} // namespace
} // namespace tvk9::sim
