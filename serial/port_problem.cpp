#include "serial/port_problem.h"

#include "common/visible_text.h"

#include <cerrno>
#include <system_error>

namespace tvk9 {

namespace {

using Kind = PortProblem::Kind;

std::string HolderText(const PortHolder& holder) {
    std::string text = "PID " + std::to_string(holder.pid);
    if (!holder.program.empty())
        text += " (" + VisibleText(holder.program) + ")"; // any process may name itself
    return text;
}

PortProblem InUse(const std::string& port, const OpenFacts& facts) {
    if (facts.console)
        return {Kind::Console, port + " is the system's serial console", "choose another port"};
    std::string detail = port + " is in use by ";
    detail += facts.holder ? HolderText(*facts.holder) : std::string("another program");
    if (!facts.lockFile.empty())
        detail += " (lock file " + VisibleText(facts.lockFile) + ")";
    std::string remedy = "close that program and try again";
    if (!facts.lockFile.empty() && !facts.holder)
        remedy += "; if no program uses the port, remove the lock file";
    PortProblem problem{Kind::InUse, std::move(detail), std::move(remedy)};
    if (facts.holder)
        problem.holder = facts.holder->pid;
    return problem;
}

PortProblem Permission(const std::string& port, const OpenFacts& facts) {
    const std::string& group = facts.group;
    PortProblem p{Kind::Permission, port + ": permission denied", {}};
    if (group.empty() || !facts.groupMayOpen) {
        p.remedy = "ask your administrator to give the port to a group you are in (a udev rule)";
    } else if (!facts.userInGroup) {
        p.detail += " (not in group " + group + ")";
        p.remedy = "sudo usermod -aG " + group + " $USER, then log in again";
    } else if (!facts.groupInEffect) {
        p.detail += " (joined group " + group + " after logging in)";
        p.remedy = "log out and in again";
    } else {
        p.detail += " by the system's security policy";
        p.remedy = "ask your administrator";
    }
    return p;
}

} // namespace

PortProblem DiagnoseOpenFailure(const std::string& name, int error_number, const OpenFacts& facts) {
    // A port's name may be any text (a link in the port folder): it is shown, not passed on.
    const std::string port = VisibleText(name);
    switch (error_number) {
    case EACCES:
    case EPERM:
        return Permission(port, facts);
    case EBUSY:
    case EWOULDBLOCK:
        return InUse(port, facts);
    case ENOENT:
        return {Kind::Missing, port + " does not exist", "plug the sensor in and try again"};
    case ENODEV:
    case ENXIO:
    case EIO:
        return {Kind::Missing, port + " has gone away (unplugged?)",
                "plug the sensor in and try again"};
    case ENOTTY:
        return {Kind::NotSerial, port + " is not a serial port", "choose another port"};
    default:
        return {Kind::Other, port + ": " + std::generic_category().message(error_number), {}};
    }
}

} // namespace tvk9
