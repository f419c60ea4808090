// The program itself, as a user starts it: it finds the simulated sensor, and when it is told
// to stop it ends with exit code 0 and leaves the port free for other programs.

#include "common/version.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"
#include "simulator.h"
#include "tests/serial/pty_pair.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/inotify.h>

namespace tvk9 {
namespace {

TEST(Program, EndsWithExitCodeZeroAndClosesItsPortWhenToldToStop) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::Simulator sim(dir.path(), {"--log"});
    ASSERT_FALSE(sim.Port().isEmpty());

    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        const qsizetype logged = sim.Log().size();
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TVK9_PORT_DIR", dir.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TVK9_BIN_DIR "/tvk9-programmer"), QStringList{});
        ASSERT_TRUE(program.waitForStarted(test::Patience));

        // Connected once the sensor has answered the program's query.
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Log().indexOf("(report)", logged) >= 0; },
                                    test::Patience))
            << sim.Log().toStdString();
        QueueChannel channel;
        TComm other(channel);
        other.SetCommName(sim.Port().toStdString());
        other.OpenPort();
        EXPECT_FALSE(other.PortOpen()) << "the program holds the port";

        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(test::Patience));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);

        other.OpenPort();
        EXPECT_TRUE(other.PortOpen()) << other.PortOpenError();
        other.ClosePort();
    }
}

TEST(Program, AnswersHelpAndVersionWithoutADisplayAndSaysInOneLineWhenItHasNone) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(name);
    }
    QProcess program;
    const auto run = [&](const QStringList& args) {
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TVK9_BIN_DIR "/tvk9-programmer"), args);
        EXPECT_TRUE(program.waitForFinished(test::Patience));
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    };
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(program.readAllStandardOutput().toStdString(),
              "tvk9-programmer " + std::string(Version) + "\n");
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_TRUE(program.readAllStandardOutput().startsWith("Usage: tvk9-programmer"));

    EXPECT_EQ(run({}), 1);
    const QByteArray err = program.readAllStandardError();
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("xvfb-run -a")) << err.toStdString();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    EXPECT_EQ(run({"--colour"}), 2);
    EXPECT_TRUE(program.readAllStandardError().contains("colour"));
}

TEST(Program, PutsBackTheSettingsOfAPortItHeldWhenToldToStop) {
    QTemporaryDir dir;
    const testing::ForeignPty pty;
    ASSERT_TRUE(QFile::link(QString::fromStdString(pty.Slave()), dir.filePath("ttyTEST")));
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, pty.Slave().c_str(), IN_OPEN), 0);
    qputenv("TVK9_PORT_DIR", QFile::encodeName(dir.path()));
    QProcess program;
    program.start(QStringLiteral(TVK9_BIN_DIR "/tvk9-programmer"), QStringList{});
    qunsetenv("TVK9_PORT_DIR");
    // A scan step has opened the port, and set it up before the signal is taken.
    pollfd opened{watch, POLLIN, 0};
    ASSERT_EQ(::poll(&opened, 1, test::Patience), 1);
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(test::Patience));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(pty.LineAsLeft());
    ::close(watch);
}

} // namespace
} // namespace tvk9
