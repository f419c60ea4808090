#include "serial/deadline.h"

namespace tvk9 {

std::optional<timespec> Deadline::Remaining(SteadyClock::time_point now) const {
    if (!when_)
        return std::nullopt;
    timespec ts{};
    if (now >= *when_)
        return ts;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*when_ - now);
    ts.tv_sec = static_cast<std::time_t>(left.count() / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
    return ts;
}

} // namespace tvk9
