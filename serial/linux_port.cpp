#include "serial/linux_port.h"

#include "serial/linux_termios.h"

#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <future>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tvk9 {

namespace {

// While the driver keeps line counters, an idle receive worker looks at them this often;
// without them it sleeps until something happens.
constexpr std::chrono::milliseconds CounterInterval{250};

int Ppoll(pollfd* fds, nfds_t count, const Deadline& deadline, SteadyClock::time_point now) {
    const auto left = deadline.Remaining(now);
    return ::ppoll(fds, count, left ? &*left : nullptr, nullptr);
}

} // namespace

std::string DevicePath(const std::string& comm_name) {
    if (!comm_name.empty() && comm_name.front() == '/')
        return comm_name;
    return "/dev/" + comm_name;
}

ErrnoMeaning MeaningOf(int error_number) {
    switch (error_number) {
    case EINTR:
        return ErrnoMeaning::Retry;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return ErrnoMeaning::WouldBlock;
    case EBADF:
        return ErrnoMeaning::PortClosed;
    default:
        return ErrnoMeaning::Failure;
    }
}

std::uint32_t ErrorFlagsBetween(const LineCounters& a, const LineCounters& b) {
    std::uint32_t flags = 0;
    if (a.buf_overrun != b.buf_overrun)
        flags |= CeRxOver;
    if (a.overrun != b.overrun)
        flags |= CeOverrun;
    if (a.parity != b.parity)
        flags |= CeRxParity;
    if (a.frame != b.frame)
        flags |= CeFrame;
    if (a.brk != b.brk)
        flags |= CeBreak;
    return flags;
}

std::uint32_t EventsBetween(const LineCounters& a, const LineCounters& b) {
    std::uint32_t events = 0;
    if (ErrorFlagsBetween(a, b) != 0)
        events |= EvErr;
    if (a.dcd != b.dcd)
        events |= EvRlsd;
    if (a.rng != b.rng)
        events |= EvRing;
    return events;
}

// ---------------------------------------------------------------------------------------

OpenResult OpenSystemSerialPort(const std::string& name) {
    return OpenSerialPortWith(name, {});
}

OpenResult OpenSerialPortWith(const std::string& name, const linux_port::SystemRoots& roots) {
    linux_port::HolderLook holders(roots.proc);
    holders.Refresh();
    return OpenLinuxPort(name, holders, roots);
}

namespace {

// While ports are opened at a steady pace (a scan step's), the look walks ahead this long before
// the next open is due, on a thread of its own.
constexpr std::chrono::milliseconds WalkAhead{30};
constexpr std::chrono::milliseconds SteadyPaceFrom{100};
constexpr std::chrono::seconds SteadyPaceTo{10};

} // namespace

// The look moves to a thread of its own between opens and comes back with the next one: for the
// first look, which walks every descriptor in sight, and then, while opens come at a steady
// pace, for a walk shortly before the next is due. The open itself then walks only what ran
// since. Nothing is shared: the look is either here or there.
struct SystemPorts::Memory {
    std::future<linux_port::HolderLook> away;
    std::optional<linux_port::HolderLook> holders;
    std::optional<SteadyClock::time_point> lastOpen;
    SteadyClock::duration lastGap = SteadyClock::duration::max();
    std::jthread walking; // goes first: a stop cuts its walk short

    Memory() { Send(linux_port::HolderLook(), std::nullopt); }

    linux_port::HolderLook& Holders() {
        if (!holders) {
            // An open that comes before the walk ahead was due, or during it, stops it and
            // brings the look up to date itself.
            walking.request_stop();
            holders.emplace(away.get());
        }
        holders->Refresh();
        return *holders;
    }

    // After an open: sends the look to walk ahead of the next one, if opens keep a pace. Two
    // gaps alike make a pace: a retry now and then (tvk9-cli watch's) is no reason to walk.
    void Opened() {
        const auto now = SteadyClock::now();
        const auto since = lastOpen ? now - *lastOpen : SteadyClock::duration::max();
        const auto before = std::exchange(lastGap, since);
        lastOpen = now;
        const auto apart = since > before ? since - before : before - since;
        if (holders && since >= SteadyPaceFrom && since <= SteadyPaceTo && apart <= since / 4) {
            Send(std::move(*holders), now + since - WalkAhead);
            holders.reset();
        }
    }

    void Send(linux_port::HolderLook look, std::optional<SteadyClock::time_point> at) {
        std::promise<linux_port::HolderLook> back;
        away = back.get_future();
        walking = std::jthread(
            [look = std::move(look), at, back = std::move(back)](std::stop_token stop) mutable {
                if (at) {
                    std::mutex mutex;
                    std::condition_variable_any never;
                    std::unique_lock lock(mutex);
                    never.wait_until(lock, stop, *at, [] { return false; });
                }
                look.Refresh(stop); // a stopped walk puts back what it had moved
                back.set_value(std::move(look));
            });
    }
};

