#include "common/quit_signals.h"

namespace tvk9 {

// A program of the Windows subsystem has no terminal to stop it; logging off or shutting down
// closes its windows, which ends it as the user closing the main window does.
struct QuitSignals::Previous {};

QuitSignals::QuitSignals() = default;
QuitSignals::~QuitSignals() = default;
void QuitSignals::Drain() const {}

} // namespace tvk9
