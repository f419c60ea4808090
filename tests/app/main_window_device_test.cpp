// The real window against tvk9-devsim on a pseudo-terminal, on the real clock: the scan finds
// the device, its answer shows in the radio buttons, a settings file is loaded through
// File > Open, and Start with OK writes it and ends in "Modify Successful!".

#include "app/qt/main_window.h"

#include "config/frames.h"
#include "modal_watcher.h"
#include "serial/comm.h"
#include "serial/queue_channel.h"
#include "simulator.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace tvk9 {
namespace {

using test::Patience;

QString Hex(const Frame& frame) {
    QStringList bytes;
    for (std::uint8_t b : frame) {
        bytes << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return bytes.join(u' ');
}

// A settings file made by the project's own settings tool from its plain lines.
bool WriteSettingsFile(const QString& path, const QByteArray& plainLines) {
    QProcess tool;
    tool.start(QStringLiteral(TVK9_BIN_DIR "/tvk9-settings"), {"encode", "-o", path});
    tool.write(plainLines);
    tool.closeWriteChannel();
    return tool.waitForFinished(Patience) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

TEST(MainWindowWithDevice, FindsTheDeviceReadsItAndWritesASettingsFileConfirmed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("ports"));
    const QString portDir = dir.filePath("ports");
    qputenv("TVK9_PORT_DIR", QFile::encodeName(portDir));

    // Horizontal, pitch 5 (REV), roll 15 (NOR), yaw 8 (REV).
    test::Simulator sim(portDir, {"--log", "--settings", "0,5,15,8,0,0,0"});
    const QString port = sim.Port();
    ASSERT_TRUE(port.startsWith(portDir)) << port.toStdString();

    const QString file = dir.filePath("device.tvk");
    ASSERT_TRUE(WriteSettingsFile(file, "vexnoc\n0.7\n-0.05\n1.5\n2.55\n25.6\n-0.1\n1\n"));

    QueueChannel channel;
    TComm other(channel);
    other.SetCommName(port.toStdString());
    {
        AboutForms about;
        TFrm_Interface window(about);
        test::ModalWatcher watcher([&file](QDialog& dialog) {
            test::TypeAndAccept(static_cast<QFileDialog&>(dialog), file);
        });
        window.show();

        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return window.Horizont.isChecked() && window.pitchright1.isChecked() &&
                       window.rollleft1.isChecked() && window.yawright1.isChecked();
            },
            Patience));
        EXPECT_EQ(window.ComSelect.currentText(), port) << "the scan selects the device's port";
        EXPECT_FALSE(window.Timer2.isActive()) << "the scan has stopped";
        EXPECT_TRUE(window.AutoDetect.isEnabled());
        EXPECT_TRUE(window.Comm1.PortOpen());
        EXPECT_EQ(window.Comm1.CommName(), port.toStdString());
        EXPECT_TRUE(watcher.Boxes().empty()) << "a query's answer shows no message";

        window.Save1.trigger();
        EXPECT_EQ(window.FilePath.text(), file);
        const DeviceSettings loaded{1, 17, 9, 20, 25, 0, 255};
        EXPECT_EQ(window.Controller().Settings(), loaded);
        EXPECT_TRUE(window.Vertic.isChecked());
        EXPECT_TRUE(window.pitchleft1.isChecked());
        EXPECT_TRUE(window.rollright1.isChecked());
        EXPECT_TRUE(window.yawleft1.isChecked());

        window.Start.click(); // the confirmation is answered with its default, OK
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return std::any_of(watcher.Boxes().begin(), watcher.Boxes().end(),
                                   [](const test::BoxSeen& b) { return b.title == "Information"; });
            },
            Patience));
        ASSERT_EQ(watcher.Boxes().size(), 2u);
        EXPECT_EQ(watcher.Boxes()[0].title, "WARNING");
        EXPECT_EQ(watcher.Boxes()[1].text, "Modify Successful!");
        EXPECT_EQ(window.Controller().Reported(), loaded);

        other.OpenPort();
        EXPECT_FALSE(other.PortOpen()) << "the window holds the port";
    } // the window goes, and with it the open port

    // Another program can take the port now.
    other.OpenPort();
    EXPECT_TRUE(other.PortOpen()) << other.PortOpenError();
    other.ClosePort();

    const QString log = sim.Stop();
    const QString written = "rx " + Hex(BuildSettingsFrame({1, 17, 9, 20, 25, 0, 255}));
    EXPECT_TRUE(log.contains(written)) << written.toStdString() << "\nnot in\n"
                                       << log.toStdString();
    qunsetenv("TVK9_PORT_DIR");
}

TEST(MainWindowStatus, TellsTheScanAPermissionFailureTheSensorsAnswersAndItsLoss) {
    QTemporaryDir dir;
    qputenv("TVK9_PORT_DIR", QFile::encodeName(dir.path()));
    test::Simulator sim(dir.path(), {});
    // Tried first (being last), refused as for a user outside the device's group.
    const QString locked = dir.filePath("ttyLocked");
    ASSERT_TRUE(QFile::link("/dev/null", locked));
    OpenFacts outside;
    outside.group = "dialout";
    outside.groupMayOpen = true;
    AboutForms about;
    TFrm_Interface window(about, [&](const std::string& name) {
        return name == locked.toStdString()
                   ? OpenResult{nullptr, DiagnoseOpenFailure(name, EACCES, outside)}
                   : OpenSystemSerialPort(name);
    });
    const QRect client = window.centralWidget()->geometry();
    test::ModalWatcher watcher;
    window.show();
    const auto shows = [&](const QString& start) {
        return QTest::qWaitFor([&] { return window.StatusLine1.text().startsWith(start); },
                               test::Patience);
    };
    EXPECT_TRUE(shows(locked + ": permission denied (not in group dialout) — sudo usermod -aG "
                               "dialout $USER, then log in again"));
    EXPECT_TRUE(shows("Looking for the sensor: " + sim.Port() + " (2 of "));
    EXPECT_TRUE(shows("Settings read. No settings file: Start would send 0 for the three scaled "
                      "parameters"));
    window.Start.click(); // confirmed with OK
    EXPECT_TRUE(shows("Settings written to the sensor on " + sim.Port() + " and checked"));
    sim.Stop();
    EXPECT_TRUE(shows("The sensor's port went away (unplugged?) — plug it in and press "
                      "AutoDetect"));
    EXPECT_EQ(window.StatusLine1.toolTip(), window.StatusLine1.text());
    EXPECT_EQ(window.width(), 513);
    EXPECT_EQ(window.centralWidget()->geometry(), client);
    EXPECT_EQ(window.StatusBar1.geometry().top(), client.bottom() + 1);
    qunsetenv("TVK9_PORT_DIR");
}

} // namespace
} // namespace tvk9
