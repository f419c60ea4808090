// Program entry: the command line, the application object, the main window, the message loop.
// Once the window has started the program ends with exit code 0.

#include "app/qt/about_window.h"
#include "app/qt/application.h"
#include "app/qt/main_window.h"
#include "app/qt/program_options.h"
#include "common/quit_signals.h"

#include <QApplication>
#include <QSocketNotifier>

#include <optional>

int main(int argc, char* argv[]) {
    // --help, --version and a missing display are answered without touching the display.
    if (const std::optional<int> done = tvk9::ExitBeforeStart(argc, argv)) {
        return *done;
    }
    tvk9::QuitSignals quitSignals; // before any thread exists
    std::optional<tvk9::StartFailureHint> hint(std::in_place);
    QApplication app(argc, argv); // takes Qt's own options out of argv
    hint.reset();
    if (const std::optional<int> done =
            tvk9::ExitForLeftoverArguments(QCoreApplication::arguments())) {
        return *done;
    }
    tvk9::SetupApplication(app);

    tvk9::AboutForms aboutForms;
    // The first window: the main window. About windows are made by Help > About; one made
    // hidden here beforehand would only cost start-up time (its fonts), as nothing shows it.
    tvk9::TFrm_Interface Frm_Interface(aboutForms);

    // Asked to stop from outside: end as closing the window does, modal boxes and all.
    std::optional<QSocketNotifier> stop;
    if (quitSignals.Descriptor() >= 0) {
        stop.emplace(quitSignals.Descriptor(), QSocketNotifier::Read);
        QObject::connect(&*stop, &QSocketNotifier::activated, &app, [&quitSignals] {
            quitSignals.Drain();
            QCoreApplication::exit(0);
        });
    }

    Frm_Interface.show();
    QApplication::exec();
    return 0;
}
