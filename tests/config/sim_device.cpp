#include "tests/config/sim_device.h"

#include "common/error.h"
#include "serial/notify_channel.h"

#include <algorithm>

namespace tvk9::sim {

SimDevice& SimComm::AttachDevice(const std::string& name) {
    ports_.insert(name);
    return devices_[name];
}

void SimComm::Inject(Ms at, const Bytes& bytes) {
    if (open_) {
        Deliver(at, bytes);
    }
}

void SimComm::SetCommName(const std::string& name) {
    calls_.push_back("name " + name);
    commName_ = name;
}

void SimComm::SetInBufferSize(std::uint16_t size) {
    calls_.push_back("buffer " + std::to_string(size));
    inBufferSize_ = size == 0 ? 1 : size;
}

void SimComm::SetInputLen(std::uint16_t length) {
    // The component refuses a read length above its buffer size.
    calls_.push_back("len " + std::to_string(length));
    if (length == 0) {
        inputLen_ = inBufferSize_;
    } else if (length <= inBufferSize_) {
        inputLen_ = length;
    }
}

void SimComm::OpenPort() {
    openError_.clear();
    if (open_) {
        calls_.push_back("open refused");
        openError_ = "This serial port already opened";
        return;
    }
    if (failSetup_.contains(commName_)) {
        calls_.push_back("open raised");
        openError_ = "Cannot setup comm buffer";
        throw Exception(openError_);
    }
    if (!ports_.contains(commName_)) {
        calls_.push_back("open failed");
        openError_ = "Error opening serial port";
        return;
    }
    calls_.push_back("open " + commName_);
    open_ = true;
    openName_ = commName_;
    openInputLen_ = inputLen_;
    ++session_;
    opened_.push_back(commName_);
    if (auto it = devices_.find(openName_); it != devices_.end() && it->second.announces) {
        Deliver(loop_.Now() + it->second.announceAfter,
                Bytes(PresenceSignature.begin(), PresenceSignature.end()));
    }
}

void SimComm::ClosePort() {
    calls_.push_back("close");
    open_ = false;
}

bool SimComm::SendData(std::span<const std::uint8_t> bytes) {
    if (!open_) {
        return false;
    }
    sent_.push_back({loop_.Now(), openName_, Bytes(bytes.begin(), bytes.end())});
    auto it = devices_.find(openName_);
    if (it == devices_.end() || bytes.size() != FrameSize) {
        return true;
    }
    SimDevice& device = it->second;
    const auto request = ParseHostFrame(bytes.first<FrameSize>());
    if (!request) {
        return true;
    }
    device.received.push_back(*request);
    if (request->command == Command::Settings) {
        device.stored = device.applyWrite ? device.applyWrite(device.stored, request->settings)
                                          : request->settings;
    }
    if (device.answers) {
        const Frame report = BuildReportFrame(device.stored);
        Bytes reply(report.begin(), report.end());
        if (device.mangle) {
            reply = device.mangle(reply);
        }
        Deliver(loop_.Now() + device.answerAfter, reply);
        if (device.floodAfter == device.received.size()) {
            // More blocks than the component's queue holds before the window can take one.
            Deliver(loop_.Now() + device.answerAfter,
                    Bytes((MaxQueuedMessages + 1) * std::max<std::size_t>(openInputLen_, 1), 0));
        }
    }
    return true;
}

void SimComm::HangUp(Ms at) {
    loop_.Post(at, [this, session = session_] { EndReceiver(session); });
}

void SimComm::EndReceiver(std::uint64_t session) {
    if (open_ && session_ == session && ended_ != session) {
        ended_ = session;
        if (onHangup_) {
            onHangup_();
        }
    }
}

void SimComm::Deliver(Ms at, Bytes bytes) {
    // Only the port session that was open when the bytes were sent receives them.
    const std::uint64_t session = session_;
    const std::size_t readLen = std::max<std::size_t>(openInputLen_, 1);
    loop_.Post(at, [this, session, readLen, bytes = std::move(bytes)] {
        for (std::size_t p = 0; p < bytes.size(); p += readLen) {
            if (!open_ || session_ != session || ended_ == session) {
                return;
            }
            if (p == MaxQueuedMessages * readLen) {
                EndReceiver(session);
                return;
            }
            const std::size_t n = std::min(readLen, bytes.size() - p);
            const Bytes block(bytes.begin() + static_cast<std::ptrdiff_t>(p),
                              bytes.begin() + static_cast<std::ptrdiff_t>(p + n));
            delivered_.emplace_back(loop_.Now(), block);
            if (onReceive_) {
                onReceive_(block);
            }
        }
    });
}

} // namespace tvk9::sim
