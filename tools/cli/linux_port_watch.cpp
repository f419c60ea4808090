#include "tools/cli/port_watch.h"

#include "common/error.h"
#include "config/linux_port_list.h"
#include "serial/linux_port_use.h"
#include "tools/cli/linux_descriptor_thread.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// An ended process's event carries -2, -3, ...: never an inotify watch, nor -1.
int ProcessWatch(std::uint64_t number) {
    return -1 - static_cast<int>(number);
}

} // namespace

struct PortWatch::Impl {
    int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The inotify descriptor (data 0) and one descriptor of each process in a port's way (data:
    // its number), each of those reporting once, when the process ends.
    int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::optional<DescriptorThread> reader; // goes before the descriptors are closed

    // The owner's.
    std::map<int, std::string> folders; // watches of the folders where ports appear
    std::string portFolder;             // whose hidden names are no ports
    std::set<int> lockFolders;          // watches of the folders of UUCP lock files
    struct Followed {
        int node = -1;             // the watch of its device node
        std::string lock;          // its lock file's name
        std::uint64_t process = 0; // the process in its way, by number; 0 for none
        int pidfd = -1;
    };
    std::map<std::string, Followed> followed; // by port
    std::uint64_t processes = 0;

    ~Impl() {
        reader.reset();
        for (const auto& [port, f] : followed) {
            if (f.pidfd >= 0) {
                ::close(f.pidfd);
            }
        }
        for (const int fd : {epoll, inotify}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    void WatchLockFolders() {
        if (!lockFolders.empty()) {
            return;
        }
        for (const char* folder : {"/run/lock", "/var/lock"}) {
            // The same folder under two names is one watch.
            const int watch = ::inotify_add_watch(inotify, folder, IN_DELETE | IN_MOVED_FROM);
            if (watch >= 0) {
                lockFolders.insert(watch);
            }
        }
    }
};

PortWatch::PortWatch(Inbox& inbox) : impl_(std::make_unique<Impl>()) {
    Impl& w = *impl_;
    epoll_event readable{};
    readable.events = EPOLLIN;
    if (w.inotify < 0 || w.epoll < 0 ||
        ::epoll_ctl(w.epoll, EPOLL_CTL_ADD, w.inotify, &readable) != 0) {
        throw Exception(std::string("Cannot watch for ports: ") + std::strerror(errno));
    }
    constexpr std::uint32_t Entries =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR;
    // Real ports appear in /dev, virtual ones in the port folder (made here if missing, so
    // that a simulator started later is seen).
    std::vector<fs::path> folders{"/dev"};
    try {
        w.portFolder = fs::absolute(EnsurePortFolder()).string();
        folders.push_back(w.portFolder);
    } catch (const Exception&) {
        // Not ours to use: the port list leaves it out as well.
    }
    for (const fs::path& folder : folders) {
        const int watch = ::inotify_add_watch(w.inotify, folder.c_str(), Entries);
        if (watch < 0) {
            throw Exception("Cannot watch \"" + folder.string() +
                            "\" for ports: " + std::strerror(errno));
        }
        w.folders[watch] = folder.string();
    }
    w.reader.emplace(w.epoll, [epoll = w.epoll, inotify = w.inotify, &inbox] {
        epoll_event ready[16];
        const int n = ::epoll_wait(epoll, ready, 16, 0);
        for (int i = 0; i < n; ++i) {
            if (ready[i].data.u64 == 0) {
                PostEvents(inotify, inbox);
            } else {
                inbox.Post(PortEvent{ProcessWatch(ready[i].data.u64), {}, true});
            }
        }
    });
}

PortWatch::~PortWatch() = default;

std::string PortWatch::PortOf(const PortEvent& event) const {
    const auto folder = impl_->folders.find(event.watch);
    if (folder == impl_->folders.end() || event.name.empty() ||
        (folder->second == impl_->portFolder && event.name.front() == '.')) {
        return {};
    }
    return (fs::path(folder->second) / event.name).string();
}

std::vector<std::string> PortWatch::FollowersOf(const PortEvent& event) const {
    const bool lock = impl_->lockFolders.count(event.watch) != 0;
    std::vector<std::string> ports;
    for (const auto& [port, f] : impl_->followed) {
        if (lock               ? f.lock == event.name
            : event.watch < -1 ? f.process != 0 && ProcessWatch(f.process) == event.watch
                               : f.node == event.watch) {
            ports.push_back(port);
        }
    }
    return ports;
}

void PortWatch::Follow(const std::string& port, std::optional<pid_t> holder) {
    Unfollow(port);
    Impl& w = *impl_;
    Impl::Followed f;
    f.node =
        ::inotify_add_watch(w.inotify, port.c_str(), IN_ATTRIB | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    std::error_code ec;
    const fs::path device = fs::canonical(port, ec);
    if (!ec) {
        w.WatchLockFolders();
        f.lock = "LCK.." + linux_port::NameBelowDev(device.string());
    }
    if (holder) {
        // Readable once the process has ended, at once if it has already.
        f.pidfd = static_cast<int>(::syscall(SYS_pidfd_open, *holder, 0));
        epoll_event ends{};
        ends.events = EPOLLIN | EPOLLONESHOT;
        ends.data.u64 = ++w.processes;
        if (f.pidfd >= 0 && ::epoll_ctl(w.epoll, EPOLL_CTL_ADD, f.pidfd, &ends) == 0) {
            f.process = ends.data.u64;
        }
    }
    w.followed[port] = std::move(f);
}

void PortWatch::Unfollow(const std::string& port) {
    Impl& w = *impl_;
    const auto it = w.followed.find(port);
    if (it == w.followed.end()) {
        return;
    }
    const Impl::Followed f = it->second;
    w.followed.erase(it);
    // Two names of one node share its watch.
    bool shared = false;
    for (const auto& [other, g] : w.followed) {
        shared = shared || g.node == f.node;
    }
    if (f.node >= 0 && !shared) {
        ::inotify_rm_watch(w.inotify, f.node);
    }
    if (f.pidfd >= 0) {
        ::close(f.pidfd); // leaves the epoll set with it
    }
}

std::string PortWatch::PlugOf(const std::string& port) {
    // The name (a link of the port folder, or the node in /dev) and the node it leads to: the
    // system makes both anew when a device comes again. Numbers of files are used again at
    // once (a pseudo-terminal's, an inode's), so the moment each was made counts too where the
    // file system keeps it; not its last change, which the system's permissions make.
    const auto identity = [&port](int flags) -> std::string {
        struct statx st {};
        if (::statx(AT_FDCWD, port.c_str(), flags, STATX_INO | STATX_BTIME, &st) != 0) {
            return "-";
        }
        // Numbers appended one by one: GCC 12 at -O3 takes a chain of + for an overlapping copy
        // (a false -Wrestrict, GCC bug 105329).
        std::string text;
        const bool born = (st.stx_mask & STATX_BTIME) != 0;
        for (const long long number :
             {static_cast<long long>(st.stx_dev_major), static_cast<long long>(st.stx_dev_minor),
              static_cast<long long>(st.stx_ino), static_cast<long long>(st.stx_rdev_major),
              static_cast<long long>(st.stx_rdev_minor),
              born ? static_cast<long long>(st.stx_btime.tv_sec) : -1LL,
              born ? static_cast<long long>(st.stx_btime.tv_nsec) : -1LL}) {
            text += std::to_string(number);
            text += ':';
        }
        return text;
    };
    std::string plug = identity(AT_SYMLINK_NOFOLLOW);
    if (plug == "-") {
        return {};
    }
    plug += ' ';
    plug += identity(0);
    return plug;
}

} // namespace tvk9::cli
