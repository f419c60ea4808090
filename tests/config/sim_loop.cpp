#include "tests/config/sim_loop.h"

#include "common/error.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace tvk9::sim {

void SimLoop::Post(Ms at, std::function<void()> action) {
    posted_.push_back({at, seq_++, std::move(action)});
}

namespace {
std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

Ms SimLoop::Now() const {
    return real_ ? SteadyMs() - realStart_ : now_;
}

void SimLoop::Block(Ms ms) {
    if (real_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    } else {
        now_ += ms;
    }
}

void SimLoop::UseRealClock(std::function<bool(Ms)> waitForEvent) {
    real_ = true;
    realStart_ = SteadyMs() - now_;
    waitForEvent_ = std::move(waitForEvent);
}

void SimLoop::RunUntil(Ms until) {
    ++depth_;
    for (;;) {
        // The earliest posted event, then the earliest timer; posted events win a tie.
        auto next = posted_.end();
        for (auto it = posted_.begin(); it != posted_.end(); ++it) {
            if (it->at <= until && (next == posted_.end() || it->at < next->at ||
                                    (it->at == next->at && it->seq < next->seq))) {
                next = it;
            }
        }
        SimTimer* timer = nullptr;
        for (SimTimer* t : timers_) {
            if (t->Due(until) && (timer == nullptr || t->due_ < timer->due_)) {
                timer = t;
            }
        }
        const bool postedFirst =
            next != posted_.end() && (timer == nullptr || next->at <= timer->due_);
        if (real_) {
            // Wait for the outside until the next event falls due, or to the end.
            const Ms target = postedFirst ? next->at : timer != nullptr ? timer->due_ : until;
            const Ms now = Now();
            if (target > now) {
                Dispatch([&] { waitForEvent_(target - now); });
                continue;
            }
        }
        if (postedFirst) {
            now_ = std::max(now_, next->at);
            auto action = std::move(next->action);
            posted_.erase(next);
            Dispatch(action);
        } else if (timer != nullptr) {
            now_ = std::max(now_, timer->due_);
            timer->Fire();
        } else {
            break;
        }
    }
    now_ = std::max(now_, until);
    --depth_;
}

void SimLoop::Dispatch(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Exception& e) {
        errors_.emplace_back(e.what());
    }
}

SimTimer::SimTimer(SimLoop& loop, std::function<void()> onTick)
    : loop_(loop), onTick_(std::move(onTick)) {
    loop_.timers_.push_back(this);
}

SimTimer::~SimTimer() {
    std::erase(loop_.timers_, this);
}

void SimTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    if (enabled_) {
        due_ = loop_.Now() + interval_;
        starts_.push_back(loop_.Now());
    }
}

void SimTimer::SetInterval(unsigned milliseconds) {
    if (milliseconds == interval_) {
        return;
    }
    interval_ = milliseconds;
    if (enabled_) {
        due_ = loop_.Now() + interval_;
        starts_.push_back(loop_.Now());
    }
}

void SimTimer::Fire() {
    const Ms now = loop_.Now();
    // The next period runs on from the due moment; a late tick counts it from now instead.
    due_ += interval_;
    if (due_ <= now) {
        due_ = now + interval_;
    }
    ticks_.push_back(now);
    inHandler_ = true;
    loop_.Dispatch([this] {
        if (onTick_) {
            onTick_();
        }
    });
    inHandler_ = false;
}

} // namespace tvk9::sim
