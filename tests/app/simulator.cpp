#include "simulator.h"

#include <QProcessEnvironment>

namespace tvk9::test {

Simulator::Simulator(const QString& portFolder, const QStringList& options) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TVK9_PORT_DIR", portFolder);
    process_.setProcessEnvironment(env);
    process_.start(QStringLiteral(TVK9_BIN_DIR "/tvk9-devsim"), options);
    if (process_.waitForReadyRead(Patience)) {
        port_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
}

Simulator::~Simulator() {
    Stop();
}

const QString& Simulator::Log() {
    log_ += QString::fromLocal8Bit(process_.readAllStandardError());
    return log_;
}

QString Simulator::Stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        process_.waitForFinished(Patience);
    }
    return Log();
}

} // namespace tvk9::test
