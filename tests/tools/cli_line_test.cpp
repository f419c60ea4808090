// tvk9-cli as a production line meets it: reports that come in pieces, many sensors at once,
// sensors plugged and unplugged in bursts.

#include "config/port_list.h"
#include "tests/support/descriptor_crowd.h"
#include "tests/tools/cli_program.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace tvk9 {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The sensor sends each report in two halves 30 ms apart, longer than any pause the reads of
// earlier versions waited for: the report is put together, and a write is judged by it.
TEST_F(CliProgram, AReportInTwoPiecesIsPutTogether) {
    devsim::DeviceOptions split = With({0x01, 12, 8, 10, 1, 2, 3});
    split.split = 30ms;
    const auto sensor = Sensor("SPLIT", split);
    const Outcome read = Run({"read", "--json", "-p", Port("SPLIT")});
    EXPECT_EQ(read.status, 0) << read;
    EXPECT_TRUE(read.Says("\"reported\":{\"orientation\":1,\"pitch\":12,\"roll\":8,\"yaw\":10,"
                          "\"scale1\":1,\"scale2\":2,\"scale3\":3}"))
        << read;
    // REV of 12 is 8; AA+02+01+08+08+0A+01+02+03 = 205 = 0xCD.
    const Outcome written = Run({"write", "-p", Port("SPLIT"), "--pitch", "rev", "--json"});
    EXPECT_EQ(written.status, 0) << written;
    EXPECT_TRUE(written.Says("\"frame\":\"AA 02 01 08 08 0A 01 02 03 CD\"")) << written;
    EXPECT_TRUE(written.Says("\"result\":\"Modify Successful!\"")) << written;
}

// A sensor whose announcement comes in two pieces with a pause between them (its adapter held
// the rest back): find puts it together. The test plays the sensor on a pseudo-terminal.
TEST_F(CliProgram, FindHearsAnAnnouncementThatComesInPieces) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    int packets = 1; // tells the master when the port's input is thrown away
    ASSERT_EQ(::ioctl(master, TIOCPKT, &packets), 0);
    ASSERT_EQ(::symlink(::ptsname(master), Port("P").c_str()), 0);
    ChildProcess find(Program, {"find"}, Env());
    // Once the command has opened the port and thrown away what was there, AA, then BB 55.
    for (unsigned char packet[64] = {};;) {
        pollfd p{master, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, static_cast<int>(testing::ChildPatience.count())), 1);
        if (::read(master, packet, sizeof packet) > 0 && (packet[0] & TIOCPKT_FLUSHREAD) != 0) {
            break;
        }
    }
    const unsigned char first[] = {0xAA};
    const unsigned char rest[] = {0xBB, 0x55};
    ASSERT_EQ(::write(master, first, sizeof first), 1);
    std::this_thread::sleep_for(60ms);
    ASSERT_EQ(::write(master, rest, sizeof rest), 2);
    EXPECT_EQ(find.Wait(), 0);
    EXPECT_EQ(find.Rest(false), Port("P") + "\n");
    ::close(master);
}

// find over 64 sensors, each of which announces itself within the 700 ms of its window, on a
// machine whose other programs hold 20,000 descriptors: all 64 are found, however long the
// command takes to open the ports and to read what they said.
TEST_F(CliProgram, FindFindsEveryOneOfManySensors) {
    const testing::DescriptorCrowd crowd(50, 400);
    std::vector<std::unique_ptr<devsim::SimulatedDevice>> sensors;
    std::string expected;
    std::vector<std::string> names;
    for (int i = 0; i < 64; ++i) {
        names.push_back("S" + std::to_string(i));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    for (const std::string& name : names) {
        sensors.push_back(Sensor(name));
        expected += Port(name) + "\n";
    }
    const Outcome found = Run({"find"});
    EXPECT_EQ(found.status, 0) << found;
    EXPECT_EQ(found.out, expected);
}

} // namespace
} // namespace tvk9
