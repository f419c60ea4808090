#pragma once

// Tells the owner thread when ports may have come or gone, without polling: a PortEvent in the
// inbox for every entry made, renamed or removed where ports appear (on Linux the system's
// device folder and the port folder, on Windows the registry's list of COM ports), and for
// every change that may let a followed port be opened (its device node's permissions set or
// another program closing it, its lock file gone, the process in its way ended).

#include "tools/cli/inbox.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tvk9::cli {

class PortWatch {
public:
    // Starts watching. Throws tvk9::Exception when the system cannot watch.
    explicit PortWatch(Inbox& inbox);
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // The port an event of a folder names, as the port list names it; empty for an event that
    // names none (a followed port's change, a hidden file of the port folder) and for one
    // that names every port at once (watch -1: look at them all).
    std::string PortOf(const PortEvent& event) const;
    // The followed ports that an event concerns.
    std::vector<std::string> FollowersOf(const PortEvent& event) const;
    // Follows what may let `port`, which cannot be opened now, be opened later; `holder` is the
    // process in its way, if known. Nothing is followed where the system does not tell.
    void Follow(const std::string& port, std::optional<pid_t> holder);
    void Unfollow(const std::string& port);
    // What tells one plug of a port from the next under the same name (its device node and
    // link); empty where the system keeps no such thing.
    static std::string PlugOf(const std::string& port);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_; // owner's thread only, but for what its own thread holds
};

} // namespace tvk9::cli
