// Why a port cannot be opened: every refusal becomes a cause with its remedy.

#include "serial/linux_port_use.h"
#include "serial/port.h"
#include "tests/support/temp_dir.h"

#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <tuple>

namespace tvk9 {
namespace {

using Kind = PortProblem::Kind;

TEST(PortProblem, EachRefusalMapsToItsCauseAndRemedy) {
    OpenFacts held, locked, console, outside, joined, member;
    held.holder = PortHolder{812, "agetty"};
    locked.lockFile = "/run/lock/LCK..ttyS0";
    console.console = true;
    outside.group = joined.group = member.group = "dialout";
    outside.groupMayOpen = joined.groupMayOpen = member.groupMayOpen = true;
    joined.userInGroup = member.userInGroup = member.groupInEffect = true;
    const std::vector<std::tuple<int, OpenFacts, Kind, std::string>> cases{
        {EBUSY, held, Kind::InUse, "/dev/ttyS0 is in use by PID 812 (agetty) — close that"},
        {EBUSY, locked, Kind::InUse, "/dev/ttyS0 is in use by another program (lock file /"},
        {EBUSY, console, Kind::Console, "/dev/ttyS0 is the system's serial console — choose"},
        {ENOENT, {}, Kind::Missing, "/dev/ttyS0 does not exist — plug the sensor in"},
        {EIO, {}, Kind::Missing, "/dev/ttyS0 has gone away (unplugged?) — plug"},
        {ENOTTY, {}, Kind::NotSerial, "/dev/ttyS0 is not a serial port — choose another port"},
        {EMFILE, {}, Kind::Other, "/dev/ttyS0: Too many open files"},
        {EACCES, outside, Kind::Permission,
         "/dev/ttyS0: permission denied (not in group "
         "dialout) — sudo usermod -aG dialout $USER, then log "
         "in again"},
        {EACCES, joined, Kind::Permission,
         "/dev/ttyS0: permission denied (joined group dialout "
         "after logging in) — log out and in again"},
        {EPERM, member, Kind::Permission, "/dev/ttyS0: permission denied by the system's"},
        {EACCES, {}, Kind::Permission, "/dev/ttyS0: permission denied — ask your administrator"},
    };
    for (const auto& [error, facts, kind, line] : cases) {
        const PortProblem p = DiagnoseOpenFailure("/dev/ttyS0", error, facts);
        EXPECT_EQ(p.kind, kind) << line;
        EXPECT_EQ(p.Line().rfind(line, 0), 0u) << p.Line();
    }

    // Active consoles, from the kernel's lists alone.
    const TempDir root("tvk9-proc");
    std::filesystem::create_directories(root / "class/tty/console");
    std::ofstream(root / "consoles") << "ttyS1  -W- (EC  p a)  4:65\nttyS2  -W- (C  p a)  4:66\n";
    std::ofstream(root / "class/tty/console/active") << "tty0 ttyUSB0\n";
    const auto isConsole = [&](const char* name, dev_t device) {
        return linux_port::IsActiveConsole(name, device, root.path(), root.path());
    };
    EXPECT_TRUE(isConsole("ttyS1", makedev(4, 65)));
    EXPECT_FALSE(isConsole("ttyS2", makedev(4, 66))); // registered, not enabled
    EXPECT_TRUE(isConsole("ttyUSB0", makedev(188, 0)));
}

// Root opens anything: the refusal is seen by a child that has become nobody.
TEST(PortProblem, AnotherUserIsToldTheDevicesGroupThatHeIsNotIn) {
    const passwd* nobody = ::getpwnam("nobody");
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || nobody == nullptr || dialout == nullptr)
        GTEST_SKIP() << "needs root, user nobody and group dialout";
    int master = -1, slave = -1, out[2] = {-1, -1};
    char name[64] = {}, text[512] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_TRUE(::chown(name, 0, dialout->gr_gid) == 0 && ::chmod(name, 0660) == 0);
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 &&
            ::setuid(nobody->pw_uid) == 0) {
            const std::string line = OpenSystemSerialPort(name).problem.Line();
            [[maybe_unused]] const auto n = ::write(out[1], line.data(), line.size());
        }
        _exit(0);
    }
    ::close(out[1]);
    EXPECT_GT(::read(out[0], text, sizeof text - 1), 0);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(std::string(text), std::string(name) + ": permission denied (not in group dialout) "
                                                     "— sudo usermod -aG dialout $USER, then "
                                                     "log in again");
    for (int fd : {master, slave, out[0]})
        ::close(fd);
}

} // namespace
} // namespace tvk9
