// Loaded into a Qt Widgets program with LD_PRELOAD by startup_bench, so that the program is
// measured as it ships: notes the moment its first window has been painted and put on
// screen, writes it (CLOCK_MONOTONIC, in seconds) to the file that TVK9_FIRST_PAINT_FILE
// names, lets the program run on for TVK9_SETTLE_MS milliseconds (default 1000) and ends it.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

void Report() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    if (const char* path = std::getenv("TVK9_FIRST_PAINT_FILE")) {
        if (std::FILE* f = std::fopen(path, "w")) {
            std::fprintf(f, "%lld.%09ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec);
            std::fclose(f);
        }
    }
    const char* settle = std::getenv("TVK9_SETTLE_MS");
    QTimer::singleShot(settle != nullptr ? std::atoi(settle) : 1000, [] { std::_Exit(0); });
}

class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            // The window's widgets are painted and the result flushed to the screen in one
            // pass; a zero timer fires once that pass is over.
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, Report);
        }
        return false;
    }
};

void Install() {
    qApp->installEventFilter(new FirstPaint); // lives as long as the program
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(Install)
