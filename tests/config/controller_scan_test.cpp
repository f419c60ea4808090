// Finding the device: the port scan, the announcement, the user's pick, AutoDetect.

#include "config/port_list.h"
#include "tests/config/sim_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace tvk9::sim {
namespace {

using Calls = std::vector<std::string>;

// The component calls made since `from`.
Calls CallsSince(const SimComm& comm, std::size_t from) {
    return Calls(comm.Calls().begin() + static_cast<std::ptrdiff_t>(from), comm.Calls().end());
}

TEST(ControllerScan, TriesEntriesFromLastToFirstThenReadsTheListAgain) {
    SimWindow w;
    w.ListPorts({"COM1", "COM3", "COM4"});
    w.Show();
    EXPECT_EQ(w.ComSelect.Items(), (std::vector<std::string>{"COM1", "COM3", "COM4"}));
    EXPECT_EQ(w.ComSelect.ItemIndex(), -1);
    EXPECT_EQ(w.ctl.ScanIndex(), 3u);
    EXPECT_TRUE(w.AutoDetect.Enabled());
    // The window's show sets only the buffer: the read length is still the form's.
    EXPECT_EQ(w.comm.Calls(), (Calls{"buffer 10"}));

    w.loop.RunUntil(699);
    EXPECT_TRUE(w.comm.Opened().empty()); // nothing before the first step

    w.loop.RunUntil(700);
    EXPECT_EQ(w.comm.Opened(), (Calls{"COM4"}));
    EXPECT_EQ(w.ComSelect.Text(), "COM4");
    EXPECT_EQ(w.ctl.ScanIndex(), 2u);
    EXPECT_TRUE(w.ctl.ScanPortOpen());
    EXPECT_FALSE(w.AutoDetect.Enabled());

    std::size_t mark = w.comm.Calls().size();
    w.loop.RunUntil(1400);
    EXPECT_EQ(CallsSince(w.comm, mark), (Calls{"close", "name COM3", "open COM3"}));
    EXPECT_EQ(w.ComSelect.Text(), "COM3");

    // A new port appears while the first entry is being tried.
    w.ListPorts({"COM1", "COM3", "COM4", "COM7"});
    w.loop.RunUntil(2100);
    EXPECT_EQ(w.comm.Opened(), (Calls{"COM4", "COM3", "COM1"}));
    EXPECT_EQ(w.ports.calls, 2);
    EXPECT_EQ(w.ComSelect.Count(), 4);
    EXPECT_EQ(w.ComSelect.ItemIndex(), 0); // the new list shows its first entry
    EXPECT_EQ(w.ctl.ScanIndex(), 4u);

    // The next pass starts at the new last entry, and the scan keeps going.
    w.loop.RunUntil(2800);
    EXPECT_EQ(w.comm.Opened().back(), "COM7");
    w.loop.RunUntil(10 * 700);
    EXPECT_EQ(w.comm.Opened().size(), 10u);
    EXPECT_FALSE(w.ctl.DeviceFound());
    EXPECT_FALSE(w.AutoDetect.Enabled());
    // Each step blocks for 1 ms before opening, and 1 ms more after closing.
    EXPECT_EQ(w.sleeper.Slept(), 10 * 2 - 1);
    EXPECT_TRUE(w.comm.SentFrames().empty());
}

TEST(ControllerScan, EmptyListOpensNothingAndReadsTheListEveryStep) {
    SimWindow w;
    w.Show();
    w.loop.RunUntil(3 * 700);
    EXPECT_EQ(w.ports.calls, 4);
    EXPECT_TRUE(w.comm.Opened().empty());
    EXPECT_EQ(std::count(w.comm.Calls().begin(), w.comm.Calls().end(), "name "), 3);
    EXPECT_FALSE(w.AutoDetect.Enabled());
    EXPECT_EQ(w.ComSelect.ItemIndex(), -1);

    // A device plugged in now is tried at the next step and found.
    w.ListPorts({"/dev/ttyUSB0"});
    w.comm.AttachDevice("/dev/ttyUSB0");
    w.loop.RunUntil(4 * 700);      // reads the list that now has it
    w.loop.RunUntil(5 * 700 + 60); // opens it, and the device announces itself
    EXPECT_TRUE(w.ctl.DeviceFound());
    w.loop.RunUntil(6 * 700); // takes it into use
    EXPECT_EQ(w.comm.Opened(), (Calls{"/dev/ttyUSB0", "/dev/ttyUSB0"}));
    EXPECT_TRUE(w.ctl.DeviceFound());
    EXPECT_FALSE(w.Timer2.Enabled());
}

TEST(ControllerScan, AnnouncedDeviceIsTakenIntoUseAndQueried) {
    SimWindow w;
    w.ListPorts({"COM1", "COM3", "COM4"});
    SimDevice& device = w.comm.AttachDevice("COM3");
    device.stored = {0x01, 10, 10, 10, 3, 4, 5};
    w.Show();

    w.loop.RunUntil(1400); // the step that opens COM3
    EXPECT_FALSE(w.ctl.DeviceFound());
    // Opened after 2 ms of sleeps, the device announces 50 ms later.
    w.loop.RunUntil(1451);
    EXPECT_FALSE(w.ctl.DeviceFound());
    w.loop.RunUntil(1452);
    EXPECT_TRUE(w.ctl.DeviceFound());
    EXPECT_TRUE(w.Timer2.Enabled());

    std::size_t mark = w.comm.Calls().size();
    w.loop.RunUntil(2100);
    // Same port, reopened with the larger buffer first so the read length is accepted.
    EXPECT_EQ(CallsSince(w.comm, mark), (Calls{"close", "buffer 20", "len 20", "open COM3"}));
    EXPECT_EQ(w.comm.InputLen(), 20);
    EXPECT_FALSE(w.Timer2.Enabled());
    EXPECT_TRUE(w.AutoDetect.Enabled());
    EXPECT_EQ(w.ComSelect.Text(), "COM3");

    // The query goes out 1 + 500 ms later, and its answer shows in the buttons.
    ASSERT_EQ(w.comm.SentFrames().size(), 1u);
    EXPECT_EQ(w.comm.SentFrames()[0].at, 2100 + 501);
    EXPECT_EQ(Hex(w.comm.SentFrames()[0].bytes), "AA 01 00 00 00 00 00 00 00 AB");
    EXPECT_TRUE(w.ctl.QueryPending());
    w.loop.RunUntil(2100 + 501 + 500);
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{0x01, 10, 10, 10, 0, 0, 0}));
    EXPECT_EQ(w.ctl.Reported(), device.stored);
    EXPECT_EQ(w.OrientationChoice(), "Vertic");
    EXPECT_EQ(w.PitchChoice(), "pitchleft1");
    EXPECT_TRUE(w.dialogs.Boxes().empty());
    // No scan step after the device was taken into use.
    w.loop.RunFor(5000);
    EXPECT_EQ(w.comm.Opened(), (Calls{"COM4", "COM3", "COM3"}));
}

