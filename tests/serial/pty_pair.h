#pragma once

// A pseudo-terminal for the component to open: the test plays the device on the master side.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <span>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace tvk9::testing {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& Path() const { return path_; }
    int Slave() const { return slave_; }
    int Master() const { return master_; }
    void Write(std::span<const std::uint8_t> bytes);
    // Reads until `count` bytes are in or `limit` passes (a blocking wait, not a poll loop).
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds limit);
    // The device goes away: both sides of the terminal are closed.
    void Unplug();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// A pseudo-terminal as another program left it: 38400 baud, canonical, with echo. The test
// holds only the master side, through which it sees the line without opening the port.
class ForeignPty {
public:
    ForeignPty() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        ::grantpt(master_);
        ::unlockpt(master_);
        slave_ = ::ptsname(master_);
        ::tcgetattr(master_, &left_);
        cfsetspeed(&left_, B38400);
        left_.c_lflag |= ICANON | ECHO;
        ::tcsetattr(master_, TCSANOW, &left_);
        ::tcgetattr(master_, &left_);
    }
    ~ForeignPty() { ::close(master_); }
    const std::string& Slave() const { return slave_; }
    bool LineAsLeft() const {
        termios now{};
        return ::tcgetattr(master_, &now) == 0 && std::memcmp(&now, &left_, sizeof now) == 0;
    }

private:
    int master_;
    std::string slave_;
    termios left_{};
};

std::size_t OpenDescriptorCount();
std::size_t ThreadCount();

} // namespace tvk9::testing
