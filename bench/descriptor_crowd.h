#pragma once

// Processes that hold many descriptors, as a desktop's browser, editor and containers do: the
// machine on which the look for a port's other users must stay cheap. Each child holds its
// share of descriptors of /dev/null and sleeps, or wakes at an interval without touching them;
// the children go with the object.

#include <chrono>
#include <cstddef>
#include <sys/types.h>
#include <vector>

namespace tvk9::bench {

class DescriptorCrowd {
public:
    // `processes` children holding `each` descriptors; `wake` > 0: each wakes that often.
    DescriptorCrowd(std::size_t processes, std::size_t each,
                    std::chrono::milliseconds wake = std::chrono::milliseconds(0));
    ~DescriptorCrowd();
    DescriptorCrowd(const DescriptorCrowd&) = delete;
    DescriptorCrowd& operator=(const DescriptorCrowd&) = delete;

    std::size_t Descriptors() const { return descriptors_; }

private:
    std::vector<pid_t> children_;
    std::size_t descriptors_ = 0;
};

// The look for another program holding a port as it was before it kept what it had seen: every
// descriptor of every process in sight, at every look. Kept here as the figure before.
bool AnyOtherProcessHolds(dev_t device);

} // namespace tvk9::bench
