#include "common/quit_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace tvk9 {

struct QuitSignals::Previous {
    sigset_t mask{};
};

QuitSignals::QuitSignals() : previous_(std::make_unique<Previous>()) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &set, &previous_->mask) != 0) {
        return;
    }
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) {
        pthread_sigmask(SIG_SETMASK, &previous_->mask, nullptr);
    }
}

QuitSignals::~QuitSignals() {
    if (fd_ >= 0) {
        close(fd_);
        pthread_sigmask(SIG_SETMASK, &previous_->mask, nullptr);
    }
}

void QuitSignals::Drain() const {
    signalfd_siginfo info{};
    while (fd_ >= 0 && read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
}

} // namespace tvk9
