#pragma once

// Whether this user can open a port now, and if not why, found out without opening it where the
// system allows: an open may raise the modem lines of whatever device is behind the port.

#include "serial/port_problem.h"

#include <string>
#include <vector>

namespace tvk9::cli {

// For each port, Kind::None when nothing stands in the way; its detail then tells what was
// passed over (a stale lock file). One look at other programs' descriptors serves them all.
std::vector<PortProblem> CheckPorts(const std::vector<std::string>& names);

} // namespace tvk9::cli
