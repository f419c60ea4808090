#include "tools/cli/port_session.h"

#include <algorithm>
#include <thread>

namespace tvk9::cli {

PortSession::PortSession(Inbox& inbox, std::size_t number, std::string port,
                         SerialPortOpener opener)
    : number_(number), port_(std::move(port)), channel_(inbox, number),
      comm_(channel_, std::move(opener)) {
    comm_.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        Send(exchange_.Received({buffer, length}, now_));
    };
    comm_.OnRequestHangup = [this](TComm&) { gone_ = true; };
}

PortProblem PortSession::Open() {
    comm_.SetCommName(port_);
    // The buffer first: the component refuses a read length above it.
    comm_.SetInBufferSize(ReadLength);
    comm_.SetInputLen(ReadLength);
    // A read waits for its first byte without a limit and ends a millisecond after the last:
    // the bytes are passed on as they come. (Returning at once with what is there, interval and
    // multiplier MAXDWORD, would need a total time-out that Wine does not keep.)
    comm_.SetReadIntervalTimeout(static_cast<std::uint32_t>(ByteGap.count()));
    try {
        comm_.OpenPort();
    } catch (const ECommsError& e) {
        return {PortProblem::Kind::Other, port_ + ": " + e.what(), {}};
    }
    return comm_.OpenProblem();
}

void PortSession::Handle(NotifyMessage message, TimePoint now) {
    now_ = now;
    comm_.Dispatch(std::move(message));
}

void PortSession::Send(const std::optional<Frame>& frame) {
    // A port whose transmit worker has ended takes nothing; its hang-up follows.
    if (frame && !gone_) {
        comm_.SendData(*frame);
    }
}

PortSession& Sessions::Add(const std::string& port) {
    return Add(port, ports_.Opener());
}

PortSession& Sessions::Add(const std::string& port, SerialPortOpener opener) {
    const std::size_t number = next_++;
    auto& slot = open_[number];
    slot = std::make_unique<PortSession>(inbox_, number, port, std::move(opener));
    return *slot;
}

std::vector<std::pair<PortSession*, PortProblem>>
Sessions::OpenAll(const std::vector<std::string>& ports) {
    const SerialPortOpener opener = ports_.OpenerForMany();
    std::vector<std::pair<PortSession*, PortProblem>> opened;
    for (const std::string& port : ports) {
        opened.emplace_back(&Add(port, opener), PortProblem{});
    }
    // Thread t opens sessions t, t + n, t + 2n, ...: each has one thread, whose join hands it
    // back. An open waits mostly for the driver, so more threads than processors.
    constexpr std::size_t AtOnce = 16;
    const std::size_t threads = std::min(opened.size(), AtOnce);
    const auto slice = [&opened, threads](std::size_t first) {
        for (std::size_t i = first; i < opened.size(); i += threads) {
            opened[i].second = opened[i].first->Open();
        }
    };
    {
        std::vector<std::jthread> running;
        for (std::size_t t = 1; t < threads; ++t) {
            running.emplace_back(slice, t);
        }
        slice(0);
    }
    return opened;
}

bool Sessions::Run(const std::function<bool()>& step,
                   const std::function<void(const PortEvent&)>& onPortEvent,
                   const std::function<Deadline()>& wake) {
    while (!step()) {
        Deadline until = wake ? wake() : Deadline::Never();
        for (const auto& [number, session] : open_) {
            until = Deadline::Earliest(until, session->Wake());
        }
        std::optional<Arrival> arrival = inbox_.Take(until);
        if (!arrival) {
            // Nothing came before `until`: every time up to it has come.
            Expire(until.When());
            continue;
        }
        // What was due before the event came is done first: a sensor is judged by when its
        // bytes came, however long they waited in the inbox.
        Expire(arrival->at);
        if (std::holds_alternative<Interrupted>(arrival->event)) {
            return false;
        }
        if (auto* note = std::get_if<PortNote>(&arrival->event)) {
            // A closed session's last messages are dropped with their buffers.
            if (const auto found = open_.find(note->session); found != open_.end()) {
                found->second->Handle(std::move(note->message), arrival->at);
            }
        } else if (onPortEvent) {
            onPortEvent(std::get<PortEvent>(arrival->event));
        }
    }
    return true;
}

void Sessions::Expire(TimePoint now) {
    for (const auto& [number, session] : open_) {
        if (session->Wake().Expired(now)) {
            session->TimePassed(now);
        }
    }
}

} // namespace tvk9::cli
