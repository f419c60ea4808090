// The whole road on real parts and real time: the port list finds the simulated device's port,
// the scan opens it through TComm on a pseudo-terminal, the device announces itself, is
// queried and written, and the answer is judged.

#include "config/linux_port_list.h"
#include "config/tcomm_link.h"
#include "serial/queue_channel.h"
#include "tests/config/sim_window.h"
#include "tests/serial/pty_pair.h"
#include "tests/support/temp_dir.h"
#include "tools/devsim/simulated_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <semaphore>
#include <sstream>
#include <sys/inotify.h>
#include <sys/wait.h>

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

// The notification queue of the window's thread; it tells when a worker posts its hang-up.
struct HangupWatch final : NotifyChannel {
    bool Post(NotifyMessage message) noexcept override {
        const bool hangup = message.Msg == MsgRequestHangup;
        const bool posted = queue.Post(std::move(message));
        if (hangup && posted) {
            hungUp.release();
        }
        return posted;
    }
    QueueChannel queue;
    std::counting_semaphore<> hungUp{0};
};

// The window's logic on TComm over the simulated sensor's pseudo-terminal, on the real clock.
struct RealPort {
    RealPort(const char* name, const devsim::DeviceOptions& sensor)
        : folder(name), device({.device = sensor, .portFolder = folder.path()}) {
        // The form's stored values, in the order a form applies them.
        comm.SetInputLen(10);
        comm.SetInBufferSize(10);
        comm.SetReadIntervalTimeout(100);
        comm.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            w.ctl.Comm1ReceiveData(std::span<const std::uint8_t>(buffer, length));
        };
        comm.OnRequestHangup = [this](TComm&) { w.ctl.Comm1RequestHangup(); };
        w.ports.source = [this] { return ListSerialPorts(folder / "no-sysfs", folder.path()); };
        w.loop.UseRealClock([this](Ms wait) {
            return channel.queue.DispatchNext(comm, std::chrono::milliseconds(wait));
        });
    }
    const TempDir folder;
    devsim::SimulatedDevice device;
    HangupWatch channel;
    TComm comm{channel};
    TCommLink link{comm};
    SimWindow w{"/opt/tvk9/", '.', &link};
};

TEST(ControllerEndToEnd, FindsQueriesAndWritesTheSimulatedDevice) {
    devsim::DeviceOptions sensor;
    sensor.settings = {0x02, 25, 5, 10, 7, 8, 9};
    sensor.delay = 20ms;
    RealPort real("tvk9-e2e", sensor);
    devsim::SimulatedDevice& device = real.device;
    TComm& comm = real.comm;
    SimWindow& w = real.w;

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

bool HoldsDescriptorOf(const std::string& device) {
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(fd.path(), ec) == device)
            return true;
    }
    return false;
}

// A sensor that floods its port once it has answered: the worker gives up, the window lets the
// port go, lock file and descriptor with it, and AutoDetect finds the sensor again.
TEST(ControllerEndToEnd, LetsGoOfAFloodedPortAndFindsTheSensorAgain) {
    devsim::DeviceOptions sensor;
    sensor.floodAfter = 1;
    RealPort real("tvk9-flood", sensor);
    devsim::SimulatedDevice& device = real.device;
    TComm& comm = real.comm;
    SimWindow& w = real.w;
    const std::string lock = "/run/lock/LCK..pts_" + device.SlavePath().substr(9);
    const auto connected = [&] {
        return w.ctl.DeviceFound() && !w.Timer2.Enabled() && !w.ctl.QueryPending();
    };

    w.Show();
    ASSERT_TRUE(RunUntilTrue(w, connected, 5000));
    EXPECT_TRUE(HoldsDescriptorOf(device.SlavePath()));
    EXPECT_EQ(fs::exists(lock), ::access("/run/lock", W_OK) == 0);
    // The window's thread is busy while the flood fills its queue, until the worker gives up.
    ASSERT_TRUE(real.channel.hungUp.try_acquire_for(10s));
    ASSERT_TRUE(RunUntilTrue(
        w, [&] { return !comm.PortOpen(); }, 10000));
    EXPECT_EQ(w.status.lines.back(), "The sensor's port stopped working (flooded with data?) — "
                                     "press AutoDetect to find it again");
    EXPECT_FALSE(HoldsDescriptorOf(device.SlavePath()));
    EXPECT_FALSE(fs::exists(lock));

    w.User([&] { w.ctl.AutoDetectClick(); });
    ASSERT_TRUE(RunUntilTrue(w, connected, 5000));
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(w.ctl.Reported(), sensor.settings);
    EXPECT_TRUE(w.loop.Errors().empty());
    comm.ClosePort();
}

