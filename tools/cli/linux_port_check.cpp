#include "tools/cli/port_check.h"

#include "serial/linux_port.h"
#include "serial/linux_port_use.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tvk9::cli {

namespace {

PortProblem CheckPort(const std::string& name, const linux_port::HolderLook& holders) {
    const std::string path = DevicePath(name);
    // The same look as before an open; the lock file it takes goes again at once.
    linux_port::BeforeOpening look = linux_port::LookBeforeOpening(path, holders);
    if (look.problem.kind != PortProblem::Kind::None) {
        return look.problem;
    }
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
        const int error = errno;
        return DiagnoseOpenFailure(path, error,
                                   error == EACCES ? linux_port::AccessFacts(path) : OpenFacts());
    }
    return look.problem;
}

} // namespace

std::vector<PortProblem> CheckPorts(const std::vector<std::string>& names) {
    linux_port::HolderLook holders;
    holders.Refresh();
    std::vector<PortProblem> problems;
    for (const std::string& name : names) {
        problems.push_back(CheckPort(name, holders));
    }
    return problems;
}

} // namespace tvk9::cli
