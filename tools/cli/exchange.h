#pragma once

// One conversation with a sensor on one port, without input, output or a clock of its own:
// received blocks and the time go in, frames to send come out. The blocks are one stream: a
// frame counts the moment its last byte is in, whether it came in one block or in several, and
// the bytes that may begin a frame wait for the rest until the window they came in ends.
//
// - Listen: waits for the PresenceSignature until a deadline.
// - Query: sends the QueryFrame at once. A sensor that has just been opened may not hear it
//   yet, so it is sent again when the sensor announces itself and every QueryRepeat without
//   an answer. It ends with the first report, or without one AnswerWindow after a query sent
//   to an announced sensor, AnnouncementWindow + AnswerWindow after the start at the latest.
// - Write: sends a SettingsFrame and judges the first report that answers it against all seven
//   values, as the window's Timer1Timer does; no report within AnswerWindow is no response.
//   Reports still owed to earlier queries may come first: while some are owed, one that differs
//   from what was written is taken as theirs, and judged only if nothing better comes in time.

#include "config/frames.h"
#include "serial/deadline.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tvk9::cli {

using TimePoint = SteadyClock::time_point;

// The sensor answers every frame within this.
inline constexpr std::chrono::milliseconds AnswerWindow{500};
// It announces itself on a freshly opened port within one scan step of the window.
inline constexpr std::chrono::milliseconds AnnouncementWindow{700};
// An unanswered query goes again after this: long after a sensor's usual answer (tens of
// milliseconds), short beside the 500 ms the window waits before it asks.
inline constexpr std::chrono::milliseconds QueryRepeat{250};

// What the bytes of a stream complete, in order: the sensor's announcements and its reports
// with a good checksum. Bytes that may begin a frame are kept for the next block (at most a
// frame less one byte); everything else is dropped.
class FrameStream {
public:
    struct Completed {
        unsigned announcements = 0;
        std::vector<ReportedSettings> reports;
    };
    Completed Take(std::span<const std::uint8_t> block);
    void Clear() { pending_.clear(); }

private:
    std::vector<std::uint8_t> pending_;
};

class Exchange {
public:
    enum class State {
        Idle,
        Listening,
        Querying,
        Writing,
        Announced,   // Listen heard the PresenceSignature
        Unannounced, // Listen's time ran out
        Answered,    // a query's report came: Report()
        Written,     // the answer to a write carried the seven values written
        Kept,        // it carried others ("No Sucess!"): Report()
        NoResponse,  // no report in time ("No response!")
    };

    void Listen(TimePoint now, Deadline until);
    Frame Query(TimePoint now);
    Frame Write(const DeviceSettings& settings, TimePoint now);

    // A block received at `now`; returns a frame to send (a repeated query) or nothing.
    std::optional<Frame> Received(std::span<const std::uint8_t> block, TimePoint now);
    // Call once Wake() has come; returns a frame to send or nothing.
    std::optional<Frame> TimePassed(TimePoint now);
    // When TimePassed is due next; Never while nothing is under way.
    Deadline Wake() const;

    bool Busy() const;
    State Now() const { return state_; }
    // Whether the sensor has announced itself since the port was opened.
    bool Announced() const { return announced_; }
    // The report that ended a query or a write, as the sensor sent it.
    const std::optional<ReportedSettings>& Report() const { return report_; }
    const DeviceSettings& WrittenSettings() const { return written_; }

private:
    Frame Sent(const Frame& frame);
    void Take(const ReportedSettings& report);

    State state_ = State::Idle;
    bool announced_ = false;
    Deadline end_ = Deadline::Never();
    Deadline repeat_ = Deadline::Never();
    unsigned unanswered_ = 0; // frames sent that no report has answered yet
    unsigned owed_ = 0;       // of those, sent before the write under way
    DeviceSettings written_{};
    std::optional<ReportedSettings> report_;
    FrameStream stream_;
};

} // namespace tvk9::cli