TEST(ControllerScan, AnnouncementOnTheFirstEntrySelectsItInTheNewList) {
    SimWindow w;
    w.ListPorts({"COM1", "COM3", "COM4"});
    w.comm.AttachDevice("COM1");
    w.Show();
    w.loop.RunUntil(1400);
    // Read at the step that tries COM1: the list has changed, and COM1 appears twice.
    w.ListPorts({"COM0", "COM1", "COM1", "COM9"});
    w.loop.RunUntil(2100);
    EXPECT_EQ(w.ComSelect.ItemIndex(), 0);
    w.loop.RunUntil(2800);
    EXPECT_EQ(w.comm.OpenName(), "COM1");
    EXPECT_EQ(w.ComSelect.ItemIndex(), 2); // the last equal entry
    EXPECT_EQ(w.ctl.ScanIndex(), 4u);
}

TEST(ControllerScan, PortNameMatchingNoEntryLeavesTheScansSelection) {
    SimWindow w;
    w.ListPorts({"COM1"});
    w.comm.AttachDevice("COM1");
    w.Show();
    w.loop.RunUntil(700);
    w.ListPorts({"com1", "COM2"});
    EXPECT_EQ(w.comm.OpenName(), "COM1");
    // The step read the list before the change; the next tick takes the device into use.
    w.loop.RunUntil(1400);
    EXPECT_EQ(w.ComSelect.Items(), (std::vector<std::string>{"COM1"}));
    EXPECT_EQ(w.ComSelect.ItemIndex(), 0);

    SimWindow v;
    v.ListPorts({"COM1", "COM2"});
    v.comm.AttachDevice("COM1");
    v.Show();
    v.loop.RunUntil(700); // tries COM2
    v.ports.ports = {"com1", "COM2"};
    v.loop.RunUntil(1400); // tries COM1, which announces; the new list has no "COM1"
    EXPECT_EQ(v.ComSelect.ItemIndex(), 0);
    v.loop.RunUntil(2100);
    EXPECT_FALSE(v.Timer2.Enabled());
    EXPECT_EQ(v.comm.OpenName(), "COM1");
    EXPECT_EQ(v.ComSelect.ItemIndex(), 0); // "com1" does not match: the selection stays
}

