// CPU time of the whole programmer (all threads) while it sits still: connected to the
// simulated sensor with nothing to do, and scanning an empty port folder. Prints milliseconds
// of CPU per second of wall time for each. While connected, the only periodic work left is
// the text cursor blinking in the focused path box (twice a second). Then the time a scan step
// keeps the user-interface thread on a crowded machine, beside the window before.

#include "app/qt/about_window.h"
#include "app/qt/application.h"
#include "app/qt/main_window.h"
#include "bench/descriptor_crowd.h"
#include "bench/side_by_side.h"
#include "serial/port.h"
#include "tests/serial/pty_pair.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// The user-interface thread's time in one scan step (Timer2's handler): from the timer's event
// reaching the timer to the end of its handlers, as CPU time and as time on the clock.
class StepTimes : public QObject {
public:
    explicit StepTimes(QTimer& timer) {
        timer.installEventFilter(this);
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            cpu.push_back(ThreadCpu() - cpuAt_);
            wall.push_back(std::chrono::duration<double>(Clock::now() - wallAt_).count());
        });
    }
    std::vector<double> cpu, wall; // seconds, one per step

private:
    using Clock = std::chrono::steady_clock;
    static double ThreadCpu() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer) {
            cpuAt_ = ThreadCpu();
            wallAt_ = Clock::now();
        }
        return false;
    }
    double cpuAt_ = 0;
    Clock::time_point wallAt_{};
};

// The scanning window over 64 ports (pseudo-terminals on which no sensor answers) while 50
// sleeping processes hold 100,000 descriptors: the time each scan step keeps the
// user-interface thread, with the opener the window has and with one that looks at every
// descriptor before every open, as the window did before. The first step is left out: a
// window's first look may still be under way on its own thread then.
void ScanStepsOnACrowdedMachine(const QString& folder) {
    namespace bench = tvk9::bench;
    const tvk9::bench::DescriptorCrowd crowd(50, 2000);
    std::vector<std::unique_ptr<tvk9::testing::ForeignPty>> ports; // nobody has them open
    for (int i = 0; i < 64; ++i) {
        ports.push_back(std::make_unique<tvk9::testing::ForeignPty>());
        QFile::link(QString::fromStdString(ports.back()->Slave()),
                    folder + "/P" + QString::number(i));
    }
    constexpr int Steps = 5;
    const auto scan = [](tvk9::SerialPortOpener opener) {
        tvk9::AboutForms about;
        tvk9::TFrm_Interface window(about, std::move(opener));
        StepTimes times(window.Timer2);
        window.show();
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(700 * (Steps + 1.5)), &loop, &QEventLoop::quit);
        loop.exec();
        std::vector<double> cpu(times.cpu.begin() + 1, times.cpu.end());
        std::vector<double> wall(times.wall.begin() + 1, times.wall.end());
        return std::make_pair(cpu, wall);
    };
    std::vector<double> cpuNow, cpuBefore, wallNow, wallBefore;
    for (int round = 0; round < bench::Rounds(3); ++round) {
        auto [cpu, wall] = scan(tvk9::SystemPorts().Opener());
        auto [cpu0, wall0] = scan(tvk9::OpenSystemSerialPort);
        cpuNow.push_back(bench::Median(cpu));
        wallNow.push_back(bench::Median(wall));
        cpuBefore.push_back(bench::Median(cpu0));
        wallBefore.push_back(bench::Median(wall0));
    }
    std::printf("crowded scan: %zu descriptors held by 50 processes, 64 ports\n",
                crowd.Descriptors());
    bench::PrintFigureAtMost("user-interface thread busy per scan step (CPU), 64 ports, 100k "
                             "descriptors in 50 sleeping processes",
                             bench::Time(), cpuNow, "every descriptor looked at (before)",
                             cpuBefore, 0.002);
    bench::PrintFigure("user-interface thread held per scan step (clock, with the two 1 ms "
                       "sleeps of a step), same",
                       bench::Time(), wallNow, "before", wallBefore, 0);
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
        // The scan wakes every 0.7 s and tries the next port, each first looked for among what
        // other processes hold; the figure names how many ports it met. Measured from the first
        // scan step on: before it, the look's first walk (on a thread of its own) runs once.
        tvk9::AboutForms about;
        tvk9::TFrm_Interface window(about);
        StepTimes times(window.Timer2);
        window.show();
        CpuPerSecond(1000);
        const std::size_t before = times.cpu.size();
        const double scanning = CpuPerSecond(Seconds * 1000);
        const int ports = window.ComSelect.count();
        std::printf("scanning, %d port(s):   %.3f ms CPU per second\n", ports, scanning);
        std::printf(
            "scanning: user-interface thread %.3f ms CPU per scan step (median)\n",
            1000 * tvk9::bench::Median(std::vector<double>(
                       times.cpu.begin() + static_cast<std::ptrdiff_t>(before), times.cpu.end())));
        tvk9::bench::PrintFigure("idle CPU, window scanning an empty port folder (and " +
                                     std::to_string(ports) + " port(s) of this machine)",
                                 PerSecond(scanning), reference,
                                 std::string("≤ 0.5 ms CPU per s: ") +
                                     (scanning <= 0.5 ? "met" : "NOT MET"));
    }
    ScanStepsOnACrowdedMachine(dir.path());
    return 0;
}
