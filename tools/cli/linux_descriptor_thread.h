#pragma once

// A thread of its own that sleeps in poll() on one descriptor and calls `readable` whenever it
// can be read, until the object goes: the way the Linux watches hand what the system tells
// them to the owner's inbox.

#include <functional>
#include <thread>

namespace tvk9::cli {

class DescriptorThread {
public:
    // Does nothing when `fd` is negative. Throws std::system_error when the thread or its stop
    // event cannot be made.
    DescriptorThread(int fd, std::function<void()> readable);
    ~DescriptorThread();
    DescriptorThread(const DescriptorThread&) = delete;
    DescriptorThread& operator=(const DescriptorThread&) = delete;

private:
    int stop_ = -1;
    std::thread thread_;
};

} // namespace tvk9::cli
