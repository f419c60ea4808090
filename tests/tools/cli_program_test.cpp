// tvk9-cli as its users run it, against simulated sensors on pseudo-terminals in a port folder
// of the test's own: each command and each exit code.

#include "tests/tools/cli_program.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tvk9 {
namespace {

namespace fs = std::filesystem;

TEST_F(CliProgram, ReadsAndWritesBySensorsRulesWithFramesWorkedOutByHand) {
    const auto a = Sensor("A", With({0x02, 9, 25, 10, 1, 2, 3}));
    // The one sensor, found. A long window costs nothing when every port answers early.
    const Outcome read = Run({"read", "--json", "--timeout", "5000"});
    ASSERT_EQ(read.status, 0) << read;
    EXPECT_TRUE(read.Says("\"port\":\"" + Port("A") +
                          "\",\"usb\":null,\"settings\":{\"orientation\""
                          ":2,\"pitch\":9,\"roll\":20,\"yaw\":10,\"scale1\":1,\"scale2\":2,\""
                          "scale3\":3},\"reported\":{\"orientation\":2,\"pitch\":9,\"roll\":25,"))
        << read;
    EXPECT_TRUE(read.Says("\"choices\":{\"orientation\":\"vertical\",\"pitch\":\"REV\",\"roll\":"
                          "\"NOR\",\"yaw\":\"NOR\"}"))
        << read;

    // Horizontal clears bits 0 to 3 (02 -> 00); NOR of 9 is 11; REV of 25, taken as 20, is 0.
    // AA+02+00+0B+00+0A+01+02+03 = 0xC7.
    const std::vector<std::string> change{
        "write", "--port=" + Port("A"), "--orientation", "horizontal", "--pitch",
        "nor",   "--roll=rev"};
    std::vector<std::string> dry = change;
    dry.push_back("--dry-run");
    const Outcome shown = Run(dry);
    EXPECT_EQ(shown.status, 0) << shown;
    EXPECT_TRUE(shown.Says("AA 02 00 0B 00 0A 01 02 03 C7")) << shown;
    EXPECT_TRUE(shown.Says("pitch        REV (9) → NOR (11)")) << shown;
    const Outcome written = Run(change);
    EXPECT_EQ(written.status, 0) << written;
    EXPECT_TRUE(written.Says("Modify Successful!\n")) << written;
    EXPECT_TRUE(Run({"read", "-p", Port("A")}).Says("pitch        NOR (11)\n"));

    // The sensor's own scaled parameters are written back; the checksum wraps: 388 is 0x84.
    const auto b = Sensor("B", With({0x01, 20, 5, 10, 50, 60, 70}));
    const Outcome same = Run({"write", "-p", Port("B"), "--dry-run"});
    EXPECT_TRUE(same.Says("frame        AA 02 01 14 05 0A 32 3C 46 84")) << same;
}

TEST_F(CliProgram, BacksUpAndRestoresASensorAndReadsFilesAsTheWindowDoes) {
    const auto a = Sensor("A", With({0x31, 3, 17, 20, 0, 128, 255}));
    const auto b = Sensor("B");
    const std::string backup = (files_ / "a.tvk").string();
    const Outcome saved = Run({"backup", "--port", Port("A"), "-o", backup});
    ASSERT_EQ(saved.status, 0) << saved;
    const Outcome restored = Run({"restore", "-p", Port("B"), backup});
    EXPECT_EQ(restored.status, 0) << restored;
    EXPECT_TRUE(Run({"read", "--json", "-p", Port("B")})
                    .Says("\"settings\":{\"orientation\":49,\"pitch\":3,\"roll\":17,\"yaw\":20,"
                          "\"scale1\":0,\"scale2\":128,\"scale3\":255}"));

    // What a file cannot hold is refused.
    const auto c = Sensor("C", With({0x02, 10, 10, 10, 0, 0, 0}));
    const Outcome refused = Run({"backup", "-p", Port("C"), "-o", backup});
    EXPECT_EQ(refused.status, 1) << refused;
    EXPECT_TRUE(refused.Says("cannot keep")) << refused;

    // A decimal comma counts where it is the regional separator, and only there.
    const std::string comma = File("comma.tvk", {"vexnoc", "0,5", "0", "0", "0", "0", "0", "1"});
    const Outcome german =
        Run({"restore", "--dry-run", "-p", Port("B"), comma}, {{"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_TRUE(german.Says("AA 02 01 0F 0A 0A 00 00 00 D0")) << german;
    const Outcome plain = Run({"restore", "--dry-run", "-p", Port("B"), comma});
    EXPECT_EQ(plain.status, 1) << plain;
    EXPECT_EQ(plain.err, "'0,5' is not a valid floating point value.\n");
    const std::string other = File("other.tvk", {"nothing", "", "", "", "", "", "", ""});
    const Outcome foreign = Run({"write", "-p", Port("B"), "--file", other, "--json"});
    EXPECT_EQ(foreign.status, 1) << foreign;
    EXPECT_EQ(foreign.out, "{\"command\":\"write\",\"file\":\"" + other +
                               "\",\"error\":\"Data Error!\",\"exit_code\":1}\n");
}

TEST_F(CliProgram, EachFailureEndsWithItsExitCodeAndMessage) {
    EXPECT_EQ(Run({"read", "--bogus"}).status, 1);
    const Outcome none = Run({"find"});
    EXPECT_EQ(none.status, 5) << none;
    EXPECT_TRUE(none.Says("No sensor found")) << none;

    devsim::DeviceOptions silent, keeps, garbled, unplugs;
    silent.silent = true;
    keeps.ignoreWrites = true;
    garbled.badChecksum = true;
    unplugs.unplugAfter = 1;
    const auto s1 = Sensor("SILENT", silent);
    const auto s2 = Sensor("KEEPS", keeps);
    const auto s3 = Sensor("GARBLED", garbled);
    const auto s4 = Sensor("UNPLUGS", unplugs);

    const Outcome found = Run({"find", "--timeout=5000"}); // all at once, each announces itself
    EXPECT_EQ(found.status, 0) << found;
    EXPECT_EQ(found.out, Port("GARBLED") + "\n" + Port("KEEPS") + "\n" + Port("SILENT") + "\n" +
                             Port("UNPLUGS") + "\n");
    const Outcome several = Run({"read", "--timeout", "5000"});
    EXPECT_EQ(several.status, 5) << several;
    EXPECT_TRUE(several.Says("Several sensors found") && several.Says(Port("UNPLUGS"))) << several;

    const Outcome mute = Run({"read", "-p", Port("SILENT")});
    EXPECT_EQ(mute.status, 3) << mute;
    EXPECT_EQ(mute.err, "No response!\n");
    EXPECT_EQ(Run({"read", "-p", Port("GARBLED")}).status, 3);
    const Outcome kept = Run({"write", "-p", Port("KEEPS"), "--orientation", "horizontal"});
    EXPECT_EQ(kept.status, 2) << kept;
    EXPECT_TRUE(kept.Says("No Sucess!\n  orientation: written horizontal (0x00), the sensor has "
                          "vertical (0x01)"))
        << kept;
    const Outcome gone = Run({"write", "-p", Port("UNPLUGS"), "--pitch", "rev", "--json"});
    EXPECT_EQ(gone.status, 4) << gone;
    EXPECT_TRUE(gone.Says("has gone away (unplugged?)") && gone.Says("\"exit_code\":4}")) << gone;

    // A port that another program has open is left alone, and says who has it.
    const int held = ::open(Port("KEEPS").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    const std::string holder = "is in use by PID " + std::to_string(::getpid());
    const Outcome busy = Run({"read", "-p", Port("KEEPS")});
    EXPECT_EQ(busy.status, 4) << busy;
    EXPECT_TRUE(busy.Says(holder)) << busy;
    EXPECT_TRUE(Run({"ports"}).Says(Port("KEEPS") + "\n  cannot be opened: " + Port("KEEPS") + " " +
                                    holder));
    const Outcome passed = Run({"find", "--verbose", "--timeout", "5000"});
    EXPECT_EQ(passed.status, 0) << passed;
    EXPECT_TRUE(passed.out.find(Port("KEEPS")) == std::string::npos &&
                passed.Says("skipped " + Port("KEEPS") + " " + holder))
        << passed;
    ::close(held);
    const Outcome rule = Run({"udev-rule", "-p", Port("KEEPS")});
    EXPECT_EQ(rule.status, 4) << rule;
    EXPECT_TRUE(rule.Says("has no USB details")) << rule;
}

// A link in the port folder may be named with anything: ESC, CR, a line break, a C1 control
// (U+009B, CSI), a byte that is no UTF-8. None of it reaches the terminal as it is.
TEST_F(CliProgram, ShowsTheControlCharactersOfNamesFromOutsideAndActsOnNone) {
    const auto a = Sensor("A");
    const std::string odd = Port("B\x1b[2J\r\n\xc2\x9b\xff");
    const std::string shown = Port("B\\x1b[2J\\x0d\\x0a\\xc2\\x9b\\xff");
    ASSERT_EQ(::symlink(a->SlavePath().c_str(), odd.c_str()), 0);
    const auto clean = [](const std::string& text) {
        return std::none_of(text.begin(), text.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u < 0x20 && c != '\n') || u == 0x7F || u == 0x9B || u == 0xFF;
        });
    };
    const Outcome listed = Run({"ports"});
    EXPECT_TRUE(clean(listed.out) &&
                listed.Says(Port("A") + "\n  can be opened\n" + shown + "\n  can be opened\n"))
        << listed;
    EXPECT_TRUE(Run({"ports", "--json"}).Says(R"(/B\u001b[2J\r\n\u009b\ufffd")"));
    const Outcome read = Run({"read", "-p", odd});
    EXPECT_EQ(read.status, 0) << read;
    EXPECT_TRUE(clean(read.out) && read.Says("port         " + shown + "\n")) << read;

    const Outcome missing = Run({"read", "-p", odd + "X"});
    EXPECT_EQ(missing.err, shown + "X does not exist — plug the sensor in and try again\n");
    const Outcome file = Run({"restore", "-p", Port("A"), "/none\x1b[2J.tvk"});
    EXPECT_EQ(file.err, "Cannot open file \"/none\\x1b[2J.tvk\". No such file or directory.\n");
    const Outcome option = Run({"read", "--timeout", "\x1b[2J"});
    EXPECT_EQ(option.err.rfind("tvk9-cli: read: --timeout takes milliseconds from 1 to 600000, "
                               "not \"\\x1b[2J\"\n",
                               0),
              0u)
        << option;
}

// Run as root into a sticky folder that anyone may write to: a link that another user put there
// is not followed, whether it leads to a file or nowhere, nor is a planted link to a folder on
// the way. A link of our own, a FIFO and /dev/stdout are written through as before.
TEST_F(CliProgram, BackupNeverWritesThroughALinkThatAnotherUserPlanted) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to plant another user's links";
    const auto a = Sensor("A", With({0x01, 10, 10, 10, 1, 2, 3}));
    TempDir shared{"tvk9-cli-shared"};
    fs::permissions(shared.path(), fs::perms::all | fs::perms::sticky_bit);
    const fs::path secret = files_ / "secret";
    std::ofstream(secret) << "root's own";
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
    const auto plant = [&](const fs::path& target, const std::string& name) {
        const fs::path link = shared / name;
        fs::create_symlink(target, link);
        EXPECT_EQ(::lchown(link.c_str(), 12345, 12345), 0);
        return link.string();
    };
    const std::string refused = "The way to it goes through a symbolic link that another user "
                                "put in a shared folder.\n";
    for (const std::string& output :
         {plant(secret, "to-secret"), plant(files_ / "created", "dangling"),
          plant(files_.path(), "to-folder") + "/new.tvk"}) {
        const Outcome o = Run({"backup", "-p", Port("A"), "-o", output});
        EXPECT_EQ(o.status, 1) << o;
        EXPECT_EQ(o.err, "Cannot create file \"" + output + "\". " + refused);
    }
    std::ifstream kept(secret);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "root's own");
    EXPECT_FALSE(fs::exists(files_ / "created"));
    EXPECT_FALSE(fs::exists(files_ / "new.tvk"));

    const Outcome shown = Run({"backup", "-p", Port("A"), "-o", "-"});
    ASSERT_EQ(shown.status, 0) << shown;
    const fs::path mine = shared / "mine";
    fs::create_symlink(files_ / "mine.tvk", mine);
    EXPECT_EQ(Run({"backup", "-p", Port("A"), "-o", mine.string()}).status, 0);
    std::ifstream written(files_ / "mine.tvk");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), shown.out);
    const Outcome toStdout = Run({"backup", "-p", Port("A"), "-o", "/dev/stdout"});
    EXPECT_EQ(toStdout.out.rfind(shown.out, 0), 0u) << toStdout;
    const std::string fifo = (shared / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ChildProcess cli(Program, {"backup", "-p", Port("A"), "-o", fifo}, Env());
    std::ifstream piped(fifo);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(piped), {}), shown.out);
    EXPECT_EQ(cli.Wait(), 0);
}

