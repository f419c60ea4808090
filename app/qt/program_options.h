#pragma once

// tvk9-programmer's command line. It is read before any window system is touched, so that
// --help and --version work without a display and a missing display is said in plain words
// instead of ending in an abort.

#include <QStringList>

#include <optional>

namespace tvk9 {

// --help and --version print and give exit code 0. With no display for the window, one line
// on standard error says so and how to get one, and the exit code is 1. Nothing when the
// program is to start its window.
std::optional<int> ExitBeforeStart(int argc, char** argv);

// `remaining`: the arguments that QApplication has left after taking its own options
// (-platform, -display, -style, ...). Anything left is a mistake: a message on standard error
// and exit code 2.
std::optional<int> ExitForLeftoverArguments(const QStringList& remaining);

// A window system that cannot be reached while QApplication starts ends the program with exit
// code 1 and a hint, not with an abort and a core dump; held for the lifetime of the object.
class StartFailureHint {
public:
    StartFailureHint();
    ~StartFailureHint();
    StartFailureHint(const StartFailureHint&) = delete;
    StartFailureHint& operator=(const StartFailureHint&) = delete;
};

} // namespace tvk9