SystemPorts::SystemPorts() : memory_(std::make_shared<Memory>()) {}

OpenResult SystemPorts::Open(const std::string& name) const {
    OpenResult opened = OpenLinuxPort(name, memory_->Holders());
    memory_->Opened();
    return opened;
}

SerialPortOpener SystemPorts::OpenerForMany() const {
    memory_->Holders();
    return [memory = memory_](const std::string& name) {
        return OpenLinuxPort(name, *memory->holders);
    };
}

OpenResult OpenLinuxPort(const std::string& name, const linux_port::HolderLook& holders,
                         const linux_port::SystemRoots& roots) {
    const std::string path = DevicePath(name);
    const auto refuse = [&path](int error, const OpenFacts& facts = OpenFacts()) {
        return OpenResult{nullptr, DiagnoseOpenFailure(path, error, facts)};
    };
    // Nothing is opened before the name is known to lead to a terminal that nobody uses.
    linux_port::BeforeOpening look = linux_port::LookBeforeOpening(path, holders, roots);
    if (look.problem.kind != PortProblem::Kind::None)
        return {nullptr, std::move(look.problem)};
    linux_port::UucpLock lock = std::move(look.use.lock);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return refuse(error, error == EACCES || error == EPERM ? linux_port::AccessFacts(path)
                                                               : OpenFacts());
    }
    // The lock keeps out every process that honours it, root included; TIOCEXCL keeps out the
    // rest of non-root openers.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(error);
    }
    ::ioctl(fd, TIOCEXCL);
    SavedLine saved = SaveLine(fd);
    // open() raised DTR and RTS: drop them before anybody's device sees a handshake, and
    // keep close() from touching them either way.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    if (saved.settings && (saved.settings->c_cflag & HUPCL)) {
        termios t = *saved.settings;
        t.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        ss.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &ss);
    }
    // What was passed over on the way (a stale lock file) is said beside the open port.
    return {std::make_unique<LinuxSerialPort>(fd, std::move(saved), std::move(lock)),
            std::move(look.problem)};
}

SavedLine SaveLine(int fd) {
    SavedLine saved;
    if (termios t{}; ::tcgetattr(fd, &t) == 0) {
        saved.settings = t;
        saved.customSpeed = linux_tty::CustomSpeed(fd);
    }
    if (int bits = 0; ::ioctl(fd, TIOCMGET, &bits) == 0)
        saved.modemLines = bits;
    return saved;
}

void RestoreLine(int fd, const SavedLine& saved) {
    termios now{};
    if (::tcgetattr(fd, &now) != 0 && (errno == EIO || errno == ENODEV || errno == ENXIO))
        return;
    if (saved.settings) {
        ::tcsetattr(fd, TCSANOW, &*saved.settings);
        if (saved.customSpeed)
            linux_tty::SetCustomSpeed(fd, *saved.customSpeed);
    }
    // With HUPCL back, closing drops DTR and RTS anyway: raising them first would only pulse
    // them (and reset many a device). Without it they outlive the close as they were found.
    const bool hangUpOnClose = saved.settings && (saved.settings->c_cflag & HUPCL);
    if (saved.modemLines && !hangUpOnClose) {
        const int raise = *saved.modemLines & (TIOCM_DTR | TIOCM_RTS);
        const int drop = (TIOCM_DTR | TIOCM_RTS) & ~raise;
        if (raise)
            ::ioctl(fd, TIOCMBIS, &raise);
        if (drop)
            ::ioctl(fd, TIOCMBIC, &drop);
    }
}

void RaiseThreadPriority(int steps) noexcept {
    // Nice values are per thread on Linux. Refusal (no CAP_SYS_NICE) leaves it as it is.
    const id_t tid = static_cast<id_t>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, tid);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, tid, nice - steps);
}

// ---------------------------------------------------------------------------------------

LinuxSerialPort::LinuxSerialPort(int fd, SavedLine saved, linux_port::UucpLock lock,
                                 std::function<SteadyClock::time_point()> clock)
    : fd_(fd), saved_(std::move(saved)), lock_(std::move(lock)), clock_(std::move(clock)) {}

LinuxSerialPort::~LinuxSerialPort() {
    RestoreLine(fd_, saved_);
    // The exclusive flag outlives the descriptor on some drivers.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    if (close_fd_ >= 0)
        ::close(close_fd_);
    if (wake_fd_ >= 0)
        ::close(wake_fd_);
}

bool LinuxSerialPort::IsCharDevice() {
    return ::isatty(fd_) == 1;
}