// A lock file that names no running program (empty here, as any local user may leave one in
// /run/lock) blocks nothing; a folder at its name is left alone. Both are said.
TEST_F(CliProgram, AStaleLockFileIsRemovedAndSaidAndAFolderInItsPlaceIsPassedOver) {
    if (::access("/run/lock", W_OK) != 0)
        GTEST_SKIP() << "the lock folder is not ours to write";
    const auto a = Sensor("A");
    const std::string lock = "/run/lock/LCK..pts_" + a->SlavePath().substr(9);
    std::ofstream(lock).flush();
    const Outcome read = Run({"read", "-p", Port("A")});
    EXPECT_EQ(read.status, 0) << read;
    EXPECT_EQ(read.err, Port("A") + ": the stale lock file " + lock +
                            " was removed: it named no running program\n");
    EXPECT_FALSE(fs::exists(lock));
    fs::create_directory(lock);
    const Outcome passed = Run({"ports"});
    fs::remove(lock);
    EXPECT_TRUE(passed.Says(Port("A") + "\n  can be opened (" + lock +
                            " is a directory, no lock file: it is left alone, and the port is "
                            "used without a lock file of our own)\n"))
        << passed;
}

TEST_F(CliProgram, AnInterruptEndsTheCommandWithThePortsSettingsPutBack) {
    devsim::DeviceOptions silent;
    silent.silent = true;
    const auto sensor = Sensor("S", silent);
    const auto speed = [&](speed_t set) {
        const int fd = ::open(Port("S").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        ::tcgetattr(fd, &t);
        if (set != B0) {
            ::cfsetspeed(&t, set);
            ::tcsetattr(fd, TCSANOW, &t);
        }
        ::close(fd);
        return ::cfgetospeed(&t);
    };
    speed(B19200); // as another program left it
    const int opens = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(opens, Port("S").c_str(), IN_OPEN), 0);
    ChildProcess cli(Program, {"read", "-p", Port("S")}, Env());
    pollfd opened{opens, POLLIN, 0};
    ASSERT_EQ(::poll(&opened, 1, 10000), 1); // it has the port, at 9600 baud
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(), 130);
    EXPECT_EQ(cli.Rest(true), "Interrupted\n");
    EXPECT_EQ(speed(B0), B19200);
    ::close(opens);
}