// A port's name is free text (a link in the port folder), and so is what its USB device says
// of itself: the status line shows their control characters and passes none on.
TEST(ControllerScan, StatusLineShowsTheControlCharactersOfPortNamesAndDevices) {
    const std::string name = "/tmp/ports/\x1b[2K\rCOM9\nok";
    SimWindow w;
    w.ListPorts({name});
    w.ports.details[name] = Describe({"\x1b]0;x\x07", "UART\r", "", "0403", "6001", ""});
    w.comm.AttachDevice(name);
    w.Show();
    w.loop.RunUntil(1400 + 501); // the query is out, its answer not yet in
    const std::string shown = "/tmp/ports/\\x1b[2K\\x0dCOM9\\x0aok";
    const std::string found = "Sensor found on " + shown + " (\\x1b]0;x\\x07 UART\\x0d, 0403:6001)";
    EXPECT_EQ(w.status.lines,
              (std::vector<std::string>{"Looking for the sensor…",
                                        "Looking for the sensor: " + shown + " (1 of 1)", found,
                                        found + " — waiting for the answer…"}));
}

TEST(ControllerScan, AutoDetectWhileAPortIsInUse) {
    SimWindow w;
    w.ListPorts({"COM1", "COM3", "COM4"});
    w.comm.AttachDevice("COM3");
    w.Show();
    w.PickPort(1);
    EXPECT_EQ(w.comm.OpenName(), "COM3");
    w.loop.RunUntil(2000);
    ASSERT_TRUE(w.ctl.DeviceFound());

    w.User([&] { w.ctl.AutoDetectClick(); });
    EXPECT_FALSE(w.ctl.DeviceFound());
    EXPECT_EQ(w.comm.InBufferSize(), 10);
    EXPECT_EQ(w.comm.InputLen(), 10);
    EXPECT_EQ(w.ComSelect.ItemIndex(), -1);
    EXPECT_EQ(w.comm.OpenName(), "COM3"); // stays open for now
    EXPECT_TRUE(w.AutoDetect.Enabled());

    // First step: the open of COM4 is refused, the port in use stays open, COM4 counts as tried.
    std::size_t mark = w.comm.Calls().size();
    w.loop.RunUntil(2700);
    EXPECT_EQ(CallsSince(w.comm, mark), (Calls{"name COM4", "open refused"}));
    EXPECT_EQ(w.comm.OpenName(), "COM3");
    EXPECT_EQ(w.ctl.ScanIndex(), 2u);

    // Second step closes it and opens the next entry.
    mark = w.comm.Calls().size();
    w.loop.RunUntil(3400);
    EXPECT_EQ(CallsSince(w.comm, mark), (Calls{"close", "name COM3", "open COM3"}));
    w.loop.RunUntil(4100);
    EXPECT_TRUE(w.ctl.DeviceFound());
    EXPECT_FALSE(w.Timer2.Enabled());
    EXPECT_EQ(w.comm.InputLen(), 20);
}

