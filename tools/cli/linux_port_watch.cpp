#include "tools/cli/port_watch.h"

#include "common/error.h"
#include "config/linux_port_list.h"
#include "tools/cli/linux_descriptor_thread.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <sys/inotify.h>
#include <unistd.h>

namespace tvk9::cli {

namespace fs = std::filesystem;

namespace {

// What the inotify descriptor holds, each event posted to the inbox.
void PostEvents(int inotify, Inbox& inbox) {
    alignas(inotify_event) char buffer[8192];
    ssize_t n = 0;
    while ((n = ::read(inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < n;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof event;
            at += static_cast<ssize_t>(sizeof event + event.len);
            // A watch that went (ours removed, or its node deleted) says nothing new: a node
            // that goes is seen in its folder.
            if ((event.mask & IN_IGNORED) != 0) {
                continue;
            }
            // An overflow lost events: watch -1 makes the owner look at everything.
            const bool gone = (event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0;
            inbox.Post(PortEvent{(event.mask & IN_Q_OVERFLOW) != 0 ? -1 : event.wd,
                                 event.len > 0 ? std::string(name) : std::string(), gone});
        }
    }
}

} // namespace

struct PortWatch::Impl {
    int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::optional<DescriptorThread> reader; // goes before the descriptor is closed

    ~Impl() {
        reader.reset();
        if (inotify >= 0) {
            ::close(inotify);
        }
    }
};

PortWatch::PortWatch(Inbox& inbox) : impl_(std::make_unique<Impl>()) {
    if (impl_->inotify < 0) {
        throw Exception(std::string("Cannot watch for ports: ") + std::strerror(errno));
    }
    constexpr std::uint32_t Entries =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR;
    // Real ports appear in /dev, virtual ones in the port folder (made here if missing, so
    // that a simulator started later is seen).
    std::vector<fs::path> folders{"/dev"};
    try {
        folders.push_back(fs::absolute(EnsurePortFolder()));
    } catch (const Exception&) {
        // Not ours to use: the port list leaves it out as well.
    }
    for (const fs::path& folder : folders) {
        const int watch = ::inotify_add_watch(impl_->inotify, folder.c_str(), Entries);
        if (watch < 0) {
            throw Exception("Cannot watch \"" + folder.string() +
                            "\" for ports: " + std::strerror(errno));
        }
        folders_[watch] = folder.string();
    }
    impl_->reader.emplace(impl_->inotify,
                          [inotify = impl_->inotify, &inbox] { PostEvents(inotify, inbox); });
}

PortWatch::~PortWatch() = default;

std::string PortWatch::PortOf(const PortEvent& event) const {
    const auto folder = folders_.find(event.watch);
    if (folder == folders_.end() || event.name.empty()) {
        return {};
    }
    return (fs::path(folder->second) / event.name).string();
}

int PortWatch::Follow(const std::string& port) {
    return ::inotify_add_watch(impl_->inotify, port.c_str(),
                               IN_ATTRIB | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
}

void PortWatch::Unfollow(int watch) {
    if (watch >= 0) {
        ::inotify_rm_watch(impl_->inotify, watch);
    }
}

} // namespace tvk9::cli
