// The program itself, as a user starts it: it finds the simulated sensor, and when it is told
// to stop it ends with exit code 0 and leaves the port free for other programs.

#include "common/version.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"
#include "simulator.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

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

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome RunProgram(const QStringList& args, const QProcessEnvironment& env) {
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TVK9_BIN_DIR "/tvk9-programmer"), args);
    Outcome run;
    if (program.waitForFinished(test::Patience) && program.exitStatus() == QProcess::NormalExit) {
        run.exitCode = program.exitCode();
    }
    run.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(program.readAllStandardError());
    return run;
}

TEST(Program, AnswersHelpAndVersionWithoutADisplayAndSaysInOneLineWhenItHasNone) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(name);
    }
    const Outcome version = RunProgram({"--version"}, env);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("tvk9-programmer %1\n").arg(Version.data()));
    const Outcome help = RunProgram({"--help"}, env);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: tvk9-programmer")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--version"));

    const Outcome none = RunProgram({}, env);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err.count(u'\n'), 1) << none.err.toStdString();
    EXPECT_TRUE(none.err.contains("xvfb-run -a")) << none.err.toStdString();

    env.insert("QT_QPA_PLATFORM", "offscreen");
    const Outcome wrong = RunProgram({"--colour"}, env);
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.err.contains("colour")) << wrong.err.toStdString();
}

} // namespace
} // namespace tvk9
