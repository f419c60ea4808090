#pragma once

// The serial port component as the window sees it, over simulated ports, with scripted
// devices behind some of them. What a device sends reaches the window as received blocks of at
// most the read length that was in force when the port was opened, as the component delivers
// them.

#include "config/frames.h"
#include "config/window_ports.h"
#include "tests/config/sim_loop.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace tvk9::sim {

using Bytes = std::vector<std::uint8_t>;

// A device on one port. It announces itself on every fresh open and answers every frame it
// understands with its settings after the command.
struct SimDevice {
    DeviceSettings stored{};
    bool announces = true;
    Ms announceAfter = 50;
    bool answers = true;
    Ms answerAfter = 100;
    // What a write leaves in the device; by default exactly what was written.
    std::function<DeviceSettings(const DeviceSettings& current, const DeviceSettings& written)>
        applyWrite;
    // Replaces the bytes of an answer (damaged, split or foreign replies).
    std::function<Bytes(const Bytes& report)> mangle;
    // After this many answers it sends bytes without end, once, until the port is closed.
    std::optional<std::size_t> floodAfter;

    std::vector<HostRequest> received; // every frame the device understood
};

class SimComm : public CommLink {
public:
    explicit SimComm(SimLoop& loop) : loop_(loop) {}

    // The window's receive event.
    void OnReceive(std::function<void(std::span<const std::uint8_t>)> handler) {
        onReceive_ = std::move(handler);
    }
    // The window's hang-up event: the receive worker ends on a failure of the port at `at`
    // (HangUp), or when its blocks find the component's queue full.
    void OnHangup(std::function<void()> handler) { onHangup_ = std::move(handler); }
    void HangUp(Ms at);

    // Ports that exist on the system (opening any other name fails quietly), and the device on
    // a port.
    void AddPort(const std::string& name) { ports_.insert(name); }
    void RemovePort(const std::string& name) { ports_.erase(name); }
    SimDevice& AttachDevice(const std::string& name);
    // Opening this name raises, as when the port's queues cannot be set up.
    void FailSetup(const std::string& name) { failSetup_.insert(name); }
    void HealSetup(const std::string& name) { failSetup_.erase(name); }

    // Bytes that the open port delivers at `at`, whatever sent them.
    void Inject(Ms at, const Bytes& bytes);

    void SetCommName(const std::string& name) override;
    std::string CommName() const override { return commName_; }
    void SetInBufferSize(std::uint16_t size) override;
    void SetInputLen(std::uint16_t length) override;
    void OpenPort() override;
    void ClosePort() override;
    bool SendData(std::span<const std::uint8_t> bytes) override;
    PortProblem OpenProblem() const override { return {}; } // failures are told by calls

    bool PortOpen() const { return open_; }
    std::string OpenName() const { return open_ ? openName_ : std::string(); }
    const std::string& PortOpenError() const { return openError_; }
    std::uint16_t InBufferSize() const { return inBufferSize_; }
    std::uint16_t InputLen() const { return inputLen_; }

    struct Sent {
        Ms at;
        std::string port;
        Bytes bytes;
    };
    // Frames that went out on an open port.
    const std::vector<Sent>& SentFrames() const { return sent_; }
    // Names of ports that were opened, in order (refused and failed opens are not listed).
    const std::vector<std::string>& Opened() const { return opened_; }
    // Every call, in order, for tests of the sequence: "name X", "buffer N", "len N",
    // "open X", "open refused", "open failed", "close".
    const std::vector<std::string>& Calls() const { return calls_; }
    // Received blocks handed to the window, with the moment.
    const std::vector<std::pair<Ms, Bytes>>& Delivered() const { return delivered_; }

private:
    void Deliver(Ms at, Bytes bytes);
    void EndReceiver(std::uint64_t session);

    SimLoop& loop_;
    std::function<void(std::span<const std::uint8_t>)> onReceive_;
    std::function<void()> onHangup_;
    std::uint64_t ended_ = 0; // the session whose receive worker has ended
    std::set<std::string> ports_;
    std::set<std::string> failSetup_;
    std::map<std::string, SimDevice> devices_;

    // As the form stores them.
    std::string commName_ = "COM1";
    std::uint16_t inBufferSize_ = 10;
    std::uint16_t inputLen_ = 10;

    bool open_ = false;
    std::string openName_;
    std::uint16_t openInputLen_ = 0;
    std::uint64_t session_ = 0;
    std::string openError_;

    std::vector<Sent> sent_;
    std::vector<std::string> opened_;
    std::vector<std::string> calls_;
    std::vector<std::pair<Ms, Bytes>> delivered_;
};

// The system's list of serial ports, read afresh at every call.
class SimPortLister : public PortLister {
public:
    std::vector<std::string> ports;
    std::function<std::vector<std::string>()> source; // when set, the list comes from here
    std::map<std::string, std::string> details;
    int calls = 0;
    std::vector<std::string> ListSerialPorts() override {
        ++calls;
        return source ? source() : ports;
    }
    std::string PortDetails(const std::string& name) override { return details[name]; }
    std::string ToolTip(const std::string& name) override { return details[name]; }
};

} // namespace tvk9::sim
