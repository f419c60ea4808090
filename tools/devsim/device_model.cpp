#include "tools/devsim/device_model.h"

#include <algorithm>
#include <cstdio>

namespace tvk9::devsim {

namespace {

// Where a report is cut when it goes in two parts.
constexpr std::size_t SplitAt = FrameSize / 2;

} // namespace

std::string FormatLogLine(Duration sinceStart, std::string_view direction, const LogEntry& entry) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    std::string line = stamp;
    line += ' ';
    line += direction;
    for (std::uint8_t b : entry.bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    if (!entry.what.empty()) {
        line += " (" + entry.what + ")";
    }
    return line;
}

DeviceModel::DeviceModel(DeviceOptions options)
    : options_(std::move(options)), settings_(options_.settings) {}

void DeviceModel::Opened(TimePoint now) {
    greeted_ = heard_ = greetedAgain_ = false;
    if (options_.announce && !unplugged_) {
        Schedule(PresenceSignature, now + GreetingDelay, "presence", false, true);
    }
}

void DeviceModel::InputFlushed(TimePoint now) {
    if (greeted_ && !heard_ && !greetedAgain_ && !unplugged_) {
        greetedAgain_ = true;
        Schedule(PresenceSignature, now, "presence, again after a flush", false, true);
    }
}

void DeviceModel::Closed() {
    greeted_ = heard_ = greetedAgain_ = false;
    rx_.clear();
    logged_ = 0;
    queue_.clear();
    answersQueued_ = answersSent_;
}

std::vector<LogEntry> DeviceModel::Received(std::span<const std::uint8_t> bytes, TimePoint now) {
    std::vector<LogEntry> log;
    rx_.insert(rx_.end(), bytes.begin(), bytes.end());
    const auto drop = [this](std::size_t n) {
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
        logged_ = logged_ > n ? logged_ - n : 0;
    };
    for (;;) {
        // Everything before the next start byte is no frame.
        const auto start = std::find(rx_.begin(), rx_.end(), HostStart);
        const auto skipped = static_cast<std::size_t>(start - rx_.begin());
        if (skipped > logged_) {
            log.push_back(
                {Bytes(rx_.begin() + static_cast<std::ptrdiff_t>(logged_), start), "skipped"});
        }
        drop(skipped);
        if (rx_.size() < FrameSize) {
            return log; // wait for the rest
        }
        Frame frame{};
        std::copy_n(rx_.begin(), FrameSize, frame.begin());
        if (FrameChecksum(frame) == frame[FrameSize - 1]) {
            drop(FrameSize);
            Handle(frame, now, log);
            continue;
        }
        // A start byte whose ten bytes do not add up may be garbage in front of a good frame:
        // give up only this byte, so the frame behind it is still found.
        if (logged_ == 0) {
            log.push_back({Bytes(frame.begin(), frame.end()), "bad checksum"});
            logged_ = FrameSize;
        }
        drop(1);
    }
}

void DeviceModel::Handle(const Frame& frame, TimePoint now, std::vector<LogEntry>& log) {
    heard_ = true;
    const Bytes bytes(frame.begin(), frame.end());
    const auto request = ParseHostFrame(frame);
    if (!request) {
        log.push_back({bytes, "unknown command"});
        return;
    }
    if (request->command == Command::Settings) {
        log.push_back({bytes, options_.ignoreWrites ? "settings, ignored" : "settings"});
        if (!options_.ignoreWrites) {
            settings_ = request->settings;
        }
    } else {
        log.push_back({bytes, "query"});
    }
    Answer(now);
}

bool DeviceModel::Exhausted() const {
    return unplugged_ || (options_.unplugAfter && answersQueued_ >= *options_.unplugAfter);
}

void DeviceModel::Answer(TimePoint now) {
    if (options_.silent || Exhausted()) {
        return;
    }
    Frame report = BuildReportFrame(settings_);
    std::string what = "report";
    if (options_.badChecksum) {
        report[FrameSize - 1] = static_cast<std::uint8_t>(report[FrameSize - 1] + 1);
        what += ", bad checksum";
    }
    const std::span<const std::uint8_t> bytes(report);
    const TimePoint due = now + options_.delay;
    if (options_.split) {
        const TimePoint firstDone =
            Schedule(bytes.first(SplitAt), due, what + ", part 1 of 2", false);
        Schedule(bytes.subspan(SplitAt), firstDone + *options_.split, what + ", part 2 of 2", true);
    } else {
        Schedule(bytes, due, what, true);
    }
    ++answersQueued_;
}

TimePoint DeviceModel::Schedule(std::span<const std::uint8_t> bytes, TimePoint earliest,
                                std::string what, bool endsAnswer, bool greeting) {
    // One line: nothing overtakes what was scheduled before it.
    TimePoint at = std::max(earliest, lineFree_);
    LogEntry entry{Bytes(bytes.begin(), bytes.end()), std::move(what)};
    if (!options_.baudTiming) {
        queue_.push_back(
            {Action::Kind::Send, at, entry.bytes, std::move(entry), endsAnswer, greeting});
        lineFree_ = at;
        return at;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        Action a{Action::Kind::Send, at, Bytes{bytes[i]}, std::nullopt, false, greeting};
        if (i == 0) {
            a.log = entry;
        }
        a.endsAnswer = endsAnswer && i + 1 == bytes.size();
        queue_.push_back(std::move(a));
        at += ByteTime;
    }
    lineFree_ = at;
    return at;
}

std::optional<TimePoint> DeviceModel::NextDue() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    return queue_.front().due;
}

std::vector<Action> DeviceModel::TakeDue(TimePoint now) {
    std::vector<Action> due;
    while (!queue_.empty() && queue_.front().due <= now) {
        due.push_back(std::move(queue_.front()));
        queue_.pop_front();
        greeted_ = greeted_ || due.back().greeting;
        if (!due.back().endsAnswer) {
            continue;
        }
        ++answersSent_;
        if (options_.floodAfter && answersSent_ == *options_.floodAfter) {
            due.push_back({Action::Kind::Flood, due.back().due, {}, std::nullopt, false, false});
        }
        if (options_.unplugAfter && answersSent_ >= *options_.unplugAfter) {
            due.push_back({Action::Kind::Unplug, due.back().due, {}, std::nullopt, false, false});
            unplugged_ = true;
            queue_.clear();
            rx_.clear();
        }
    }
    return due;
}

} // namespace tvk9::devsim
