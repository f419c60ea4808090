#include "tools/cli/port_check.h"

#include "serial/port.h"

namespace tvk9::cli {

// Windows tells whether a COM port is free only by opening it, exclusively; it is closed again
// at once.
PortProblem CheckPort(const std::string& name) {
    return OpenSystemSerialPort(name).problem;
}

} // namespace tvk9::cli
