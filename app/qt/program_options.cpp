#include "app/qt/program_options.h"

#include "app/program_text.h"
#include "common/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QString>
#include <QStringView>

#include <cstdio>
#include <cstdlib>

namespace tvk9 {

namespace {

QString Name(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const char* const MoreHelp =
    "\n"
    "Qt's own options are taken as well, such as -platform NAME, -display DISPLAY, -style NAME.\n"
    "\n"
    "Environment:\n"
    "  DISPLAY, WAYLAND_DISPLAY  the display the window opens on; without one, run the program\n"
    "                            on a virtual display:  xvfb-run -a tvk9-programmer\n"
    "  TVK9_PORT_DIR             the folder of virtual serial ports (symbolic links to\n"
    "                            pseudo-terminals, as tvk9-devsim makes them); else\n"
    "                            $XDG_RUNTIME_DIR/tvk9-ports, else /tmp/tvk9-ports-UID\n"
    "  LC_ALL, LC_NUMERIC, LANG  the regional decimal separator of settings files (the full stop\n"
    "                            is read as well)\n"
    "\n"
    "Files:\n"
    "  $XDG_CONFIG_HOME/tvk9-programmer/tvk9-programmer.conf (default ~/.config/...)\n"
    "      the folder of the last settings file opened, where File > Open starts next time;\n"
    "      kept only by an installed program (one whose folder the user cannot write to).\n"
    "      Run from its build or an unpacked folder, File > Open starts in the program's folder.\n"
    "\n"
    "Exit status: 0 when the window is closed or the program is told to stop (SIGINT, SIGTERM,\n"
    "SIGHUP); 1 without a display; 2 for a wrong command line.\n";

QStringList Arguments(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    return args;
}

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.data(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Qt's windowing platforms that talk to a display server; any other (offscreen, minimal, vnc,
// eglfs, linuxfb, ...) draws without one.
bool NeedsDisplayServer(const QString& platforms) {
    if (platforms.isEmpty()) {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
        return false; // the system's own window platform is always there
#else
        return true; // Qt's default: X11 or Wayland
#endif
    }
    // A list of fallbacks, each with optional arguments: "wayland;xcb", "vnc:size=800x600".
    for (const QString& entry : platforms.split(u';', Qt::SkipEmptyParts)) {
        const QStringView name = QStringView(entry).left(entry.indexOf(u':'));
        if (!name.startsWith(u"xcb") && !name.startsWith(u"wayland")) {
            return false;
        }
    }
    return true;
}

struct Options {
    QCommandLineOption help{{"h", "help"}, "Show this help and exit."};
    QCommandLineOption version{"version", "Show the version and exit."};
    // Qt's own, looked at only to tell whether a display is needed and given.
    QCommandLineOption platform{"platform", "", "name"};
    QCommandLineOption display{"display", "", "display"};

    explicit Options(QCommandLineParser& parser) {
        platform.setFlags(QCommandLineOption::HiddenFromHelp);
        display.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.setApplicationDescription(Name(ProgramDescription));
        // Qt's options have one dash and long names: "-platform xcb".
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, version, platform, display});
    }
};

} // namespace

std::optional<int> ExitBeforeStart(int argc, char** argv) {
    QCommandLineParser parser;
    const Options options(parser);
    // Errors wait until Qt has taken its own options, which this parser does not know.
    parser.parse(Arguments(argc, argv));
    if (parser.isSet(options.help)) {
        // Without an application object the parser cannot know the program's name.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), Name(ProgramName));
        Print(stdout, text + QString::fromUtf8(MoreHelp));
        return 0;
    }
    if (parser.isSet(options.version)) {
        Print(stdout, QString::fromStdString(VersionLine(ProgramName) + "\n"));
        return 0;
    }
    const QString platform = parser.isSet(options.platform)
                                 ? parser.value(options.platform)
                                 : qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool displayGiven = parser.isSet(options.display) ||
                              !qEnvironmentVariableIsEmpty("DISPLAY") ||
                              !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (NeedsDisplayServer(platform) && !displayGiven) {
        const QString self = argc > 0 ? QString::fromLocal8Bit(argv[0]) : Name(ProgramName);
        Print(stderr, QStringLiteral("%1: no display to open the window on (neither DISPLAY nor "
                                     "WAYLAND_DISPLAY is set); run it on a virtual one with  "
                                     "xvfb-run -a %2\n")
                          .arg(Name(ProgramName), self));
        return 1;
    }
    return std::nullopt;
}

std::optional<int> ExitForLeftoverArguments(const QStringList& remaining) {
    QCommandLineParser parser;
    const Options options(parser);
    QString error;
    if (!parser.parse(remaining)) {
        error = parser.errorText();
    } else if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments()[0]);
    } else {
        return std::nullopt;
    }
    if (error.endsWith(u'.')) {
        error.chop(1);
    }
    Print(stderr, QStringLiteral("%1: %2 (see --help)\n").arg(Name(ProgramName), error));
    return 2;
}

namespace {

void HintOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        Print(stderr, qFormatLogMessage(type, context, message) + u'\n');
        return;
    }
    // Qt's own text speaks of reinstalling; the cause is a display that cannot be reached.
    Print(stderr, QStringLiteral("%1: cannot start the window: %2\n%1: is the display running? "
                                 "Without one, run the program on a virtual display with  "
                                 "xvfb-run -a %1\n")
                      .arg(Name(ProgramName),
                           message.section(u'\n', 0, 0).section(QStringLiteral(". "), 0, 0)));
    std::_Exit(1);
}

} // namespace

StartFailureHint::StartFailureHint() {
    qInstallMessageHandler(HintOnFatal);
}

StartFailureHint::~StartFailureHint() {
    qInstallMessageHandler(nullptr); // Qt's own again
}

} // namespace tvk9