// The kernel owns the tty queues; there is nothing to size.
bool LinuxSerialPort::SetupQueues(std::uint32_t, std::uint32_t) {
    return true;
}

bool LinuxSerialPort::CreateEvents() {
    close_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return close_fd_ >= 0 && wake_fd_ >= 0;
}

void LinuxSerialPort::Purge(std::uint32_t actions) {
    // The abort actions need nothing here: the close event wakes the workers' waits.
    const bool rx = actions & PurgeRxClear;
    const bool tx = actions & PurgeTxClear;
    if (rx || tx)
        ::tcflush(fd_, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH);
}

void LinuxSerialPort::ApplyLineSettings(const Dcb& dcb) {
    termios current{};
    if (::tcgetattr(fd_, &current) != 0)
        return;
    const termios wanted = linux_tty::TermiosFor(current, dcb);
    ::tcsetattr(fd_, TCSANOW, &wanted);
    if (!linux_tty::StandardSpeed(dcb.BaudRate))
        linux_tty::SetCustomSpeed(fd_, dcb.BaudRate);
    const linux_tty::ModemLines lines = linux_tty::ModemLinesFor(dcb.Flags);
    if (lines.drop)
        ::ioctl(fd_, TIOCMBIC, &lines.drop);
    if (lines.raise)
        ::ioctl(fd_, TIOCMBIS, &lines.raise);
}

void LinuxSerialPort::ApplyTimeouts(const CommTimeouts& timeouts) {
    std::lock_guard lock(timeouts_mutex_);
    timeouts_ = timeouts;
}

CommTimeouts LinuxSerialPort::Timeouts() const {
    std::lock_guard lock(timeouts_mutex_);
    return timeouts_;
}

void LinuxSerialPort::SignalClose() {
    close_signalled_.store(true);
    const std::uint64_t one = 1;
    if (close_fd_ >= 0) {
        [[maybe_unused]] const auto n = ::write(close_fd_, &one, sizeof one);
    }
}

bool LinuxSerialPort::CloseSignalled() const {
    return close_signalled_.load();
}

void LinuxSerialPort::WakeTransmitter() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_fd_, &one, sizeof one);
}

// ---------------------------------------------------------------------------------------

std::optional<LineCounters> LinuxSerialPort::ReadCounters() const {
    serial_icounter_struct ic{};
    if (::ioctl(fd_, TIOCGICOUNT, &ic) != 0)
        return std::nullopt;
    LineCounters c;
    c.frame = static_cast<std::uint32_t>(ic.frame);
    c.overrun = static_cast<std::uint32_t>(ic.overrun);
    c.parity = static_cast<std::uint32_t>(ic.parity);
    c.brk = static_cast<std::uint32_t>(ic.brk);
    c.buf_overrun = static_cast<std::uint32_t>(ic.buf_overrun);
    c.dcd = static_cast<std::uint32_t>(ic.dcd);
    c.rng = static_cast<std::uint32_t>(ic.rng);
    return c;
}

bool LinuxSerialPort::SetEventMask(std::uint32_t mask) {
    event_mask_ = mask;
    counters_ = ReadCounters();
    return true;
}

std::uint32_t LinuxSerialPort::TakeLineEvents() {
    if (!counters_)
        return 0;
    const std::optional<LineCounters> now = ReadCounters();
    if (!now)
        return 0;
    errors_ |= ErrorFlagsBetween(*counters_, *now);
    const std::uint32_t events = EventsBetween(*counters_, *now) & event_mask_;
    counters_ = now;
    return events;
}

std::optional<std::uint32_t> LinuxSerialPort::ClearErrors() {
    const std::uint32_t errors = errors_;
    errors_ = 0;
    return errors;
}