TEST(ControllerScan, UsersPickStopsTheScan) {
    SimWindow w;
    w.ListPorts({"COM1", "COM3", "COM4"});
    SimDevice& device = w.comm.AttachDevice("COM1");
    device.announces = false; // a pick needs no announcement
    device.stored = {0x00, 2, 15, 9, 0, 0, 0};
    w.Show();
    w.loop.RunUntil(1000); // COM4 was tried and is open

    w.PickPort(0);
    EXPECT_FALSE(w.Timer2.Enabled());
    EXPECT_TRUE(w.AutoDetect.Enabled());
    EXPECT_TRUE(w.ctl.DeviceFound());
    EXPECT_EQ(w.comm.OpenName(), "COM1");
    EXPECT_EQ(w.comm.InputLen(), 20);
    ASSERT_EQ(w.comm.SentFrames().size(), 1u);
    EXPECT_EQ(w.comm.SentFrames()[0].at, 1000 + 501);
    EXPECT_EQ(w.comm.SentFrames()[0].port, "COM1");

    w.loop.RunFor(3000);
    EXPECT_EQ(w.comm.Opened(), (Calls{"COM4", "COM1"}));
    EXPECT_EQ(w.OrientationChoice(), "Horizont");
    EXPECT_EQ(w.PitchChoice(), "pitchright1");
    EXPECT_EQ(w.RollChoice(), "rollleft1");
    EXPECT_EQ(w.YawChoice(), "yawright1");
    EXPECT_TRUE(w.dialogs.Boxes().empty());
}

TEST(ControllerScan, PickedPortThatDoesNotOpenEndsInNoResponse) {
    SimWindow w;
    w.ListPorts({"COM1", "COM2"});
    w.Show();
    w.comm.RemovePort("COM2"); // unplugged after the list was read
    w.PickPort(1);
    EXPECT_FALSE(w.comm.PortOpen());
    EXPECT_TRUE(w.comm.SentFrames().empty());
    EXPECT_TRUE(w.ctl.DeviceFound());
    w.loop.RunFor(600);
    EXPECT_EQ(w.dialogs.Messages(), (Calls{"No response!"}));
}

TEST(ControllerScan, PortWhoseSetupFailsIsTriedAgainNextStep) {
    SimWindow w;
    w.ListPorts({"COM1", "COM2"});
    w.comm.FailSetup("COM2");
    w.Show();
    w.loop.RunUntil(700);
    ASSERT_EQ(w.loop.Errors(), (Calls{"Cannot setup comm buffer"}));
    EXPECT_EQ(w.ctl.ScanIndex(), 2u);
    EXPECT_FALSE(w.ctl.ScanPortOpen());
    w.comm.HealSetup("COM2");
    w.loop.RunUntil(1400);
    EXPECT_EQ(w.comm.Opened(), (Calls{"COM2"}));
    EXPECT_EQ(w.ctl.ScanIndex(), 1u);

    // A picked port whose setup fails sends no query, and the device is not taken as found.
    w.comm.FailSetup("COM1");
    w.PickPort(0);
    EXPECT_EQ(w.loop.Errors().size(), 2u);
    EXPECT_FALSE(w.ctl.DeviceFound());
    EXPECT_FALSE(w.Timer2.Enabled());
    EXPECT_TRUE(w.comm.SentFrames().empty());
    EXPECT_FALSE(w.Timer1.Enabled());
}

TEST(ControllerScan, ListsLongerThan255EntriesAreScannedWhole) {
    SimWindow w;
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        names.push_back("/dev/ttyV" + std::to_string(i));
    }
    w.ListPorts(names);
    w.comm.AttachDevice(names.front());
    w.Show();
    EXPECT_EQ(w.ctl.ScanIndex(), 300u);
    w.loop.RunUntil(700);
    EXPECT_EQ(w.comm.Opened().back(), names.back());
    w.loop.RunUntil(301 * 700);
    ASSERT_EQ(w.comm.Opened().size(), 301u);
    EXPECT_EQ(w.comm.Opened()[299], names.front());
    EXPECT_TRUE(w.ctl.DeviceFound());
    EXPECT_EQ(w.ComSelect.ItemIndex(), 0);
}

} // namespace
} // namespace tvk9::sim
