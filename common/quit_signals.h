#pragma once

// Lets a program end in its own way when the terminal or the session asks it to stop (SIGINT,
// SIGTERM, SIGHUP): the window as closing it does, a command once its ports are put back. On
// Windows the session's end reaches the windows themselves, so nothing is redirected there.

#include <memory>

namespace tvk9 {

class QuitSignals {
public:
    // Construct in main() before any other thread starts: the signals are blocked for every
    // thread and arrive on Descriptor() instead.
    QuitSignals();
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // Readable when a signal has come; -1 when the signals could not be redirected (they then
    // keep their default effect).
    int Descriptor() const { return fd_; }
    // Takes the signals that have come, so that the descriptor is quiet again.
    void Drain() const;

private:
    struct Previous; // the signal mask to put back
    std::unique_ptr<Previous> previous_;
    int fd_ = -1;
};

} // namespace tvk9