// A settings file from a pipe whose writer never writes: the command waits for it, and a stop
// from outside ends that wait as it ends every other, with its exit code and JSON document.
TEST_F(CliProgram, AnInterruptEndsAWaitForTheSettingsFile) {
    const std::string fifo = (files_ / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const int stop : {SIGINT, SIGTERM}) {
        ChildProcess cli(Program, {"write", "--json", "--file", fifo}, Env());
        // Returns once the command has opened the FIFO to read it; nothing is written.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(writer, 0);
        cli.Signal(stop);
        ASSERT_TRUE(cli.EndsWithin(testing::ChildPatience)) << "signal " << stop;
        EXPECT_EQ(cli.Wait(), 130) << "signal " << stop;
        EXPECT_EQ(cli.Rest(false), R"({"command":"write","file":")" + fifo +
                                       R"(","error":"Interrupted","exit_code":130})" + "\n");
        EXPECT_EQ(cli.Rest(true), "Interrupted\n");
        ::close(writer);
    }
}

TEST_F(CliProgram, WatchWritesEachNewSensorOnceUntilItIsUnpluggedAndEndsOnSigterm) {
    const std::string file = File("line.tvk", {"vexnoc", "-0.1", "0.3", "1", "1.5", "0", "2", "1"});
    ChildProcess watch(Program, {"watch", "--file", file, "--json"}, Env());
    const auto Line = [&watch](const std::string& port) {
        const std::string line = watch.NextLine();
        EXPECT_TRUE(line.find("\"port\":\"" + port +
                              "\",\"serial\":null,\"result\":\"Modify "
                              "Successful!\",\"written\":{\"orientation\":1,\"pitch\":9,"
                              "\"roll\":13,\"yaw\":20,\"scale1\":15,\"scale2\":0,\"scale3\":20}") !=
                    std::string::npos)
            << line;
    };
    auto a = Sensor("A");
    Line(Port("A"));
    // A port on which nothing announces itself is asked nothing (its line would come first).
    devsim::DeviceOptions quiet;
    quiet.announce = false;
    const auto notSensor = Sensor("QUIET", quiet);
    devsim::DeviceOptions silent;
    silent.silent = true;
    const auto mute = Sensor("MUTE", silent);
    const std::string unanswered = watch.NextLine();
    EXPECT_TRUE(unanswered.find("\"port\":\"" + Port("MUTE") +
                                "\",\"serial\":null,\"result\":\"No response!\"") !=
                    std::string::npos &&
                unanswered.find("\"exit_code\":3}") != std::string::npos)
        << unanswered;
    const auto b = Sensor("B", With({0x10, 0, 0, 0, 9, 9, 9}));
    Line(Port("B"));
    a.reset(); // unplugged
    a = Sensor("A");
    Line(Port("A"));

    // A sensor whose port another program holds as it appears is reported, and written as soon
    // as that program lets the port go.
    TempDir elsewhere{"tvk9-cli-elsewhere"};
    devsim::RunnerOptions options;
    options.portFolder = elsewhere.path();
    const devsim::SimulatedDevice c(options);
    const int held = ::open(c.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::symlink(c.SlavePath().c_str(), Port("C").c_str()), 0);
    const std::string busy = watch.NextLine();
    EXPECT_TRUE(busy.find("\"result\":\"error\"") != std::string::npos &&
                busy.find("is in use by PID " + std::to_string(::getpid())) != std::string::npos)
        << busy;
    ::close(held);
    Line(Port("C"));

    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(), 130);
    EXPECT_EQ(watch.Rest(false), ""); // B was not written twice
}

} // namespace
} // namespace tvk9
