#include "pty_pair.h"

#include "serial/deadline.h"

#include <cerrno>
#include <dirent.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace tvk9::testing {

PtyPair::PtyPair() {
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    path_ = name;
}

PtyPair::~PtyPair() {
    Unplug();
}

void PtyPair::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            throw std::runtime_error("write to the pseudo-terminal failed");
        if (n > 0)
            done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> PtyPair::Read(std::size_t count, std::chrono::milliseconds limit) {
    std::vector<std::uint8_t> got;
    const Deadline until = Deadline::After(SteadyClock::now(), limit);
    while (got.size() < count) {
        pollfd p{master_, POLLIN, 0};
        const auto left = until.Remaining(SteadyClock::now());
        if (::ppoll(&p, 1, &*left, nullptr) <= 0)
            break;
        std::uint8_t buffer[256];
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

void PtyPair::Unplug() {
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

namespace {
std::size_t CountEntries(const char* folder) {
    std::size_t n = 0;
    if (DIR* d = ::opendir(folder)) {
        while (const dirent* e = ::readdir(d))
            n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}
} // namespace

std::size_t OpenDescriptorCount() {
    return CountEntries("/proc/self/fd");
}
std::size_t ThreadCount() {
    return CountEntries("/proc/self/task");
}

} // namespace tvk9::testing
