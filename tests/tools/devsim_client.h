#pragma once

// A program's side of a simulated port, with plain POSIX calls: opened and set up the way a
// serial component does it (raw, 9600 8N1, input flushed), read with poll().

#include "config/frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <span>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace tvk9::devsim::testing {

using Bytes = std::vector<std::uint8_t>;

// Long enough never to cut a healthy exchange short on a loaded machine; only a hang meets it.
inline constexpr std::chrono::milliseconds Patience{5000};

class PortClient {
public:
    explicit PortClient(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0) {
            ADD_FAILURE() << "cannot open " << path << ": " << std::strerror(errno);
            return;
        }
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd_, TCSANOW, &t);
        ::tcflush(fd_, TCIOFLUSH);
    }
    ~PortClient() { Close(); }
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    void Write(std::span<const std::uint8_t> bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Up to `count` bytes: fewer only if the port hangs up or nothing comes for `limit`.
    Bytes Read(std::size_t count, std::chrono::milliseconds limit = Patience) {
        Bytes got;
        while (got.size() < count && !hungUp_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) {
                break;
            }
            std::uint8_t buffer[64];
            const std::size_t want = std::min(sizeof buffer, count - got.size());
            const ssize_t n = ::read(fd_, buffer, want);
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
            } else if (n == 0 || errno == EIO) {
                hungUp_ = true;
            }
        }
        return got;
    }

    // Whether the port hangs up (reads end) within `limit`, reading away what still comes.
    bool HangsUp(std::chrono::milliseconds limit = Patience) {
        while (!hungUp_) {
            if (Read(64, limit).empty() && !hungUp_) {
                return false;
            }
        }
        return true;
    }

private:
    int fd_ = -1;
    bool hungUp_ = false;
};

inline Bytes ToBytes(std::span<const std::uint8_t> b) {
    return Bytes(b.begin(), b.end());
}

} // namespace tvk9::devsim::testing
