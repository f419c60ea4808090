// A hang-up of the port in use: the port is closed, the status bar tells why, and AutoDetect
// finds the sensor again.

#include "tests/config/sim_window.h"

#include <gtest/gtest.h>

namespace tvk9::sim {
namespace {

const std::string Flooded =
    "The sensor's port stopped working (flooded with data?) — press AutoDetect to find it again";
const std::string Unplugged =
    "The sensor's port went away (unplugged?) — plug it in and press AutoDetect";

TEST(ControllerHangup, AFloodOrAnUnplugClosesThePortUntilAutoDetectFindsTheSensorAgain) {
    SimWindow w;
    w.ListPorts({"COM1", "COM3"});
    SimDevice& device = w.comm.AttachDevice("COM3");
    device.stored = {0x01, 12, 8, 15, 1, 2, 3};
    device.floodAfter = 1; // right after its answer to the first query
    w.Show();
    w.loop.RunUntil(2600); // found at the first step, taken into use, queried at 1901
    EXPECT_FALSE(w.comm.PortOpen());
    EXPECT_EQ(w.status.lines.back(), Flooded); // COM3 is still listed
    EXPECT_FALSE(w.ctl.DeviceFound());
    EXPECT_TRUE(w.AutoDetect.Enabled());
    const std::size_t sent = w.comm.SentFrames().size();
    w.User([&] { w.ctl.Button3Click(); }); // asks nothing, sends nothing
    EXPECT_TRUE(w.dialogs.Boxes().empty());
    EXPECT_EQ(w.comm.SentFrames().size(), sent);

    w.User([&] { w.ctl.AutoDetectClick(); });
    w.loop.RunFor(2500);
    EXPECT_EQ(w.comm.OpenName(), "COM3");
    EXPECT_TRUE(w.ctl.DeviceFound() && !w.ctl.QueryPending());
    EXPECT_EQ(w.ctl.Reported(), device.stored);

    // A write is outstanding when the cable is pulled: its "No response!" still comes, and the
    // status bar keeps the reason.
    w.User([&] { w.ctl.Button3Click(); });
    w.ListPorts({"COM1"});
    w.comm.RemovePort("COM3");
    w.comm.HangUp(w.loop.Now() + 50); // before the answer
    w.loop.RunFor(600);
    EXPECT_FALSE(w.comm.PortOpen());
    EXPECT_EQ(w.dialogs.Messages(), std::vector<std::string>{"No response!"});
    EXPECT_EQ(w.status.lines.back(), Unplugged);
    EXPECT_TRUE(w.loop.Errors().empty());
}

} // namespace
} // namespace tvk9::sim
