#pragma once

// A sensor's port as the commands use it: the serial component with its own notification
// channel into the inbox, and the exchange on it. Sessions holds the open ones and runs the
// one loop that every command waits in.

#include "serial/comm.h"
#include "serial/port_problem.h"
#include "tools/cli/exchange.h"
#include "tools/cli/inbox.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tvk9::cli {

// A read ends when no byte has come for this long: no pause inside a frame is awaited.
inline constexpr std::chrono::milliseconds ByteGap{1};
// The receive buffer and read length of a port in use, as the window's: a report and what
// precedes it (the three bytes of the PresenceSignature) fit one block.
inline constexpr std::uint16_t ReadLength = 20;

class PortSession {
public:
    // `opener` opens the port.
    PortSession(Inbox& inbox, std::size_t number, std::string port, SerialPortOpener opener);
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Opens the port; the problem is Kind::None when it opened. Received bytes are delivered as
    // soon as they are there, with no pause awaited: the exchange puts frames together. May run
    // on another thread than the one that uses the session afterwards, while nothing else
    // touches the session; that thread's end hands it over.
    PortProblem Open();
    const std::string& Port() const { return port_; }
    std::size_t Number() const { return number_; }

    void Listen(TimePoint now, Deadline until) { exchange_.Listen(now, until); }
    void Query(TimePoint now) { Send(exchange_.Query(now)); }
    void Write(const DeviceSettings& settings, TimePoint now) {
        Send(exchange_.Write(settings, now));
    }

    // A notification of this session's component, taken from the inbox at `now`.
    void Handle(NotifyMessage message, TimePoint now);
    void TimePassed(TimePoint now) { Send(exchange_.TimePassed(now)); }
    Deadline Wake() const { return gone_ ? Deadline::Never() : exchange_.Wake(); }

    bool Busy() const { return !gone_ && exchange_.Busy(); }
    // The port went away under the exchange (unplugged): nothing more comes.
    bool Gone() const { return gone_; }
    const Exchange& Talk() const { return exchange_; }

private:
    void Send(const std::optional<Frame>& frame);

    std::size_t number_;
    std::string port_;
    PortChannel channel_; // outlives the component, which posts into it
    TComm comm_;
    Exchange exchange_;
    bool gone_ = false;
    TimePoint now_{};
};

class Sessions {
public:
    explicit Sessions(Inbox& inbox) : inbox_(inbox) {}

    // A session for the port, opened with what the sessions have learnt of other programs'
    // descriptors, not yet open.
    PortSession& Add(const std::string& port);
    // A session for each port, all opened at once after one look at other programs'
    // descriptors; each with its problem, Kind::None for those that opened.
    std::vector<std::pair<PortSession*, PortProblem>>
    OpenAll(const std::vector<std::string>& ports);
    // Closes the port: its settings are put back.
    void Remove(const PortSession& session) { open_.erase(session.Number()); }
    std::map<std::size_t, std::unique_ptr<PortSession>>& Open() { return open_; }

    // Calls `step` and waits for the next event, until `step` returns true; notifications go to
    // their sessions, port events to `onPortEvent`, and each session whose time has come is
    // told so. `wake`, if given, names one more time to wake at. Returns false when the
    // program was interrupted.
    bool Run(const std::function<bool()>& step,
             const std::function<void(const PortEvent&)>& onPortEvent = {},
             const std::function<Deadline()>& wake = {});

    Inbox& InboxOf() { return inbox_; }

private:
    PortSession& Add(const std::string& port, SerialPortOpener opener);
    // Each session whose time has come by `now` is told so.
    void Expire(TimePoint now);

    Inbox& inbox_;
    SystemPorts ports_;
    std::size_t next_ = 1;
    std::map<std::size_t, std::unique_ptr<PortSession>> open_;
};

} // namespace tvk9::cli
