#include "tools/cli/interrupt_watch.h"

#include "common/quit_signals.h"
#include "tools/cli/linux_descriptor_thread.h"

#include <csignal>
#include <optional>
#include <sys/signalfd.h>
#include <unistd.h>

namespace tvk9::cli {

struct InterruptWatch::Impl {
    QuitSignals signals; // blocked from here on, readable on its descriptor
    std::optional<DescriptorThread> reader;
};

InterruptWatch::InterruptWatch(Inbox& inbox) : impl_(std::make_unique<Impl>()) {
    std::signal(SIGPIPE, SIG_IGN);
    // Without the descriptor the signals keep their default effect.
    const int signals = impl_->signals.Descriptor();
    impl_->reader.emplace(signals, [&inbox, signals] {
        signalfd_siginfo info{};
        while (::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            NoteStop();
            inbox.Post(Interrupted{static_cast<int>(info.ssi_signo)});
        }
    });
}

InterruptWatch::~InterruptWatch() = default;

} // namespace tvk9::cli
