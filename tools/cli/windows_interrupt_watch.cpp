#include "tools/cli/interrupt_watch.h"

namespace tvk9::cli {

// Ctrl+C keeps its default effect for now: the process ends and Windows closes its ports.
struct InterruptWatch::Impl {};

InterruptWatch::InterruptWatch(Inbox&) : impl_(std::make_unique<Impl>()) {}
InterruptWatch::~InterruptWatch() = default;

} // namespace tvk9::cli
