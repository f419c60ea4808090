#include "tools/cli/interrupt_watch.h"

#include "app/quit_signals.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace tvk9::cli {

struct InterruptWatch::Impl {
    QuitSignals signals; // blocked from here on, readable on its descriptor
    int stop = ::eventfd(0, EFD_CLOEXEC);
    std::thread thread;

    ~Impl() {
        if (thread.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(stop, &one, sizeof one);
            thread.join();
        }
        if (stop >= 0) {
            ::close(stop);
        }
    }
};

InterruptWatch::InterruptWatch(Inbox& inbox) : impl_(std::make_unique<Impl>()) {
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = impl_->signals.Descriptor();
    const int stop = impl_->stop;
    if (signals < 0 || stop < 0) {
        return; // the signals keep their default effect
    }
    impl_->thread = std::thread([&inbox, signals, stop] {
        pollfd fds[2] = {{stop, POLLIN, 0}, {signals, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (fds[0].revents != 0) {
                return;
            }
            signalfd_siginfo info{};
            while (::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                inbox.Post(Interrupted{static_cast<int>(info.ssi_signo)});
            }
        }
    });
}

InterruptWatch::~InterruptWatch() = default;

} // namespace tvk9::cli
