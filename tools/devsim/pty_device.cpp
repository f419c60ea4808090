#include "tools/devsim/pty_device.h"

#include "common/error.h"
#include "config/linux_port_list.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tvk9::devsim {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw Exception("tvk9-devsim: " + what + ": " + std::strerror(errno));
}

bool UsableName(const std::string& name) {
    // Dot names are left for the lock files beside the links.
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos &&
           name.size() < NAME_MAX - 8;
}

std::string LinkTarget(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.string();
}

timespec ToTimespec(Duration d) {
    if (d < Duration::zero()) {
        d = Duration::zero();
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

} // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Fd::Reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

PtyDevice::PtyDevice(RunnerOptions options)
    : options_(std::move(options)), model_(options_.device), start_(Clock::now()) {
    if (!UsableName(options_.name)) {
        errno = EINVAL;
        Fail("unusable port name \"" + options_.name + "\"");
    }
    const fs::path folder = options_.portFolder.empty()
                                ? EnsurePortFolder()
                                : EnsurePortFolder(options_.portFolder, false);

    // One running device per name: the lock is held for the device's life, so a link left by a
    // device that died is known to be stale and is replaced. A device that ends removes the
    // lock file while it still holds it; whoever locked that file meanwhile finds it gone from
    // the folder and tries again with a new one.
    lockPath_ = folder / ("." + options_.name + ".lock");
    for (int attempt = 0; !nameLock_; ++attempt) {
        if (attempt == 100) {
            Fail("cannot keep hold of " + lockPath_.string());
        }
        nameLock_ = Fd(::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (!nameLock_) {
            Fail("cannot create " + lockPath_.string());
        }
        if (::flock(nameLock_.get(), LOCK_EX | LOCK_NB) != 0) {
            errno = errno == EWOULDBLOCK ? EBUSY : errno;
            Fail("port name \"" + options_.name + "\" is in use");
        }
        if (!HoldsLockFile()) {
            nameLock_.Reset();
        }
    }

    master_ = Fd(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master_ || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) {
        Fail("cannot open a pseudo-terminal");
    }
    char name[PATH_MAX];
    if (::ptsname_r(master_.get(), name, sizeof name) != 0) {
        Fail("cannot name the pseudo-terminal");
    }
    slavePath_ = name;

    // Bytes pass unchanged: no echo, no line editing, no translation. Set through the master,
    // so the slave starts raw; the setting outlives each client's open and close.
    termios tio{};
    if (::tcgetattr(master_.get(), &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        ::tcsetattr(master_.get(), TCSANOW, &tio);
    }

    // Packet mode tells us when the program flushes its input, which may take the greeting.
    int on = 1;
    if (::ioctl(master_.get(), TIOCPKT, &on) != 0) {
        Fail("cannot set packet mode on the pseudo-terminal");
    }

    inotify_ = Fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify_ ||
        ::inotify_add_watch(inotify_.get(), slavePath_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        Fail("cannot watch " + slavePath_);
    }

    linkPath_ = folder / options_.name;
    const fs::path temp = folder / ("." + options_.name + ".new");
    ::unlink(temp.c_str());
    if (::symlink(slavePath_.c_str(), temp.c_str()) != 0 ||
        ::rename(temp.c_str(), linkPath_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        errno = err;
        Fail("cannot create the link " + linkPath_.string());
    }
    linked_ = true;
}

PtyDevice::~PtyDevice() {
    Close();
    if (nameLock_ && HoldsLockFile()) {
        ::unlink(lockPath_.c_str());
    }
}

bool PtyDevice::HoldsLockFile() const {
    struct stat held {};
    struct stat named {};
    return ::fstat(nameLock_.get(), &held) == 0 && ::stat(lockPath_.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

void PtyDevice::Close() {
    // The link first: once the master is closed its number may go to someone else's terminal.
    RemoveLink();
    master_.Reset();
}

void PtyDevice::RemoveLink() {
    // Someone may have replaced the link by hand meanwhile: leave theirs.
    if (linked_ && LinkTarget(linkPath_) == slavePath_) {
        ::unlink(linkPath_.c_str());
    }
    linked_ = false;
}

PtyDevice::End PtyDevice::Run(int stopFd) {
    for (;;) {
        pollfd fds[3] = {{stopFd, POLLIN, 0}, {inotify_.get(), POLLIN, 0}, {-1, 0, 0}};
        nfds_t count = 2;
        if (connected_) {
            // While no program has the slave open the master reports a hang-up without end,
            // so it is only watched while one does.
            const bool output = !pending_.empty() || flooding_;
            fds[2] = {master_.get(), static_cast<short>(POLLIN | (output ? POLLOUT : 0)), 0};
            count = 3;
        }
        const auto next = model_.NextDue();
        timespec timeout{};
        if (next) {
            timeout = ToTimespec(*next - Clock::now());
        }
        if (::ppoll(fds, count, next ? &timeout : nullptr, nullptr) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("poll");
        }
        if (fds[0].revents != 0) {
            return End::Stopped;
        }
        TimePoint now = Clock::now();
        // Opens and closes first: a hang-up may already stand behind a close event. If they
        // ended one session or began another, what poll said of the master belongs to the
        // old one (a hang-up seen just before the next program opened): ask again next turn.
        const unsigned session = sessions_;
        if (fds[1].revents != 0) {
            HandleInotify(now);
        }
        if (connected_ && count == 3 && fds[2].revents != 0 && session == sessions_) {
            HandleMaster(fds[2].revents, now);
        }
        now = Clock::now();
        const std::vector<Action> due = model_.TakeDue(now);
        // Reads are watched before the last answer goes out: a program may read it at once.
        const bool unplugs = std::any_of(due.begin(), due.end(), [](const Action& action) {
            return action.kind == Action::Kind::Unplug;
        });
        const bool watched = unplugs && connected_ &&
                             ::inotify_add_watch(inotify_.get(), slavePath_.c_str(),
                                                 IN_OPEN | IN_CLOSE | IN_ACCESS) >= 0;
        for (const Action& action : due) {
            if (action.kind == Action::Kind::Unplug) {
                if (watched) {
                    LetTheLastAnswerBeRead(stopFd);
                }
                Log(Clock::now(), "unplug", {});
                Close();
                return End::Unplugged;
            }
            Perform(action, now);
        }
    }
}

std::vector<std::uint32_t> PtyDevice::ReadEvents() {
    std::vector<std::uint32_t> masks;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_.get(), buffer, sizeof buffer);
        if (n <= 0) {
            return masks;
        }
        for (ssize_t at = 0; at < n;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            at += static_cast<ssize_t>(sizeof event + event.len);
            masks.push_back(event.mask);
        }
    }
}

void PtyDevice::HandleInotify(TimePoint now) {
    for (const std::uint32_t mask : ReadEvents()) {
        if ((mask & IN_Q_OVERFLOW) != 0) {
            // Events were lost: the master's hang-up tells whether anyone is left.
            pollfd p{master_.get(), POLLIN, 0};
            const bool hungUp = ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
            openFiles_ = hungUp ? 0 : 1;
            if (hungUp && connected_) {
                Disconnect(now);
            }
        } else if ((mask & IN_OPEN) != 0) {
            ++openFiles_;
            Connect(now);
        } else if ((mask & IN_CLOSE) != 0) {
            openFiles_ = openFiles_ > 0 ? openFiles_ - 1 : 0;
            if (openFiles_ == 0 && connected_) {
                Disconnect(now);
            }
        }
    }
}

void PtyDevice::LetTheLastAnswerBeRead(int stopFd) {
    // Closing the master throws away what the program has not read yet. Reads of the slave
    // show as access events: wait until the program has read and then stayed quiet a moment
    // (it may read a byte at a time), or has closed the port, or for at most half a second.
    constexpr auto quiet = std::chrono::milliseconds(20);
    constexpr auto longest = std::chrono::milliseconds(500);
    const TimePoint deadline = Clock::now() + longest;
    TimePoint until = deadline;
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {inotify_.get(), POLLIN, 0}};
        timespec timeout = ToTimespec(until - Clock::now());
        const int ready = ::ppoll(fds, 2, &timeout, nullptr);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || fds[0].revents != 0) {
            return;
        }
        const TimePoint now = Clock::now();
        for (const std::uint32_t mask : ReadEvents()) {
            if ((mask & IN_ACCESS) != 0) {
                until = std::min(deadline, now + quiet);
                Flush(now);
            } else if ((mask & IN_OPEN) != 0) {
                ++openFiles_;
            } else if ((mask & IN_CLOSE) != 0 && openFiles_ > 0 && --openFiles_ == 0) {
                return;
            }
        }
    }
}

void PtyDevice::Connect(TimePoint now) {
    if (!connected_) {
        connected_ = true;
        ++sessions_;
        Log(now, "open", {});
    }
    model_.Opened(now);
}

void PtyDevice::Disconnect(TimePoint now) {
    connected_ = false;
    flooding_ = false;
    ++sessions_;
    openFiles_ = 0;
    model_.Closed();
    pending_.clear();
    // Bytes left in either direction would greet the next program that opens the port.
    ::tcflush(master_.get(), TCIOFLUSH);
    Log(now, "close", {});
}

void PtyDevice::HandleMaster(short revents, TimePoint now) {
    if ((revents & POLLIN) != 0) {
        // Packet mode: every read starts with a status byte; 0 means data follows.
        std::uint8_t packet[513];
        for (;;) {
            const ssize_t n = ::read(master_.get(), packet, sizeof packet);
            if (n > 0) {
                if (packet[0] == TIOCPKT_DATA) {
                    const std::span data(packet + 1, static_cast<std::size_t>(n - 1));
                    for (const LogEntry& entry : model_.Received(data, now)) {
                        Log(now, "rx", entry);
                    }
                } else if ((packet[0] & TIOCPKT_FLUSHREAD) != 0) {
                    model_.InputFlushed(now);
                }
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno == EAGAIN) {
                break;
            }
            Disconnect(now); // EIO: every program has closed the port
            return;
        }
    }
    if ((revents & (POLLHUP | POLLERR)) != 0 && (revents & POLLIN) == 0) {
        Disconnect(now);
        return;
    }
    if ((revents & POLLOUT) != 0) {
        Flush(now);
    }
}

void PtyDevice::Perform(const Action& action, TimePoint now) {
    if (!connected_) {
        return;
    }
    if (action.log) {
        Log(now, "tx", *action.log);
    }
    if (action.kind == Action::Kind::Flood) {
        Log(now, "flood", {});
        flooding_ = true;
    }
    pending_.insert(pending_.end(), action.bytes.begin(), action.bytes.end());
    Flush(now);
}

void PtyDevice::Flush(TimePoint now) {
    // A flood is zero bytes, as fast as the program's side takes them; one chunk a turn, so
    // that the loop still hears of stops and closes.
    constexpr std::size_t FloodChunk = 4096;
    bool refilled = false;
    for (;;) {
        if (pending_.empty() && flooding_ && !std::exchange(refilled, true)) {
            pending_.assign(FloodChunk, 0);
        }
        if (pending_.empty()) {
            return;
        }
        const ssize_t n = ::write(master_.get(), pending_.data(), pending_.size());
        if (n > 0) {
            pending_.erase(pending_.begin(), pending_.begin() + n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return; // the program does not read; POLLOUT brings us back
        } else {
            Disconnect(now);
            return;
        }
    }
}

void PtyDevice::Log(TimePoint now, std::string_view direction, const LogEntry& entry) {
    if (options_.log != nullptr) {
        *options_.log << FormatLogLine(now - start_, direction, entry) << std::endl;
    }
}

} // namespace tvk9::devsim
