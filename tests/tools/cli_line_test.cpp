// tvk9-cli as a production line meets it: frames that come in pieces, sensors plugged and
// unplugged in bursts, ports that wait for another program.

#include "tests/tools/cli_program.h"

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

const SettingsLines LineFile{"vexnoc", "-0.1", "0.3", "1", "1.5", "0", "2", "1"};

// The sensor sends each report in two halves 30 ms apart, longer than any pause the reads of
// earlier versions waited for: the report is put together, and a write is judged by it.
TEST_F(CliProgram, AReportInTwoPiecesIsPutTogether) {
    devsim::DeviceOptions split = With({0x01, 12, 8, 10, 1, 2, 3});
    split.split = 30ms;
    const auto sensor = Sensor("SPLIT", split);
    const Outcome read = Run({"read", "--json", "-p", Port("SPLIT")});
    EXPECT_TRUE(read.Says("\"reported\":{\"orientation\":1,\"pitch\":12,\"roll\":8,\"yaw\":10,"
                          "\"scale1\":1,\"scale2\":2,\"scale3\":3}"))
        << read;
    // REV of 12 is 8; AA+02+01+08+08+0A+01+02+03 = 205 = 0xCD.
    const Outcome written = Run({"write", "-p", Port("SPLIT"), "--pitch", "rev", "--json"});
    EXPECT_EQ(written.status, 0) << written;
    EXPECT_TRUE(written.Says("\"frame\":\"AA 02 01 08 08 0A 01 02 03 CD\"")) << written;
}

// An announcement in two pieces 60 ms apart, as an adapter that holds bytes back may deliver
// it: find hears it. The test plays the sensor on a pseudo-terminal.
TEST_F(CliProgram, FindHearsAnAnnouncementThatComesInPieces) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    int packets = 1; // the master hears when the port's input is thrown away
    ASSERT_EQ(::ioctl(master, TIOCPKT, &packets), 0);
    ASSERT_EQ(::symlink(::ptsname(master), Port("P").c_str()), 0);
    ChildProcess find(Program, {"find"}, Env());
    // Once the command has opened the port and thrown away what was there: AA, then BB 55.
    for (unsigned char packet[64] = {}; (packet[0] & TIOCPKT_FLUSHREAD) == 0;) {
        pollfd p{master, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, static_cast<int>(testing::ChildPatience.count())), 1);
        ASSERT_GT(::read(master, packet, sizeof packet), 0);
    }
    ASSERT_EQ(::write(master, "\xAA", 1), 1);
    std::this_thread::sleep_for(60ms);
    ASSERT_EQ(::write(master, "\xBB\x55", 2), 2);
    EXPECT_EQ(find.Wait(), 0);
    EXPECT_EQ(find.Rest(false), Port("P") + "\n");
    ::close(master);
}

// Returns once watch has seen the ports that were there when it started.
void WaitUntilWatching(ChildProcess& watch) {
    const std::string said = watch.NextLine(testing::ChildPatience, true);
    ASSERT_EQ(said.rfind("Waiting for sensors to write ", 0), 0u) << said;
}

std::string Written(const std::string& port) {
    return "\"port\":\"" + port + "\",\"serial\":null,\"result\":\"Modify Successful!\"";
}

// Bursts of up to 32 sensors, all unplugged and plugged in again at once under the same names:
// each plug of each sensor is written exactly once (its frame log holds one settings frame)
// and told in exactly one line.
TEST_F(CliProgram, WatchWritesEverySensorOfEveryBurstOnceWithALine) {
    ChildProcess watch(Program, {"watch", "--file", File("line.tvk", LineFile), "--json"}, Env());
    WaitUntilWatching(watch);
    std::map<std::string, std::pair<std::unique_ptr<std::ostringstream>,
                                    std::unique_ptr<devsim::SimulatedDevice>>>
        plugged;
    const auto names = [](int from, int to, int step = 1) {
        std::vector<std::string> list;
        for (int i = from; i < to; i += step) {
            list.push_back(std::to_string(i));
            list.back().insert(0, 1, 'S'); // not "S" + ...: a false -Wrestrict of GCC 12 at -O3
        }
        return list;
    };
    // Plugs the sensors in and reads one line for each, in any order.
    const auto plugIn = [&](const std::vector<std::string>& burst) {
        for (const std::string& name : burst) {
            auto& [log, device] = plugged[name];
            log = std::make_unique<std::ostringstream>();
            devsim::RunnerOptions run;
            run.name = name;
            run.device.delay = 5ms;
            run.portFolder = folder_.path();
            run.log = log.get();
            device = std::make_unique<devsim::SimulatedDevice>(run);
        }
        std::map<std::string, int> lines;
        for (std::size_t i = 0; i < burst.size(); ++i) {
            const std::string line = watch.NextLine();
            ASSERT_FALSE(line.empty()) << "no line for " << burst.size() - i << " sensors";
            const std::size_t port = line.find("\"port\":\"") + 8;
            ++lines[line.substr(port, line.find('"', port) - port)];
            EXPECT_NE(line.find(Written(line.substr(port, line.find('"', port) - port))),
                      std::string::npos)
                << line;
        }
        for (const std::string& name : burst) {
            EXPECT_EQ(lines[Port(name)], 1) << name;
        }
    };
    const auto unplug = [&](const std::vector<std::string>& burst) {
        for (const std::string& name : burst) {
            auto& [log, device] = plugged.at(name);
            device->Stop();
            const std::string frames = log->str();
            std::size_t writes = 0;
            for (auto at = frames.find(" rx AA 02 "); at != std::string::npos;
                 at = frames.find(" rx AA 02 ", at + 1)) {
                ++writes;
            }
            EXPECT_EQ(writes, 1u) << name << ":\n" << frames;
            plugged.erase(name);
        }
    };

    plugIn(names(0, 24));
    unplug(names(0, 24));
    plugIn(names(0, 24));
    unplug(names(0, 24, 2)); // half of them again, and eight more, while the others stay
    auto burst = names(0, 24, 2);
    for (const std::string& more : names(24, 32)) {
        burst.push_back(more);
    }
    plugIn(burst);
    unplug(names(0, 32));
    plugIn(names(0, 32));
    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(), 130);
    EXPECT_EQ(watch.Rest(false), ""); // nobody written twice
    unplug(names(0, 32));
}

