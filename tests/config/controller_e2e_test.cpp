// The whole road on real parts and real time: the port list finds the simulated device's port,
// the scan opens it through TComm on a pseudo-terminal, the device announces itself, is
// queried and written, and the answer is judged.

#include "config/port_list.h"
#include "config/tcomm_link.h"
#include "serial/queue_channel.h"
#include "tests/config/sim_window.h"
#include "tests/support/temp_dir.h"
#include "tools/devsim/simulated_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace tvk9::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Runs the window's loop until `done` holds or `limitMs` have passed.
template <class Pred> bool RunUntilTrue(SimWindow& w, Pred done, Ms limitMs) {
    const Ms end = w.loop.Now() + limitMs;
    while (!done() && w.loop.Now() < end) {
        w.loop.RunFor(10);
    }
    return done();
}

TEST(ControllerEndToEnd, FindsQueriesAndWritesTheSimulatedDevice) {
    const TempDir folder("tvk9-e2e");
    devsim::RunnerOptions options;
    options.portFolder = folder.path();
    options.device.settings = {0x02, 25, 5, 10, 7, 8, 9};
    options.device.delay = 20ms;
    devsim::SimulatedDevice device(options);

    QueueChannel channel;
    TComm comm(channel);
    // The form's stored values, in the order a form applies them.
    comm.SetInputLen(10);
    comm.SetInBufferSize(10);
    comm.SetReadIntervalTimeout(100);
    TCommLink link(comm);
    SimWindow w("/opt/tvk9/", '.', &link);
    comm.OnReceiveData = [&w](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        w.ctl.Comm1ReceiveData(std::span<const std::uint8_t>(buffer, length));
    };
    w.ports.source = [&] { return ListSerialPorts(folder.path() / "no-sysfs", folder.path()); };
    w.loop.UseRealClock(
        [&](Ms wait) { return channel.DispatchNext(comm, std::chrono::milliseconds(wait)); });

    w.Show();
    ASSERT_EQ(w.ComSelect.Items(), (std::vector<std::string>{device.LinkPath().string()}));

    // Found at the first scan step, taken into use at the second, then queried.
    ASSERT_TRUE(RunUntilTrue(
        w, [&] { return w.ctl.DeviceFound(); }, 3000));
    ASSERT_TRUE(RunUntilTrue(
        w, [&] { return !w.Timer2.Enabled() && !w.ctl.QueryPending(); }, 3000))
        << comm.PortOpenError();
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(comm.CommName(), device.LinkPath().string());
    EXPECT_EQ(comm.InputLen(), 20);
    EXPECT_EQ(w.ComSelect.ItemIndex(), 0);
    EXPECT_EQ(w.OrientationChoice(), "Vertic");
    EXPECT_EQ(w.PitchChoice(), "pitchleft1");
    EXPECT_EQ(w.RollChoice(), "rollright1");
    EXPECT_EQ(w.YawChoice(), "yawleft1");
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x03, 20, 5, 10, 0, 0, 0}));
    EXPECT_EQ(w.ctl.Reported(), (ReportedSettings{0x02, 20, 5, 10, 7, 8, 9}));

    // Let the query's period end, change a direction and write.
    ASSERT_TRUE(RunUntilTrue(
        w, [&] { return !w.Timer1.Enabled(); }, 1000));
    w.User([&] { w.rollleft1.Select(); });
    w.dialogs.confirmAnswers.push_back({0, true});
    w.User([&] { w.ctl.Button3Click(); });
    ASSERT_TRUE(RunUntilTrue(
        w, [&] { return !w.dialogs.Messages().empty(); }, 2000));
    EXPECT_EQ(w.dialogs.Messages(), (std::vector<std::string>{"Modify Successful!"}));
    EXPECT_EQ(w.ctl.Reported(), (ReportedSettings{0x03, 20, 15, 10, 0, 0, 0}));
    EXPECT_TRUE(w.loop.Errors().empty());
    comm.ClosePort();
}

} // namespace
} // namespace tvk9::sim
