// Why a port cannot be opened: every refusal becomes a cause with its remedy; what is looked at
// before opening one (the kernel's terminal list, lock files), and that nothing else is opened.

#include "serial/linux_port.h"
#include "serial/linux_port_use.h"
#include "serial/port.h"
#include "tests/serial/pty_pair.h"
#include "tests/support/temp_dir.h"

#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <pwd.h>
#include <sys/inotify.h>
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
    // Removing the lock file is advice only where no process is known to hold the port.
    OpenFacts lockedByOne = locked;
    lockedByOne.holder = PortHolder{812, "minicom"};
    EXPECT_EQ(DiagnoseOpenFailure("/dev/ttyS0", EBUSY, locked).remedy,
              "close that program and try again; if no program uses the port, remove the lock "
              "file");
    EXPECT_EQ(DiagnoseOpenFailure("/dev/ttyS0", EBUSY, lockedByOne).remedy,
              "close that program and try again");

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

// A fresh child as user nobody; what `run` returns comes back. Root sees past permissions.
std::optional<std::string> AsNobody(const std::function<std::string()>& run) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr)
        return std::nullopt;
    int out[2] = {-1, -1};
    if (::pipe(out) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 &&
            ::setuid(nobody->pw_uid) == 0) {
            const std::string text = run();
            [[maybe_unused]] const auto n = ::write(out[1], text.data(), text.size());
        }
        _exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    return text;
}

// Root opens anything: the refusal is seen by a child that has become nobody.
TEST(PortProblem, AnotherUserIsToldTheDevicesGroupThatHeIsNotIn) {
    const group* dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || ::getpwnam("nobody") == nullptr || dialout == nullptr)
        GTEST_SKIP() << "needs root, user nobody and group dialout";
    int master = -1, slave = -1;
    char name[64] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_TRUE(::chown(name, 0, dialout->gr_gid) == 0 && ::chmod(name, 0660) == 0);
    EXPECT_EQ(AsNobody([&name] { return OpenSystemSerialPort(name).problem.Line(); }),
              std::string(name) + ": permission denied (not in group dialout) "
                                  "— sudo usermod -aG dialout $USER, then log in again");
    for (int fd : {master, slave})
        ::close(fd);
}

// This machine's /proc/tty/drivers, and lines of others: a serial driver with 32 minors, USB
// adapters, a driver whose name has a blank, and lines that hold no device numbers.
constexpr char Drivers[] = "/dev/tty             /dev/tty        5       0 system:/dev/tty\n"
                           "/dev/console         /dev/console    5       1 system:console\n"
                           "/dev/ptmx            /dev/ptmx       5       2 system\n"
                           "/dev/vc/0            /dev/vc/0       4       0 system:vtmaster\n"
                           "serial               /dev/ttyS       4 64-95 serial\n"
                           "usbserial            /dev/ttyUSB   188 0-511 serial\n"
                           "Moxa Intellio        /dev/ttyMI    174 0-7 serial\n"
                           "pty_slave            /dev/pts      136 0-1048575 pty:slave\n"
                           "pty_master           /dev/ptm      128 0-1048575 pty:master\n"
                           "unknown              /dev/tty        4 1-63 console\n"
                           "garbage              /dev/x        1 3-\n"
                           "/dev/ttyX 7\n";

