#include "tools/cli/port_session.h"

namespace tvk9::cli {

PortSession::PortSession(Inbox& inbox, std::size_t number, std::string port)
    : number_(number), port_(std::move(port)), channel_(inbox, number), comm_(channel_) {
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
    // Each read returns as soon as there is anything to read (and empty, which would end the
    // receive worker, only after 49 days).
    comm_.SetReadIntervalTimeout(MaxDword);
    comm_.SetReadTotalTimeoutMultiplier(MaxDword);
    comm_.SetReadTotalTimeoutConstant(MaxDword - 1);
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
    const std::size_t number = next_++;
    auto& slot = open_[number];
    slot = std::make_unique<PortSession>(inbox_, number, port);
    return *slot;
}

bool Sessions::Run(const std::function<bool()>& step,
                   const std::function<void(const PortEvent&)>& onPortEvent,
                   const std::function<Deadline()>& wake) {
    while (!step()) {
        Deadline until = wake ? wake() : Deadline::Never();
        for (const auto& [number, session] : open_) {
            until = Deadline::Earliest(until, session->Wake());
        }
        std::optional<Event> event = inbox_.Take(until);
        const TimePoint now = SteadyClock::now();
        if (event) {
            if (std::holds_alternative<Interrupted>(*event)) {
                return false;
            }
            if (auto* note = std::get_if<PortNote>(&*event)) {
                // A closed session's last messages are dropped with their buffers.
                if (const auto found = open_.find(note->session); found != open_.end()) {
                    found->second->Handle(std::move(note->message), now);
                }
            } else if (onPortEvent) {
                onPortEvent(std::get<PortEvent>(*event));
            }
        }
        for (const auto& [number, session] : open_) {
            if (session->Wake().Expired(now)) {
                session->TimePassed(now);
            }
        }
    }
    return true;
}

} // namespace tvk9::cli
