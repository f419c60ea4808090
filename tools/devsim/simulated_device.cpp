#include "tools/devsim/simulated_device.h"

#include "common/error.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tvk9::devsim {

SimulatedDevice::SimulatedDevice(RunnerOptions options)
    : device_(std::move(options)), stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!stop_) {
        throw Exception(std::string("tvk9-devsim: eventfd: ") + std::strerror(errno));
    }
    thread_ = std::thread([this] {
        try {
            device_.Run(stop_.get());
        } catch (...) {
            error_ = std::current_exception();
        }
    });
}

SimulatedDevice::~SimulatedDevice() {
    try {
        Stop();
    } catch (...) {
        // A destructor cannot report it; Stop() is there for callers who want to know.
    }
}

void SimulatedDevice::Stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        // Cannot fail short of a full counter, which one write a life never reaches.
        [[maybe_unused]] const ssize_t n = ::write(stop_.get(), &one, sizeof one);
        thread_.join();
        device_.Close();
    }
    if (error_) {
        std::rethrow_exception(std::exchange(error_, nullptr));
    }
}

} // namespace tvk9::devsim