TEST(TerminalCheck, TakesEveryMinorOfARangeToItsLastAndSingleMinorsAlone) {
    const std::vector<std::tuple<unsigned, unsigned, bool>> cases{
        {4, 63, true},        {4, 64, true},     {4, 95, true},  {4, 96, false}, // console, ttyS
        {5, 0, true},         {5, 1, true},      {5, 2, true},   {5, 3, false},  // single minors
        {188, 511, true},     {188, 512, false}, {174, 7, true}, {174, 8, false},
        {136, 1048575, true}, {128, 0, true},    {1, 3, false},  {7, 0, false},
    };
    for (const auto& [major, minor, terminal] : cases)
        EXPECT_EQ(linux_port::DriverListHolds(Drivers, makedev(major, minor)), terminal)
            << major << ":" << minor;

    const TempDir proc("tvk9-proc");
    EXPECT_TRUE(linux_port::IsTerminal(makedev(1, 3), proc.path())); // no list: no judgement
    std::filesystem::create_directories(proc / "tty");
    std::ofstream(proc / "tty/drivers") << Drivers;
    EXPECT_TRUE(linux_port::IsTerminal(makedev(4, 95), proc.path()));
    EXPECT_FALSE(linux_port::IsTerminal(makedev(1, 3), proc.path()));
}

