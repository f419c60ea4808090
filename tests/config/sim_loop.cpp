#include "tests/config/sim_loop.h"

#include "common/error.h"

#include <algorithm>
#include <utility>

namespace tvk9::sim {

void SimLoop::Post(Ms at, std::function<void()> action) {
    posted_.push_back({at, seq_++, std::move(action)});
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
        if (next != posted_.end() && (timer == nullptr || next->at <= timer->due_)) {
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
