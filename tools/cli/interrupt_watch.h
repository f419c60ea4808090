#pragma once

// Turns the requests to stop from outside (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl+C,
// Ctrl+Break and the console window closing) into an Interrupted event in the inbox, so that
// a command closes its ports, which puts their settings back, and ends with exit code 130. A
// reader of the output that goes away (a closed pipe) ends nothing either: the write fails and
// the command goes on to its end.

#include "tools/cli/inbox.h"

#include <memory>
#include <string>

namespace tvk9::cli {

class InterruptWatch {
public:
    // Construct in main() before any other thread starts: on Linux the signals are blocked for
    // every thread and read by one of the watch's own.
    explicit InterruptWatch(Inbox& inbox);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// While it lives, a stop from outside ends the program at once with exit code 130, after
// writing `out` to standard output and `err` to standard error. For a wait that holds no port
// and cannot listen to the inbox: a settings file read from a pipe or a terminal whose writer
// may never write.
class ImmediateInterrupts {
public:
    ImmediateInterrupts(std::string out, std::string err);
    ~ImmediateInterrupts();
    ImmediateInterrupts(const ImmediateInterrupts&) = delete;
    ImmediateInterrupts& operator=(const ImmediateInterrupts&) = delete;

    struct LastWords; // `out` and `err`, where the system's stop reaches them

private:
    std::unique_ptr<LastWords> words_;
};

// For the watch of each system: a stop from outside has come. Ends the program while an
// ImmediateInterrupts lives; otherwise the next one does, and this returns.
void NoteStop();

} // namespace tvk9::cli