// Another program's port is refused untouched and unopened; a stale lock is no obstacle.
TEST(ScanOverAPortInUse, RefusesItUntouchedWhileHeldOrLockedAndPutsBackWhatItChanged) {
    const TempDir folder("tvk9-inuse");
    const testing::ForeignPty pty;
    std::filesystem::create_symlink(pty.Slave(), folder / "ttyHELD");
    const int held = ::open(pty.Slave().c_str(), O_RDWR | O_NOCTTY);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::pause(); // holds the port until killed
        _exit(0);
    }
    ::close(held);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, pty.Slave().c_str(), IN_OPEN), 0);
    char events[256]; // reading them also clears them for the next look
    const auto untouched = [&] { return ::read(watch, events, 256) < 0 && pty.LineAsLeft(); };

    QueueChannel channel;
    TComm comm(channel);
    TCommLink link(comm);
    SimWindow w("/opt/tvk9/", '.', &link);
    w.ports.source = [&] { return ListSerialPorts(folder / "no-sysfs", folder.path()); };
    w.Show();
    const auto scan = [&](int steps) {
        for (int i = 0; i < steps; ++i)
            w.User([&] { w.ctl.Timer2Timer(); });
    };
    scan(3);
    EXPECT_TRUE(untouched());
    const std::string heldBy = " is in use by PID " + std::to_string(holder) + " (config_tests)";
    EXPECT_EQ(w.status.lines.back().find(heldBy), (folder / "ttyHELD").string().size());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);

    if (::access("/run/lock", W_OK) != 0)
        GTEST_SKIP() << "the lock folder is not ours to write";
    const std::string lock = "/run/lock/LCK..pts_" + pty.Slave().substr(9);
    const auto lockOf = [&](pid_t pid) { std::ofstream(lock) << std::setw(10) << pid << '\n'; };
    lockOf(1); // a process that runs
    scan(2);
    EXPECT_TRUE(untouched());
    EXPECT_NE(comm.OpenProblem().detail.find("(lock file " + lock + ")"), std::string::npos);

    const pid_t gone = ::fork();
    if (gone == 0)
        _exit(0);
    ::waitpid(gone, nullptr, 0);
    lockOf(gone);
    scan(1);
    ASSERT_TRUE(comm.PortOpen()) << comm.OpenProblem().Line();
    EXPECT_FALSE(untouched());
    std::string taken;
    std::getline(std::ifstream(lock), taken);
    EXPECT_EQ(taken, (std::ostringstream() << std::setw(10) << ::getpid()).str());
    comm.ClosePort();
    EXPECT_TRUE(untouched());
    EXPECT_FALSE(std::filesystem::exists(lock));

    // An empty lock file names no process either: it goes, and the status bar says so.
    std::ofstream(lock).flush();
    scan(1);
    ASSERT_TRUE(comm.PortOpen()) << comm.OpenProblem().Line();
    EXPECT_EQ(w.status.lines.back(), "Looking for the sensor: " + (folder / "ttyHELD").string() +
                                         " (1 of 1) — the stale lock file " + lock +
                                         " was removed: it named no running program");
    comm.ClosePort();
    ::close(watch);
}

} // namespace
} // namespace tvk9::sim
