#include "common/wait_readable.h"

#include <cerrno>
#include <poll.h>

namespace tvk9 {

void WaitUntilReadable(int fd) {
    pollfd ready{fd, POLLIN, 0};
    while (::poll(&ready, 1, -1) < 0 && errno == EINTR) {
    }
}

} // namespace tvk9
