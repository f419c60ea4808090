#pragma once

// tvk9-devsim as a child process of a test, with its port in a folder of the test's own.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace tvk9::test {

// An upper bound for a run that is stuck, never a speed limit.
inline constexpr int Patience = 30000; // ms

class Simulator {
public:
    // Starts the simulator on a port in `portFolder` and waits for the port's path.
    Simulator(const QString& portFolder, const QStringList& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    const QString& Port() const { return port_; }
    // Everything logged on standard error so far.
    const QString& Log();
    // Ends the simulator (SIGTERM) and returns the whole log.
    QString Stop();

private:
    QProcess process_;
    QString port_;
    QString log_;
};

} // namespace tvk9::test
