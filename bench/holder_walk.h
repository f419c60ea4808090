#pragma once

// The look for another program holding a port as it was before it kept what it had seen: every
// descriptor of every process in sight, at every look. Kept here as the figure before.

#include <sys/types.h>

namespace tvk9::bench {

bool AnyOtherProcessHolds(dev_t device);

} // namespace tvk9::bench
