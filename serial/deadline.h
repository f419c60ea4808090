#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>

namespace tvk9 {

using SteadyClock = std::chrono::steady_clock;

// A point on the monotonic clock after which a wait gives up, or none. Every wait of the
// serial component goes through this one type, so time-outs never drift with the wall clock
// and "no limit" is spelt the same everywhere.
class Deadline {
public:
    static Deadline Never() { return Deadline{}; }
    static Deadline At(SteadyClock::time_point when) { return Deadline{when}; }
    // A span past the clock's range (a large multiplier times a large count) saturates at
    // its last point instead of wrapping round into the past.
    static Deadline After(SteadyClock::time_point now, std::chrono::milliseconds span) {
        const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(
            SteadyClock::time_point::max() - now);
        return Deadline{span >= room ? SteadyClock::time_point::max() : now + span};
    }

    bool IsNever() const { return !when_.has_value(); }
    SteadyClock::time_point When() const { return *when_; }
    bool Expired(SteadyClock::time_point now) const { return when_ && now >= *when_; }

    // The earlier of two deadlines.
    static Deadline Earliest(Deadline a, Deadline b) {
        if (a.IsNever())
            return b;
        if (b.IsNever())
            return a;
        return a.When() <= b.When() ? a : b;
    }

    // Time left as a timespec for ppoll(): nullopt for no limit, zero once expired.
    std::optional<timespec> Remaining(SteadyClock::time_point now) const;

    bool operator==(const Deadline&) const = default;

private:
    Deadline() = default;
    explicit Deadline(SteadyClock::time_point when) : when_(when) {}
    std::optional<SteadyClock::time_point> when_;
};

} // namespace tvk9
