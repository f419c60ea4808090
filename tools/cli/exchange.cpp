#include "tools/cli/exchange.h"

#include <algorithm>

namespace tvk9::cli {

namespace {

constexpr auto ReportCommand = static_cast<std::uint8_t>(Command::Report);

// Whether `rest` (not empty) may be the beginning of the PresenceSignature or of a report.
bool MayBegin(std::span<const std::uint8_t> rest) {
    const bool signature = rest.size() < PresenceSignature.size() &&
                           std::equal(rest.begin(), rest.end(), PresenceSignature.begin());
    const bool report = rest.size() < FrameSize && rest[0] == DeviceStart &&
                        (rest.size() == 1 || rest[1] == ReportCommand);
    return signature || report;
}

} // namespace

FrameStream::Completed FrameStream::Take(std::span<const std::uint8_t> block) {
    std::vector<std::uint8_t> bytes = std::move(pending_);
    bytes.insert(bytes.end(), block.begin(), block.end());
    Completed completed;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::span<const std::uint8_t> rest(bytes.data() + at, bytes.size() - at);
        if (rest.size() >= PresenceSignature.size() &&
            std::equal(PresenceSignature.begin(), PresenceSignature.end(), rest.begin())) {
            ++completed.announcements;
            at += PresenceSignature.size();
        } else if (rest.size() >= FrameSize && rest[0] == DeviceStart && rest[1] == ReportCommand) {
            const auto report = FindReportFrame(rest.first(FrameSize));
            if (report) {
                completed.reports.push_back(*report);
            }
            at += report ? FrameSize : 1;
        } else if (MayBegin(rest)) {
            break; // the rest of it may come in the next block
        } else {
            ++at;
        }
    }
    pending_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    return completed;
}

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
    const FrameStream::Completed completed = stream_.Take(block);
    announced_ = announced_ || completed.announcements > 0;
    for (const ReportedSettings& report : completed.reports) {
        unanswered_ = unanswered_ > 0 ? unanswered_ - 1 : 0;
        Take(report);
    }
    if (state_ == State::Listening && completed.announcements > 0) {
        state_ = State::Announced;
    } else if (state_ == State::Querying && completed.announcements > 0) {
        // Announced without a report: it has just woken up and may have missed the query, so
        // it is asked again.
        end_ = Deadline::Earliest(end_, Deadline::After(now, AnswerWindow));
        repeat_ = Deadline::After(now, QueryRepeat);
        return Sent(QueryFrame);
    }
    return std::nullopt;
}

void Exchange::Take(const ReportedSettings& report) {
    if (state_ == State::Querying) {
        state_ = State::Answered;
        report_ = report;
    } else if (state_ == State::Writing) {
        report_ = report;
        if (report == written_) {
            state_ = State::Written;
        } else if (owed_ > 0) {
            --owed_; // an earlier query's answer, most likely
        } else {
            state_ = State::Kept;
        }
    }
}

std::optional<Frame> Exchange::TimePassed(TimePoint now) {
    if (!Busy()) {
        return std::nullopt;
    }
    if (end_.Expired(now)) {
        // What has not become a frame by now is not the answer.
        stream_.Clear();
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
