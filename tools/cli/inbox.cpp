#include "tools/cli/inbox.h"

#include <chrono>

namespace tvk9::cli {

namespace {

bool AlwaysLetIn(const Event& event) {
    const auto* note = std::get_if<PortNote>(&event);
    return std::holds_alternative<Interrupted>(event) ||
           (note != nullptr && note->message.Msg == MsgRequestHangup);
}

} // namespace

bool Inbox::Queue(Event event, std::optional<SteadyClock::time_point> at) noexcept {
    try {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= MaxQueuedMessages && !AlwaysLetIn(event)) {
            return false;
        }
        // Stamped under the lock, so the queue is in the order of the times.
        queue_.push_back({std::move(event), at.value_or(SteadyClock::now())});
    } catch (...) {
        return false;
    }
    arrived_.notify_one();
    return true;
}

std::optional<Arrival> Inbox::Take(Deadline until) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return !queue_.empty(); };
    // Waits are a few seconds at most; a far deadline is met in steps of an hour, so that no
    // time point near the clock's end is handed to the system.
    constexpr auto Step = std::chrono::hours(1);
    while (!ready()) {
        const auto now = SteadyClock::now();
        if (until.Expired(now)) {
            return std::nullopt;
        }
        const auto limit = until.IsNever() || until.When() - now > Step ? now + Step : until.When();
        arrived_.wait_until(lock, limit, ready);
    }
    Arrival arrival = std::move(queue_.front());
    queue_.pop_front();
    return arrival;
}

} // namespace tvk9::cli
