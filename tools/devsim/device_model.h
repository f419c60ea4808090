#pragma once

// The simulated TVK9 device as a pure state machine: bytes from the host go in, timed bytes for
// the host come out. It keeps no clock of its own; every call is given the time, so tests run
// it on a simulated clock and the pseudo-terminal runner on the steady clock.

#include "config/frames.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tvk9::devsim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = Clock::duration;
using Bytes = std::vector<std::uint8_t>;

// How long after an open the device greets: the program that opened the port usually throws
// away what came in before it had set the port up, so greeting at once could go unseen.
inline constexpr Duration GreetingDelay = std::chrono::milliseconds(10);

// One byte at 9600 baud, 8N1: ten bit times, about 1.04 ms.
inline constexpr Duration ByteTime = std::chrono::nanoseconds(1'000'000'000LL * 10 / 9600);

struct DeviceOptions {
    DeviceSettings settings{0x01, 10, 10, 10, 0, 0, 0};
    std::chrono::milliseconds delay{20};            // from a whole request to its answer
    bool baudTiming = false;                        // pace output at the line's byte time
    bool announce = true;                           // presence signature on every open
    bool silent = false;                            // never answer
    bool ignoreWrites = false;                      // keep the settings a write brings
    bool badChecksum = false;                       // answer with a wrong checksum
    std::optional<std::chrono::milliseconds> split; // answer in two parts, this far apart
    std::optional<unsigned> unplugAfter;            // pull the cable after this many answers
    std::optional<unsigned> floodAfter; // after this many answers, flood the port until it closes
};

// One line of the frame log, before the time stamp and direction are put in front.
struct LogEntry {
    Bytes bytes;
    std::string what;
    bool operator==(const LogEntry&) const = default;
};

// "12.345 rx AA 01 00 00 00 00 00 00 00 AB (query)": seconds since start with milliseconds,
// direction, the bytes in hex, what they were taken for.
std::string FormatLogLine(Duration sinceStart, std::string_view direction, const LogEntry& entry);

// Something the device does at a given time.
struct Action {
    enum class Kind { Send, Unplug, Flood };
    Kind kind = Kind::Send;
    TimePoint due{};
    Bytes bytes;                 // Send: what goes on the line at `due`
    std::optional<LogEntry> log; // the frame, or part of one, that these bytes begin
    bool endsAnswer = false;     // the last bytes of a report
    bool greeting = false;       // part of the presence signature
};

class DeviceModel {
public:
    explicit DeviceModel(DeviceOptions options);

    // A program opened the port (every opener is greeted, also a second one).
    void Opened(TimePoint now);
    // The program threw away its unread input. If that took the greeting with it, before the
    // program said anything, it is greeted once more.
    void InputFlushed(TimePoint now);
    // The last program closed the port: what was not yet sent and half-read frames are dropped.
    void Closed();
    // Bytes from the host. Frames may be split over calls and preceded by garbage; returns what
    // was made of the bytes, for the log.
    std::vector<LogEntry> Received(std::span<const std::uint8_t> bytes, TimePoint now);

    // When the next action falls due; nothing when the device waits for the host.
    std::optional<TimePoint> NextDue() const;
    // The actions due at `now`, in order. After an Unplug nothing more ever comes. A Flood comes
    // once, right after the answer it follows.
    std::vector<Action> TakeDue(TimePoint now);

    const DeviceSettings& Settings() const { return settings_; }
    unsigned AnswersSent() const { return answersSent_; }
    bool Unplugged() const { return unplugged_; }

private:
    void Handle(const Frame& frame, TimePoint now, std::vector<LogEntry>& log);
    void Answer(TimePoint now);
    TimePoint Schedule(std::span<const std::uint8_t> bytes, TimePoint earliest, std::string what,
                       bool endsAnswer, bool greeting = false);
    bool Exhausted() const;

    DeviceOptions options_;
    DeviceSettings settings_;
    Bytes rx_;               // received bytes not yet taken as a frame or skipped
    std::size_t logged_ = 0; // leading bytes of rx_ already shown in the log
    std::deque<Action> queue_;
    TimePoint lineFree_{}; // when the last scheduled byte has left
    unsigned answersSent_ = 0;
    unsigned answersQueued_ = 0;
    bool unplugged_ = false;
    // Since the last open: greeting sent, a frame heard, greeted a second time.
    bool greeted_ = false;
    bool heard_ = false;
    bool greetedAgain_ = false;
};

} // namespace tvk9::devsim
