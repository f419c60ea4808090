#pragma once

// Processes that hold many descriptors, as a desktop's browser, editor and containers do: the
// machine on which the look for a port's other users must stay cheap. Each child holds its
// share of descriptors of /dev/null and sleeps, or wakes at an interval without touching them;
// the children go with the object.

#include <chrono>
#include <cstddef>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tvk9::bench {

class DescriptorCrowd {
public:
    // `processes` children holding `each` descriptors; `wake` > 0: each wakes that often.
    DescriptorCrowd(std::size_t processes, std::size_t each,
                    std::chrono::milliseconds wake = std::chrono::milliseconds(0)) {
        int ready[2] = {-1, -1};
        if (::pipe2(ready, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        for (std::size_t i = 0; i < processes; ++i) {
            const pid_t child = ::fork();
            if (child == 0) {
                Hold(ready[1], each, wake);
            }
            if (child < 0) {
                break;
            }
            children_.push_back(child);
        }
        ::close(ready[1]);
        char byte = 0;
        for (std::size_t i = 0; i < children_.size() && ::read(ready[0], &byte, 1) == 1; ++i) {
            descriptors_ += each;
        }
        ::close(ready[0]);
    }
    ~DescriptorCrowd() {
        for (const pid_t child : children_) {
            ::kill(child, SIGKILL);
        }
        for (const pid_t child : children_) {
            ::waitpid(child, nullptr, 0);
        }
    }
    DescriptorCrowd(const DescriptorCrowd&) = delete;
    DescriptorCrowd& operator=(const DescriptorCrowd&) = delete;

    std::size_t Descriptors() const { return descriptors_; }

private:
    [[noreturn]] static void Hold(int ready, std::size_t each, std::chrono::milliseconds wake) {
        // Nothing of the parent's, its ports above all: the crowd holds no port.
        const int keep = ready == 3 ? 3 : ::dup2(ready, 3);
        ::close_range(static_cast<unsigned>(keep) + 1, ~0U, 0);
        const rlimit room{each + 64, each + 64};
        ::setrlimit(RLIMIT_NOFILE, &room);
        for (std::size_t n = 0; n < each; ++n) {
            if (::open("/dev/null", O_RDONLY) < 0) {
                ::_exit(1);
            }
        }
        [[maybe_unused]] const auto told = ::write(keep, "", 1);
        ::close(keep);
        for (;;) {
            ::poll(nullptr, 0, wake.count() > 0 ? static_cast<int>(wake.count()) : -1);
        }
    }

    std::vector<pid_t> children_;
    std::size_t descriptors_ = 0;
};

} // namespace tvk9::bench
