#include "tools/cli/linux_descriptor_thread.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace tvk9::cli {

DescriptorThread::DescriptorThread(int fd, std::function<void()> readable) {
    if (fd < 0) {
        return;
    }
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    if (stop_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    thread_ = std::thread([fd, stop = stop_, readable = std::move(readable)] {
        pollfd fds[2] = {{stop, POLLIN, 0}, {fd, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
                return;
            }
            if (fds[0].revents != 0) {
                return;
            }
            if (fds[1].revents != 0) {
                readable();
            }
        }
    });
}

DescriptorThread::~DescriptorThread() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        // Cannot fail short of a full counter, which one write never reaches.
        [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
        thread_.join();
    }
    if (stop_ >= 0) {
        ::close(stop_);
    }
}

} // namespace tvk9::cli
