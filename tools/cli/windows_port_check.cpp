#include "tools/cli/port_check.h"

#include "serial/port.h"

namespace tvk9::cli {

// Windows tells whether a COM port is free only by opening it, exclusively; it is closed again
// at once.
std::vector<PortProblem> CheckPorts(const std::vector<std::string>& names) {
    std::vector<PortProblem> problems;
    for (const std::string& name : names) {
        problems.push_back(OpenSystemSerialPort(name).problem);
    }
    return problems;
}

} // namespace tvk9::cli
