#include "tools/cli/interrupt_watch.h"

#include <atomic>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tvk9::cli {

namespace {

// The console calls its handlers on a thread of its own and passes them nothing but the
// event, so the inbox of the one watch is found here while that watch lives.
std::atomic<Inbox*> watching{nullptr};

BOOL WINAPI OnConsoleControl(DWORD event) {
    Inbox* inbox = watching.load();
    if (inbox == nullptr) {
        return FALSE; // the next handler, in the end the system's: the process ends
    }
    NoteStop();
    inbox->Post(Interrupted{static_cast<int>(event)});
    switch (event) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Windows ends the process as soon as this returns. The command closes its ports and
        // returns from main(), which ends this thread with the process; if it takes too
        // long, Windows ends it after its own limit (5 s for a closed console).
        ::Sleep(INFINITE);
        return TRUE;
    default: // Ctrl+C, Ctrl+Break
        return TRUE;
    }
}

} // namespace

struct InterruptWatch::Impl {};

InterruptWatch::InterruptWatch(Inbox& inbox) {
    watching.store(&inbox);
    // Without the handler Ctrl+C keeps its default effect: the process ends and Windows
    // closes its ports, without putting their settings back.
    if (!::SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
        watching.store(nullptr);
    }
}

InterruptWatch::~InterruptWatch() {
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    watching.store(nullptr);
}

} // namespace tvk9::cli