// A pseudo-terminal, a file, a FIFO and a copy of /dev/null's node (major 1, minor 3, which
// the list names no terminal), watched for opens. Only the terminal is opened, and the control
// case, with the node listed, shows that an open would have been seen.
TEST(OpeningAPort, OpensNoDescriptorOfANameThatLeadsToNoTerminal) {
    const TempDir root("tvk9-roots");
    linux_port::SystemRoots roots{root / "proc", root / "sys", {root / "lock"}};
    std::filesystem::create_directories(root / "proc/tty");
    std::filesystem::create_directories(root / "lock");
    std::ofstream(root / "proc/tty/drivers") << Drivers;
    std::vector<std::string> names{(root / "file").string(), (root / "fifo").string()};
    std::ofstream(names[0]) << "not a port";
    ASSERT_EQ(::mkfifo(names[1].c_str(), 0600), 0);
    const std::string node = (root / "null").string();
    if (::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        names.push_back(node); // root only
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    for (const std::string& name : names)
        ASSERT_GE(::inotify_add_watch(watch, name.c_str(), IN_OPEN), 0) << name;
    char events[512];

    for (const std::string& name : names) {
        const OpenResult opened = OpenSerialPortWith(name, roots);
        EXPECT_FALSE(opened.port) << name;
        EXPECT_EQ(opened.problem.Line(), name + " is not a serial port — choose another port");
    }
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "a non-terminal was opened";

    testing::PtyPair pty;
    ASSERT_GE(::inotify_add_watch(watch, pty.Path().c_str(), IN_OPEN), 0);
    EXPECT_TRUE(OpenSerialPortWith(pty.Path(), roots).port);
    EXPECT_GT(::read(watch, events, sizeof events), 0);
    if (names.size() == 3) {
        std::ofstream(root / "proc/tty/drivers", std::ios::app) << "mem /dev/mem 1 3 serial\n";
        EXPECT_TRUE(OpenSerialPortWith(node, roots).port);
        EXPECT_GT(::read(watch, events, sizeof events), 0);
    }
    ::close(watch);
}

// FHS: "the HDB UUCP lock file format ... the process identifier (PID) as a ten byte ASCII
// decimal number, with a trailing newline", so 1230 is "      1230\n".
TEST(LockFile, ReadsThePidAsTerminalProgramsWriteItAndNothingElse) {
    EXPECT_EQ(linux_port::LockFileText(1230), "      1230\n");
    const std::vector<std::pair<std::string, std::optional<pid_t>>> cases{
        {"      1230\n", 1230},
        {"1230", 1230},
        {"0000001230\n", 1230},
        {"\t1230 minicom\n", 1230},
        {"2147483647\n", 2147483647},
        {"", std::nullopt},
        {"\n", std::nullopt},
        {"     \n", std::nullopt},
        {"0\n", std::nullopt},
        {"-5\n", std::nullopt},
        {"+5\n", std::nullopt},
        {"12ab\n", std::nullopt},
        {"2147483648\n", std::nullopt},
        {"12345678901\n", std::nullopt},
        {std::string("\xce\x04\0\0", 4), std::nullopt}, // a binary PID of old UUCP
    };
    for (const auto& [text, pid] : cases)
        EXPECT_EQ(linux_port::LockFilePid(text), pid) << text;
}

std::string Content(const std::string& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "lock FILE" when we took the lock (with our PID in it), "held FILE PID" when another process
// holds it, then the note.
std::string Outcome(const linux_port::LockOutcome& o) {
    if (!o.heldBy.empty())
        return "held " + o.heldBy + " " + std::to_string(o.holder ? o.holder->pid : 0);
    const std::string& lock = o.lock.Path();
    const bool ours = lock.empty() || Content(lock) == linux_port::LockFileText(::getpid());
    return "lock " + lock + (ours ? "" : " (not ours)") + (o.note.empty() ? "" : " / " + o.note);
}

// Each kind of thing that can stand at a lock file's name, met by TakeUucpLock.
TEST(LockFile, OnlyALiveProcessHoldsThePortAndNoLinkOrFolderIsRemovedOrFollowed) {
    const TempDir folder("tvk9-lock");
    const std::string lock = (folder / "LCK..ttyT").string();
    const auto take = [&] {
        return Outcome(linux_port::TakeUucpLock("/dev/ttyT", {folder.path()}));
    };
    const std::string removed = "lock " + lock + " / the stale lock file " + lock +
                                " was removed: it named no running program";
    const pid_t ended = ::fork();
    if (ended == 0)
        _exit(0);
    ::waitpid(ended, nullptr, 0);
    for (const std::string& stale :
         {std::string(), std::string("garbage\n"), linux_port::LockFileText(ended)}) {
        std::ofstream(lock) << stale;
        EXPECT_EQ(take(), removed) << stale;
        EXPECT_FALSE(std::filesystem::exists(lock)); // ours went with the outcome
    }
    std::ofstream(lock) << linux_port::LockFileText(1); // init runs
    EXPECT_EQ(take(), "held " + lock + " 1");
    std::ofstream(lock) << linux_port::LockFileText(::getpid());
    EXPECT_EQ(take(), "lock "); // ours already: the exclusive open decides
    std::filesystem::remove(lock);

    const std::string withoutOurs = ", and the port is used without a lock file of our own";
    const std::string live = (folder / "live").string();
    std::ofstream(live) << linux_port::LockFileText(1);
    const std::vector<std::pair<std::string, std::function<void()>>> notLocks{
        {"a directory", [&] { std::filesystem::create_directory(lock); }},
        {"a symbolic link", [&] { std::filesystem::create_symlink(live, lock); }},
        {"a symbolic link", [&] { std::filesystem::create_symlink(folder / "missing", lock); }},
        {"no regular file", [&] { ::mkfifo(lock.c_str(), 0644); }}, // read without a writer
    };
    for (const auto& [what, make] : notLocks) {
        make();
        const auto type = std::filesystem::symlink_status(lock).type();
        EXPECT_EQ(take(), "lock  / " + lock + " is " + what + ", no lock file: it is left alone" +
                              withoutOurs);
        EXPECT_EQ(std::filesystem::symlink_status(lock).type(), type);
        std::filesystem::remove(lock);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
    EXPECT_EQ(Content(live), linux_port::LockFileText(1));

    // A file that cannot be read names no PID we can see: it goes where we may remove it, and
    // stays in a sticky folder that is not ours.
    std::ofstream(lock) << "private";
    std::filesystem::permissions(lock, std::filesystem::perms::owner_read);
    std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
    const auto taken = AsNobody(take);
    if (!taken)
        GTEST_SKIP() << "needs root and user nobody";
    EXPECT_EQ(*taken, removed);
    std::ofstream(lock) << "private";
    std::filesystem::permissions(lock, std::filesystem::perms::owner_read);
    std::filesystem::permissions(folder.path(),
                                 std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    EXPECT_EQ(*AsNobody(take),
              "lock  / the stale lock file " + lock + " is not ours to remove" + withoutOurs);
    EXPECT_EQ(Content(lock), "private");
}

} // namespace
} // namespace tvk9
