#pragma once

// A user-interface thread on a simulated clock. Events (timer ticks, received blocks, the
// user's actions) run one at a time in time order; a handler that sleeps moves the clock on
// without handling anything, and whatever fell due meanwhile runs after it returns; a modal
// box runs a nested loop up to the moment it closes. Nothing here waits in real time.

#include "config/window_ports.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tvk9::sim {

using Ms = std::int64_t;

class SimTimer;

class SimLoop {
public:
    Ms Now() const;

    // The user-interface thread is blocked for `ms`: time passes, nothing is handled.
    void Block(Ms ms);

    // From now on the loop keeps real time on the steady clock, for runs against real ports:
    // Block sleeps, and while nothing is due the loop waits in `waitForEvent(ms)`, which
    // handles at most one event from outside within that time and tells whether it did.
    void UseRealClock(std::function<bool(Ms)> waitForEvent);

    // An event for the user-interface thread at `at` (handled later if the thread is busy).
    // Events due at the same moment run in the order posted, before timer ticks.
    void Post(Ms at, std::function<void()> action);

    // Handles everything due up to `until`, then the clock stands at `until` (or later, when a
    // handler blocked past it).
    void RunUntil(Ms until);
    void RunFor(Ms ms) { RunUntil(now_ + ms); }

    // Runs a handler now as the window would: an error that escapes it is shown by the
    // application (here: recorded) and the loop goes on.
    void Dispatch(const std::function<void()>& handler);

    // Messages of errors that escaped handlers, in order.
    const std::vector<std::string>& Errors() const { return errors_; }

    // How deep the loops are nested right now (0 outside any handler's modal box).
    int Depth() const { return depth_; }

private:
    friend class SimTimer;
    struct Posted {
        Ms at;
        std::uint64_t seq;
        std::function<void()> action;
    };

    Ms now_ = 0;
    bool real_ = false;
    std::int64_t realStart_ = 0; // steady clock, in ms
    std::function<bool(Ms)> waitForEvent_;
    std::uint64_t seq_ = 0;
    int depth_ = 0;
    std::vector<Posted> posted_;
    std::vector<SimTimer*> timers_;
    std::vector<std::string> errors_;
};

// A window timer: enabling an enabled timer or setting the interval it has changes nothing;
// enabling a disabled one or changing an enabled one's interval starts the period afresh.
// A late timer ticks once and counts its next period from that tick. A tick is not delivered
// while the same timer's handler is still running (in a modal box).
class SimTimer : public Timer {
public:
    SimTimer(SimLoop& loop, std::function<void()> onTick = {});
    ~SimTimer() override;
    SimTimer(const SimTimer&) = delete;
    SimTimer& operator=(const SimTimer&) = delete;

    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(unsigned milliseconds) override;
    unsigned Interval() const override { return interval_; }

    void OnTick(std::function<void()> onTick) { onTick_ = std::move(onTick); }

    // Moments at which the period was started afresh, and at which ticks were handled.
    const std::vector<Ms>& Starts() const { return starts_; }
    const std::vector<Ms>& Ticks() const { return ticks_; }

private:
    friend class SimLoop;
    bool Due(Ms until) const { return enabled_ && !inHandler_ && due_ <= until; }
    void Fire();

    SimLoop& loop_;
    std::function<void()> onTick_;
    bool enabled_ = false;
    unsigned interval_ = 1000;
    Ms due_ = 0;
    bool inHandler_ = false;
    std::vector<Ms> starts_;
    std::vector<Ms> ticks_;
};

class SimSleeper : public Sleeper {
public:
    explicit SimSleeper(SimLoop& loop) : loop_(loop) {}
    void Sleep(unsigned milliseconds) override {
        slept_ += milliseconds;
        loop_.Block(milliseconds);
    }
    Ms Slept() const { return slept_; }

private:
    SimLoop& loop_;
    Ms slept_ = 0;
};

} // namespace tvk9::sim
