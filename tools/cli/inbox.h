#pragma once

// The owner thread's one queue. Everything that may wake tvk9-cli arrives here: what the serial
// components' workers report (tagged with the port's session), the signals that end the
// program, and changes where ports appear. Every wait of the program is one Take() with a
// deadline, so it sleeps until something happens and never polls.

#include "serial/deadline.h"
#include "serial/notify_channel.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace tvk9::cli {

// A notification of the serial component of one session.
struct PortNote {
    std::size_t session = 0;
    NotifyMessage message;
};

// SIGINT, SIGTERM, SIGHUP (Ctrl+C, kill, a closed terminal), or on Windows a console control
// event (Ctrl+C, Ctrl+Break, the console closed).
struct Interrupted {
    int signal = 0; // the signal's number, or the console event's
};

// An entry made or removed in a watched folder, or a change at a followed device node.
struct PortEvent {
    int watch = 0;    // the number PortWatch gave the folder or node
    std::string name; // the entry in the folder; empty for a node
    bool gone = false;
};

using Event = std::variant<PortNote, Interrupted, PortEvent>;

// An event and when it came: the time by which a sensor is judged, however long the owner took
// to read it.
struct Arrival {
    Event event;
    SteadyClock::time_point at;
};

class Inbox {
public:
    // Any thread; never waits for the owner. False when the event could not be queued: the
    // inbox holds at most MaxQueuedMessages events, as a notification channel does, but lets a
    // hang-up and an interruption in beyond that. The event is taken to have come now, or at
    // `at`.
    bool Post(Event event) noexcept { return Queue(std::move(event), std::nullopt); }
    bool Post(Event event, SteadyClock::time_point at) noexcept {
        return Queue(std::move(event), at);
    }
    // Owner's thread: the oldest event, waiting for one until `until`.
    std::optional<Arrival> Take(Deadline until);

private:
    bool Queue(Event event, std::optional<SteadyClock::time_point> at) noexcept;

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Arrival> queue_; // guarded by mutex_
};

// The notification channel of one session's serial component: its messages go to the inbox
// with the session's number.
class PortChannel final : public NotifyChannel {
public:
    PortChannel(Inbox& inbox, std::size_t session) : inbox_(inbox), session_(session) {}
    bool Post(NotifyMessage message) noexcept override {
        return inbox_.Post(PortNote{session_, std::move(message)});
    }

private:
    Inbox& inbox_;
    std::size_t session_;
};

} // namespace tvk9::cli
