// CPU time of the whole programmer (all threads) while it sits still: connected to the
// simulated sensor with nothing to do, and scanning an empty port folder. Prints milliseconds
// of CPU per second of wall time for each. While connected, the only periodic work left is
// the text cursor blinking in the focused path box (twice a second).

#include "app/qt/about_window.h"
#include "app/qt/application.h"
#include "app/qt/main_window.h"
#include "bench/side_by_side.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <string>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop for `ms` and returns the CPU used meanwhile, per second.
double CpuPerSecond(int ms) {
    const double before = CpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (CpuSeconds() - before) * 1000.0 / (ms / 1000.0);
}

std::string PerSecond(double ms) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f ms CPU per s", ms);
    return text;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    tvk9::SetupApplication(app);
    constexpr int Seconds = 5;

    const double alone = CpuPerSecond(Seconds * 1000);
    std::printf("event loop alone:       %.3f ms CPU per second\n", alone);
    const std::string reference = "Qt event loop alone " + PerSecond(alone);

    QTemporaryDir dir;
    qputenv("TVK9_PORT_DIR", QFile::encodeName(dir.path()));
    {
        QProcess sim;
        sim.start(QStringLiteral(TVK9_BIN_DIR "/tvk9-devsim"), QStringList{});
        if (!sim.waitForReadyRead(10000)) {
            std::fprintf(stderr, "tvk9-devsim did not start\n");
            return 1;
        }
        tvk9::AboutForms about;
        tvk9::TFrm_Interface window(about);
        window.show();
        if (!QTest::qWaitFor([&] { return window.Vertic.isChecked() && !window.Timer1.isActive(); },
                             30000)) {
            std::fprintf(stderr, "the simulated sensor was not found\n");
            return 1;
        }
        const double connected = CpuPerSecond(Seconds * 1000);
        std::printf("connected, idle:        %.3f ms CPU per second\n", connected);
        tvk9::bench::PrintFigure("idle CPU, window connected to the simulated sensor",
                                 PerSecond(connected), reference, "≈ 0 (cursor blink only)");
        sim.terminate();
        sim.waitForFinished();
    }
    {
        // Only the folder's (now empty) ports; real serial devices of this machine may add to it.
        // The scan wakes every 0.7 s and tries the next port, each first looked for in every
        // process's descriptors; the figure names how many ports it met.
        tvk9::AboutForms about;
        tvk9::TFrm_Interface window(about);
        window.show();
        const double scanning = CpuPerSecond(Seconds * 1000);
        const int ports = window.ComSelect.count();
        std::printf("scanning, %d port(s):   %.3f ms CPU per second\n", ports, scanning);
        tvk9::bench::PrintFigure("idle CPU, window scanning an empty port folder (and " +
                                     std::to_string(ports) + " port(s) of this machine)",
                                 PerSecond(scanning), reference, "≈ 0 (one scan step per 0.7 s)");
    }
    return 0;
}