// With --new-only the sensors that were there when watch started are left alone, also once
// the program that held one lets it go; plugged in again, they are new.
TEST_F(CliProgram, WatchNewOnlyLeavesAloneTheSensorsThatWereThere) {
    auto a = Sensor("A");
    const auto b = Sensor("B");
    const int held = ::open(Port("B").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); // as the window
    ChildProcess watch(Program,
                       {"watch", "--new-only", "--file", File("l.tvk", LineFile), "--json"}, Env());
    WaitUntilWatching(watch);
    ::close(held);
    const auto c = Sensor("C");
    // C's line comes first: nothing was written to A, nor to B when it was let go.
    EXPECT_NE(watch.NextLine().find(Written(Port("C"))), std::string::npos);
    a.reset();
    a = Sensor("A");
    EXPECT_NE(watch.NextLine().find(Written(Port("A"))), std::string::npos);
    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(), 130);
    EXPECT_EQ(watch.Rest(false), "");
}

// A port that waits is tried again when its own state changes (its lock file goes, the process
// in its way ends), not at every event where ports appear: each try reads its lock file, which
// shows the tries.
TEST_F(CliProgram, WatchTriesAWaitingPortAgainWhenItsOwnStateChanges) {
    if (::access("/run/lock", W_OK) != 0) {
        GTEST_SKIP() << "needs to write /run/lock";
    }
    ChildProcess watch(Program, {"watch", "--file", File("l.tvk", LineFile), "--json"}, Env());
    WaitUntilWatching(watch); // what comes now has appeared, and is told of
    TempDir elsewhere{"tvk9-cli-elsewhere"};
    // A sensor linked into the port folder whose lock file names `pid`: it waits, and 2 s
    // after it appeared it says so.
    const auto lockedSensor = [&](const std::string& name, pid_t pid) {
        devsim::RunnerOptions options;
        options.device.delay = 5ms;
        options.portFolder = elsewhere.path();
        options.name = name;
        auto sensor = std::make_unique<devsim::SimulatedDevice>(options);
        std::string lock = "/run/lock/LCK.." + sensor->SlavePath().substr(5); // pts/N
        lock[lock.rfind('/')] = '_';
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
        std::ofstream(lock) << text;
        EXPECT_EQ(::symlink(sensor->SlavePath().c_str(), Port(name).c_str()), 0);
        const std::string waits = watch.NextLine();
        EXPECT_NE(waits.find("is in use by PID " + std::to_string(pid)), std::string::npos)
            << waits;
        return std::make_pair(std::move(sensor), lock);
    };
    const auto [l, lock] = lockedSensor("L", ::getpid()); // alive, without the port open

    // Files made, renamed and removed in the port folder and the lock folder, another sensor:
    // none of them tries the waiting port again.
    const int opens = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(::inotify_add_watch(opens, lock.c_str(), IN_OPEN), 0);
    for (const fs::path& file : {folder_ / ".noise", fs::path("/run/lock/LCK..tvk9-test-noise")}) {
        for (int i = 0; i < 5; ++i) {
            std::ofstream(file) << "x";
            fs::rename(file, file.string() + "~");
            fs::remove(file.string() + "~");
        }
    }
    const auto m = Sensor("M");
    EXPECT_NE(watch.NextLine().find(Written(Port("M"))), std::string::npos);
    char events[4096];
    EXPECT_LT(::read(opens, events, sizeof events), 0) << "the waiting port was tried again";
    ::close(opens);
    fs::remove(lock);
    EXPECT_NE(watch.NextLine().find(Written(Port("L"))), std::string::npos);

    // A lock of a process that ends: written once it has ended.
    const pid_t child = ::fork();
    if (child == 0) {
        for (;;) {
            ::pause(); // until the test kills it
        }
    }
    const auto [e, stale] = lockedSensor("E", child);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_NE(watch.NextLine().find(Written(Port("E"))), std::string::npos);
    fs::remove(stale);
    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(), 130);
}

} // namespace
} // namespace tvk9
