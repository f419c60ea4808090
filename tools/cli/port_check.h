#pragma once

// Whether this user can open a port now, and if not why, found out without opening it where the
// system allows: an open may raise the modem lines of whatever device is behind the port.

#include "serial/port_problem.h"

#include <string>

namespace tvk9::cli {

// Kind::None when nothing stands in the way; its detail then tells what was passed over (a
// stale lock file).
PortProblem CheckPort(const std::string& name);

} // namespace tvk9::cli
