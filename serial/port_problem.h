#pragma once

// Why a port could not be opened, in words a user can act on. PortOpenError keeps its fixed
// texts; this is what stands beside it, for the window's status bar and for command-line tools.

#include <optional>
#include <string>
#include <sys/types.h>

namespace tvk9 {

struct PortProblem {
    enum class Kind {
        None,       // the port opened
        Permission, // the user may not open the device
        InUse,      // another program has it (open, locked or exclusive)
        Console,    // it is the system's serial console
        Missing,    // no such device, or it went away
        NotSerial,  // something that is no serial port
        Other,      // anything else: the system's own message
    };
    Kind kind = Kind::None;
    std::string detail; // what is wrong, naming the port; with None, what was passed over
    std::string remedy; // one line saying what to do; empty when there is nothing to suggest
    std::optional<pid_t> holder = std::nullopt; // InUse: the process in the way, if known

    // "detail — remedy", or the detail alone.
    std::string Line() const { return remedy.empty() ? detail : detail + " — " + remedy; }
};

// A process that has a port open or holds its lock file.
struct PortHolder {
    pid_t pid = 0;
    std::string program; // empty when the system does not show it
};

// What was found out about a port that could not be opened.
struct OpenFacts {
    std::optional<PortHolder> holder;
    std::string lockFile; // a live lock file that holds the port
    bool console = false;
    // Who may open the device, for a refused permission.
    std::string group;          // the device's group; empty when unknown
    bool groupMayOpen = false;  // the group has read and write access
    bool userInGroup = false;   // the group database lists the user in it
    bool groupInEffect = false; // this process runs with the group
};

// The one place where a system error on opening becomes a cause: `error_number` is the errno
// of the refusal (EBUSY for a port found in use before opening it), `port` the name to show.
PortProblem DiagnoseOpenFailure(const std::string& port, int error_number,
                                const OpenFacts& facts = {});

} // namespace tvk9
