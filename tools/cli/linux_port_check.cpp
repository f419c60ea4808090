#include "tools/cli/port_check.h"

#include "serial/linux_port.h"
#include "serial/linux_port_use.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tvk9::cli {

PortProblem CheckPort(const std::string& name) {
    const std::string path = DevicePath(name);
    // The same look as before an open; the lock file it takes goes again at once.
    linux_port::BeforeOpening look = linux_port::LookBeforeOpening(path);
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

} // namespace tvk9::cli