ReceiveResult LinuxSerialPort::Receive(std::span<std::uint8_t> buffer) {
    using Kind = ReceiveResult::Kind;
    // A new read waits for the port before it reads: after a completed read the line is
    // nearly always quiet, and a read that finds nothing costs a system call per delivery.
    // A read that must return at once reads at once.
    bool wait_first = false;
    if (!read_) {
        const auto start = clock_();
        read_.emplace(PendingRead{ReadWindow(Timeouts(), buffer.size(), start), 0, start});
        wait_first = !read_->window.Complete(0);
    }
    auto finish = [this] {
        const std::size_t got = read_->got;
        read_.reset();
        return ReceiveResult{Kind::ReadComplete, got, 0};
    };
    bool hung_up = false;
    for (;;) {
        if (CloseSignalled())
            return {Kind::Stopped, 0, 0};
        // Take what is there, up to the size of the read.
        while (!wait_first && read_->got < buffer.size()) {
            const ssize_t n = ::read(fd_, buffer.data() + read_->got, buffer.size() - read_->got);
            if (n > 0) {
                read_->got += static_cast<std::size_t>(n);
                read_->last = clock_();
                continue;
            }
            // 0 from a tty in raw, non-blocking mode means it hung up (device gone).
            const ErrnoMeaning meaning = n == 0 ? ErrnoMeaning::Failure : MeaningOf(errno);
            if (meaning == ErrnoMeaning::Retry)
                continue;
            if (meaning == ErrnoMeaning::WouldBlock && !hung_up)
                break;
            if (meaning == ErrnoMeaning::PortClosed)
                return {Kind::Closed, 0, 0};
            // Bytes already taken are delivered first; the next read meets the failure again.
            if (read_->got > 0)
                return finish();
            read_.reset();
            return {Kind::Failed, 0, 0};
        }
        const bool read_skipped = std::exchange(wait_first, false);
        if (read_->window.Complete(read_->got))
            return finish();
        const auto now = clock_();
        Deadline until = read_->window.Ends(read_->got, read_->last);
        if (until.Expired(now)) {
            // A time-out that ran out before the first look still takes what is there.
            if (read_skipped)
                continue;
            return finish();
        }
        if (counters_)
            until = Deadline::Earliest(until, Deadline::After(now, CounterInterval));

        pollfd fds[2] = {{close_fd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const int r = Ppoll(fds, 2, until, now);
        if (r < 0) {
            const ErrnoMeaning meaning = MeaningOf(errno);
            if (meaning == ErrnoMeaning::Retry)
                continue;
            read_.reset();
            return {meaning == ErrnoMeaning::PortClosed ? Kind::Closed : Kind::Failed, 0, 0};
        }
        // The close event is served before anything the port has to say.
        if (fds[0].revents != 0)
            return {Kind::Stopped, 0, 0};
        if (fds[1].revents & POLLNVAL) {
            read_.reset();
            return {Kind::Closed, 0, 0};
        }
        // A hangup with nothing left to read must not spin: the next empty read is a failure.
        hung_up = (fds[1].revents & (POLLHUP | POLLERR)) != 0;
        if (const std::uint32_t events = TakeLineEvents(); events != 0)
            return {Kind::LineEvent, 0, events};
    }
}

// ---------------------------------------------------------------------------------------

WriteResult LinuxSerialPort::Write(std::span<const std::uint8_t> bytes) {
    using Kind = WriteResult::Kind;
    const CommTimeouts t = Timeouts();
    Deadline until = Deadline::Never();
    if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
        const auto total =
            static_cast<std::uint64_t>(t.WriteTotalTimeoutMultiplier) * bytes.size() +
            t.WriteTotalTimeoutConstant;
        until =
            Deadline::After(clock_(), std::chrono::milliseconds(static_cast<std::int64_t>(total)));
    }
    std::size_t done = 0;
    bool hung_up = false;
    for (;;) {
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            const ErrnoMeaning meaning = n == 0 ? ErrnoMeaning::WouldBlock : MeaningOf(errno);
            if (meaning == ErrnoMeaning::Retry)
                continue;
            if (meaning == ErrnoMeaning::WouldBlock && !hung_up)
                break;
            if (meaning == ErrnoMeaning::PortClosed)
                return {Kind::Closed, done};
            return {Kind::Failed, done};
        }
        const auto now = clock_();
        if (done == bytes.size() || until.Expired(now))
            return {Kind::Written, done};
        pollfd fds[2] = {{close_fd_, POLLIN, 0}, {fd_, POLLOUT, 0}};
        const int r = Ppoll(fds, 2, until, now);
        if (r < 0) {
            const ErrnoMeaning meaning = MeaningOf(errno);
            if (meaning == ErrnoMeaning::Retry)
                continue;
            return {meaning == ErrnoMeaning::PortClosed ? Kind::Closed : Kind::Failed, done};
        }
        if (fds[0].revents != 0)
            return {Kind::Stopped, done};
        if (fds[1].revents & POLLNVAL)
            return {Kind::Closed, done};
        hung_up = (fds[1].revents & (POLLHUP | POLLERR)) != 0;
    }
}

WakeReason LinuxSerialPort::WaitForRequest() {
    for (;;) {
        pollfd fds[2] = {{close_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        const int r = Ppoll(fds, 2, Deadline::Never(), {});
        if (r < 0) {
            if (MeaningOf(errno) == ErrnoMeaning::Retry)
                continue;
            return WakeReason::Failed;
        }
        if (fds[0].revents != 0)
            return WakeReason::Stopped;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto n = ::read(wake_fd_, &count, sizeof count);
            return WakeReason::Request;
        }
        return WakeReason::Failed;
    }
}

} // namespace tvk9
