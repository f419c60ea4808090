#include "tools/cli/exchange.h"

namespace tvk9::cli {

void Exchange::Listen(TimePoint, Deadline until) {
    state_ = announced_ ? State::Announced : State::Listening;
    end_ = until;
    repeat_ = Deadline::Never();
}

Frame Exchange::Query(TimePoint now) {
    state_ = State::Querying;
    report_.reset();
    // An announced sensor is listening: it answers within the answer window. Otherwise it may
    // need the announcement window first.
    end_ = Deadline::After(now, announced_ ? AnswerWindow : AnnouncementWindow + AnswerWindow);
    repeat_ = Deadline::After(now, QueryRepeat);
    return Sent(QueryFrame);
}

Frame Exchange::Write(const DeviceSettings& settings, TimePoint now) {
    state_ = State::Writing;
    report_.reset();
    written_ = settings;
    owed_ = unanswered_;
    end_ = Deadline::After(now, AnswerWindow);
    repeat_ = Deadline::Never();
    return Sent(BuildSettingsFrame(settings));
}

Frame Exchange::Sent(const Frame& frame) {
    ++unanswered_;
    return frame;
}

std::optional<Frame> Exchange::Received(std::span<const std::uint8_t> block, TimePoint now) {
    const std::optional<ReportedSettings> report = FindReportFrame(block);
    if (report) {
        unanswered_ = unanswered_ > 0 ? unanswered_ - 1 : 0;
    }
    const bool announcing = HasPresenceSignature(block);
    announced_ = announced_ || announcing;
    switch (state_) {
    case State::Listening:
        if (announcing) {
            state_ = State::Announced;
        }
        return std::nullopt;
    case State::Querying:
        if (report) {
            state_ = State::Answered;
            report_ = report;
            return std::nullopt;
        }
        if (announcing) {
            // Only a block without a report: it has just woken up and may have missed the
            // query, so it is asked again.
            end_ = Deadline::Earliest(end_, Deadline::After(now, AnswerWindow));
            repeat_ = Deadline::After(now, QueryRepeat);
            return Sent(QueryFrame);
        }
        return std::nullopt;
    case State::Writing:
        if (!report) {
            return std::nullopt;
        }
        report_ = report;
        if (*report == written_) {
            state_ = State::Written;
        } else if (owed_ > 0) {
            --owed_; // an earlier query's answer, most likely
        } else {
            state_ = State::Kept;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<Frame> Exchange::TimePassed(TimePoint now) {
    if (!Busy()) {
        return std::nullopt;
    }
    if (end_.Expired(now)) {
        if (state_ == State::Listening) {
            state_ = State::Unannounced;
        } else if (state_ == State::Writing && report_) {
            state_ = State::Kept;
        } else {
            state_ = State::NoResponse;
        }
        return std::nullopt;
    }
    if (state_ == State::Querying && repeat_.Expired(now)) {
        repeat_ = Deadline::After(now, QueryRepeat);
        return Sent(QueryFrame);
    }
    return std::nullopt;
}

Deadline Exchange::Wake() const {
    return Busy() ? Deadline::Earliest(end_, repeat_) : Deadline::Never();
}

bool Exchange::Busy() const {
    return state_ == State::Listening || state_ == State::Querying || state_ == State::Writing;
}

} // namespace tvk9::cli
