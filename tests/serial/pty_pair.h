#pragma once

// A pseudo-terminal for the component to open: the test plays the device on the master side.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
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

std::size_t OpenDescriptorCount();
std::size_t ThreadCount();

} // namespace tvk9::testing
