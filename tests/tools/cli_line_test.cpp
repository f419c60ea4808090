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

// Returns once watch has seen the ports that were there when it started.
void WaitUntilWatching(ChildProcess& watch) {
    const std::string said = watch.NextLine(testing::ChildPatience, true);
    ASSERT_EQ(said.rfind("Waiting for sensors to write ", 0), 0u) << said;
}

// A production line's watch, plugged and unplugged in bursts: every plug of every sensor is
// written exactly once (its frame log holds one settings frame) and told in exactly one line,
// also when a sensor is unplugged and plugged in again at once under the same name.
TEST_F(CliProgram, WatchWritesEverySensorOfEveryBurstOnceWithALine) {
    const std::string file = File("line.tvk", {"vexnoc", "-0.1", "0.3", "1", "1.5", "0", "2", "1"});
    ChildProcess watch(Program, {"watch", "--file", file, "--json"}, Env());
    WaitUntilWatching(watch);
    struct Plug {
        std::unique_ptr<std::ostringstream> log = std::make_unique<std::ostringstream>();
        std::unique_ptr<devsim::SimulatedDevice> device;
    };
    std::map<std::string, Plug> plugged;
    int plugs = 0;
    const auto plugIn = [&](const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            Plug plug;
            devsim::RunnerOptions run;
            run.name = name;
            run.device.delay = 5ms;
            run.portFolder = folder_.path();
            run.log = plug.log.get();
            plug.device = std::make_unique<devsim::SimulatedDevice>(run);
            plugged[name] = std::move(plug);
            ++plugs;
        }
    };
    // Each sensor's settings frames, counted once it is unplugged.
    const auto unplug = [&](const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            Plug& plug = plugged.at(name);
            plug.device->Stop();
            const std::string log = plug.log->str();
            std::size_t writes = 0;
            for (std::size_t at = 0; (at = log.find(" rx AA 02 ", at)) != std::string::npos; ++at) {
                ++writes;
            }
            EXPECT_EQ(writes, 1u) << name << ":\n" << log;
            plugged.erase(name);
        }
    };
    // One line for each of `names`, in any order, and no other.
    const auto linesFor = [&](std::vector<std::string> names) {
        std::map<std::string, int> expected;
        for (const std::string& name : names) {
            expected[Port(name)] = 0;
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string line = watch.NextLine();
            ASSERT_FALSE(line.empty()) << "no line for " << names.size() - i << " sensors";
            const auto port = line.find("\"port\":\"");
            const std::string name = line.substr(port + 8, line.find('"', port + 8) - port - 8);
            EXPECT_EQ(++expected[name], 1) << line;
            EXPECT_NE(line.find("\"result\":\"Modify Successful!\""), std::string::npos) << line;
        }
        EXPECT_EQ(expected.size(), names.size());
    };
    const auto names = [](int from, int to, int step = 1) {
        std::vector<std::string> list;
        for (int i = from; i < to; i += step) {
            list.push_back("S" + std::to_string(i));
        }
        return list;
    };

    plugIn(names(0, 24));
    linesFor(names(0, 24));
    // All out and in again at once, under the same names.
    unplug(names(0, 24));
    plugIn(names(0, 24));
    linesFor(names(0, 24));
    // Half of them again, and eight more, while the others stay.
    unplug(names(0, 24, 2));
    auto burst = names(0, 24, 2);
    const auto more = names(24, 32);
    burst.insert(burst.end(), more.begin(), more.end());
    plugIn(burst);
    linesFor(burst);
    unplug(names(0, 32));
    plugIn(names(0, 32));
    linesFor(names(0, 32));

    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(), 130);
    EXPECT_EQ(watch.Rest(false), ""); // nobody written twice
    unplug(names(0, 32));
    EXPECT_EQ(plugs, 24 + 24 + 20 + 32);
}

