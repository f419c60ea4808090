#include "tools/cli/port_watch.h"

#include "common/error.h"

namespace tvk9::cli {

struct PortWatch::Impl {};

PortWatch::PortWatch(Inbox&) {
    throw Exception("Watching for ports that come and go is not available on Windows yet");
}

PortWatch::~PortWatch() = default;

std::string PortWatch::PortOf(const PortEvent&) const {
    return {};
}

int PortWatch::Follow(const std::string&) {
    return -1;
}

void PortWatch::Unfollow(int) {}

} // namespace tvk9::cli
