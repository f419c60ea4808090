#pragma once

// Tells the owner thread when ports may have come or gone, without polling: a PortEvent in the
// inbox for every entry made, renamed or removed where ports appear (on Linux the system's
// device folder and the port folder, on Windows the registry's list of COM ports) and for every
// change of a followed device node (its permissions set, another program closing it).

#include "tools/cli/inbox.h"

#include <map>
#include <memory>
#include <string>

namespace tvk9::cli {

class PortWatch {
public:
    // Starts watching. Throws tvk9::Exception when the system cannot watch.
    explicit PortWatch(Inbox& inbox);
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // The port an event names, as the port list names it; empty for a followed node.
    std::string PortOf(const PortEvent& event) const;
    // Watches one port's device node; returns the watch's number (negative: not watched).
    int Follow(const std::string& port);
    void Unfollow(int watch);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::map<int, std::string> folders_; // owner's thread only
};

} // namespace tvk9::cli
