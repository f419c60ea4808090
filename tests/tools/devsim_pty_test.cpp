#include "common/error.h"
#include "config/linux_port_list.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/devsim_client.h"
#include "tools/devsim/simulated_device.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace tvk9::devsim {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::PortClient;
using testing::ToBytes;

const DeviceSettings Default{0x01, 10, 10, 10, 0, 0, 0};
const DeviceSettings NewValues{0x10, 5, 20, 11, 0x32, 0x3C, 0x46};
const Bytes Greeting = ToBytes(PresenceSignature);

RunnerOptions In(const TempDir& folder) {
    RunnerOptions options;
    options.portFolder = folder.path();
    options.device.delay = std::chrono::milliseconds(2);
    return options;
}

TEST(SimulatedDevice, GreetsEveryOpenAndAnswersQueriesAndWrites) {
    const TempDir folder("tvk9-devsim");
    RunnerOptions options = In(folder);
    options.device.delay = std::chrono::milliseconds(20);
    SimulatedDevice device(options);

    EXPECT_EQ(device.LinkPath(), folder.path() / "TVK9-SIM");
    EXPECT_EQ(fs::read_symlink(device.LinkPath()), fs::path(device.SlavePath()));
    EXPECT_EQ(ListSerialPorts(folder.path() / "no-sysfs", folder.path()),
              std::vector<std::string>{device.LinkPath().string()});

    {
        PortClient client(device.LinkPath());
        EXPECT_EQ(client.Read(3), Greeting);
        client.Write(QueryFrame);
        EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame(Default)));
        client.Write(BuildSettingsFrame(NewValues));
        EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame(NewValues)));
    }
    // The settings outlive the program that wrote them; the next one is greeted afresh.
    PortClient next(device.SlavePath());
    EXPECT_EQ(next.Read(3), Greeting);
    next.Write(QueryFrame);
    EXPECT_EQ(next.Read(10), ToBytes(BuildReportFrame(NewValues)));
}

TEST(SimulatedDevice, ASecondProgramIsGreetedAndItsCloseLeavesTheFirstConnected) {
    const TempDir folder("tvk9-devsim");
    SimulatedDevice device(In(folder));
    PortClient first(device.LinkPath());
    EXPECT_EQ(first.Read(3), Greeting);
    {
        PortClient second(device.LinkPath());
        // Both read one queue; the greeting for the second open is there once.
        EXPECT_EQ(second.Read(3), Greeting);
    }
    first.Write(QueryFrame);
    EXPECT_EQ(first.Read(10), ToBytes(BuildReportFrame(Default)));
}

TEST(SimulatedDevice, GreetsAgainWhenTheProgramFlushedTheGreetingAway) {
    const TempDir folder("tvk9-devsim");
    SimulatedDevice device(In(folder));
    PortClient client(device.LinkPath());
    ASSERT_EQ(client.Read(3), Greeting);
    ::tcflush(client.fd(), TCIFLUSH);
    EXPECT_EQ(client.Read(3), Greeting);
    client.Write(QueryFrame);
    EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame(Default)));
}

TEST(SimulatedDevice, NamesAreExclusiveAndTheLinkGoesWithTheDevice) {
    const TempDir folder("tvk9-devsim");
    // A link left by a device that died is replaced.
    fs::create_symlink("/dev/null", folder.path() / "TVK9-SIM");
    fs::path link;
    {
        SimulatedDevice device(In(folder));
        link = device.LinkPath();
        EXPECT_EQ(fs::read_symlink(link), fs::path(device.SlavePath()));
        EXPECT_THROW(SimulatedDevice{In(folder)}, Exception);

        RunnerOptions other = In(folder);
        other.name = "SIM2";
        SimulatedDevice second(other);
        EXPECT_EQ(ListSerialPorts(folder.path() / "no-sysfs", folder.path()),
                  (std::vector<std::string>{(folder.path() / "SIM2").string(), link.string()}));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_TRUE(fs::is_empty(folder.path())) << "the lock files went with the devices";
    EXPECT_TRUE(ListSerialPorts(folder.path() / "no-sysfs", folder.path()).empty());

    for (const char* bad : {"", "a/b", ".hidden"}) {
        RunnerOptions options = In(folder);
        options.name = bad;
        EXPECT_THROW(SimulatedDevice{options}, Exception) << bad;
    }
}

TEST(SimulatedDevice, StoppingOrUnpluggingHangsUpTheProgramsPort) {
    const TempDir folder("tvk9-devsim");
    {
        SimulatedDevice device(In(folder));
        PortClient client(device.LinkPath());
        ASSERT_EQ(client.Read(3), Greeting);
        device.Stop();
        EXPECT_TRUE(client.HangsUp());
        EXPECT_FALSE(fs::exists(fs::symlink_status(device.LinkPath())));
    }
    {
        RunnerOptions options = In(folder);
        options.device.unplugAfter = 2;
        options.device.baudTiming = true; // the last answer trickles out byte by byte
        SimulatedDevice device(options);
        PortClient client(device.LinkPath());
        ASSERT_EQ(client.Read(3), Greeting);
        client.Write(QueryFrame);
        EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame(Default)));
        client.Write(QueryFrame);
        // The last answer is whole before the port goes.
        EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame(Default)));
        EXPECT_TRUE(client.HangsUp());
        EXPECT_FALSE(fs::exists(fs::symlink_status(device.LinkPath())));
        EXPECT_NO_THROW(device.Stop());
    }
}

TEST(SimulatedDevice, LogsEveryFrameWithItsTime) {
    const TempDir folder("tvk9-devsim");
    std::ostringstream log;
    RunnerOptions options = In(folder);
    options.log = &log;
    {
        SimulatedDevice device(options);
        PortClient client(device.LinkPath());
        ASSERT_EQ(client.Read(3), Greeting);
        client.Write(QueryFrame);
        ASSERT_EQ(client.Read(10).size(), 10u);
        client.Close();
        device.Stop(); // the log is ours to read once the device has stopped
    }
    const std::string t = R"(\d+\.\d{3} )";
    const std::regex expected(t + "open\n" +                                           //
                              t + R"(tx AA BB 55 \(presence\)\n)" +                    //
                              t + R"(rx AA 01 00 00 00 00 00 00 00 AB \(query\)\n)" +  //
                              t + R"(tx BB 03 01 0A 0A 0A 00 00 00 DD \(report\)\n)" + //
                              "(" + t + "close\n)?"); // unless the stop came first
    EXPECT_TRUE(std::regex_match(log.str(), expected)) << log.str();
}

} // namespace
} // namespace tvk9::devsim