// With --new-only the sensors that were there when watch started are left alone, also once
// the program that held one lets it go; plugged in again, they are new.
TEST_F(CliProgram, WatchNewOnlyLeavesAloneTheSensorsThatWereThere) {
    const std::string file = File("line.tvk", {"vexnoc", "-0.1", "0.3", "1", "1.5", "0", "2", "1"});
    std::ostringstream logA;
    devsim::RunnerOptions run;
    run.name = "A";
    run.device.delay = 5ms;
    run.portFolder = folder_.path();
    run.log = &logA;
    auto a = std::make_unique<devsim::SimulatedDevice>(run);
    const auto b = Sensor("B");
    const int held = ::open(Port("B").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); // as the window
    ASSERT_GE(held, 0);
    ChildProcess watch(Program, {"watch", "--new-only", "--file", file, "--json"}, Env());
    WaitUntilWatching(watch);
    const auto c = Sensor("C");
    // C's line comes first: nothing was written to A, nor to B when it was let go.
    EXPECT_NE(watch.NextLine().find("\"port\":\"" + Port("C") + "\""), std::string::npos);
    ::close(held);
    const auto d = Sensor("D");
    EXPECT_NE(watch.NextLine().find("\"port\":\"" + Port("D") + "\""), std::string::npos);
    a->Stop();
    EXPECT_EQ(logA.str().find(" rx AA 02 "), std::string::npos) << logA.str();
    a.reset();
    a = Sensor("A");
    const std::string again = watch.NextLine();
    EXPECT_NE(again.find("\"port\":\"" + Port("A") +
                         "\",\"serial\":null,\"result\":\"Modify "
                         "Successful!\""),
              std::string::npos)
        << again;
    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(), 130);
    EXPECT_EQ(watch.Rest(false), "");
}

// A port that waits is tried again when its own state changes (its lock file goes, the
// process in its way ends), and not at every event where ports appear: each try reads the lock
// file, which tells the tries apart.
TEST_F(CliProgram, WatchTriesAWaitingPortAgainWhenItsOwnStateChanges) {
    if (::access("/run/lock", W_OK) != 0) {
        GTEST_SKIP() << "needs to write /run/lock";
    }
    const std::string file = File("line.tvk", {"vexnoc", "-0.1", "0.3", "1", "1.5", "0", "2", "1"});
    ChildProcess watch(Program, {"watch", "--file", file, "--json"}, Env());
    WaitUntilWatching(watch); // what comes now has appeared, and is told of
    const auto lockOf = [](const devsim::SimulatedDevice& sensor) {
        std::string name = sensor.SlavePath().substr(5); // pts/N
        name[name.find('/')] = '_';
        return "/run/lock/LCK.." + name;
    };
    const auto lockFor = [](const std::string& lock, pid_t pid) {
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
        std::ofstream(lock) << text;
    };
    // Its lock file names this process, which does not have it open: it waits, and after
    // 2 s it says so.
    TempDir elsewhere{"tvk9-cli-elsewhere"};
    devsim::RunnerOptions options;
    options.device.delay = 5ms;
    options.portFolder = elsewhere.path();
    options.name = "L";
    const devsim::SimulatedDevice locked(options);
    const std::string lock = lockOf(locked);
    lockFor(lock, ::getpid());
    ASSERT_EQ(::symlink(locked.SlavePath().c_str(), Port("L").c_str()), 0);
    const std::string waits = watch.NextLine();
    EXPECT_NE(waits.find("(lock file " + lock + ")"), std::string::npos) << waits;

    // Files made, renamed and removed in the port folder, lock files of other ports, another
    // sensor: not one of them tries the waiting port again.
    const int opens = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(::inotify_add_watch(opens, lock.c_str(), IN_OPEN), 0);
    for (int i = 0; i < 10; ++i) {
        const fs::path hidden = folder_ / (".noise" + std::to_string(i));
        std::ofstream(hidden) << "x";
        fs::rename(hidden, folder_ / (".moved" + std::to_string(i)));
        fs::remove(folder_ / (".moved" + std::to_string(i)));
        const std::string other = "/run/lock/LCK..tvk9-test-" + std::to_string(i);
        lockFor(other, ::getpid());
        fs::remove(other);
    }
    const auto m = Sensor("M");
    EXPECT_NE(watch.NextLine().find("\"port\":\"" + Port("M") + "\""), std::string::npos);
    char events[4096];
    EXPECT_LT(::read(opens, events, sizeof events), 0) << "the waiting port was tried again";
    ::close(opens);

    // The lock goes: written.
    fs::remove(lock);
    EXPECT_NE(watch.NextLine().find("\"port\":\"" + Port("L") +
                                    "\",\"serial\":null,\"result\":\"Modify Successful!\""),
              std::string::npos);

    // A lock of a process that ends: written once the process has ended.
    options.name = "E";
    const devsim::SimulatedDevice ending(options);
    const pid_t child = ::fork();
    if (child == 0) {
        for (;;) {
            ::pause(); // until the test kills it
        }
    }
    lockFor(lockOf(ending), child);
    ASSERT_EQ(::symlink(ending.SlavePath().c_str(), Port("E").c_str()), 0);
    EXPECT_NE(watch.NextLine().find("is in use by PID " + std::to_string(child)),
              std::string::npos);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_NE(watch.NextLine().find("\"port\":\"" + Port("E") +
                                    "\",\"serial\":null,\"result\":\"Modify Successful!\""),
              std::string::npos);
    fs::remove(lockOf(ending));

    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(), 130);
}

} // namespace
} // namespace tvk9
