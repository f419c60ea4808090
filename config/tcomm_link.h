#pragma once

// The main window's view of its serial port component: CommLink over a TComm.

#include "config/window_ports.h"
#include "serial/comm.h"

namespace tvk9 {

class TCommLink final : public CommLink {
public:
    explicit TCommLink(TComm& comm) : comm_(comm) {}

    void SetCommName(const std::string& name) override { comm_.SetCommName(name); }
    std::string CommName() const override { return comm_.CommName(); }
    void SetInBufferSize(std::uint16_t size) override { comm_.SetInBufferSize(size); }
    void SetInputLen(std::uint16_t length) override { comm_.SetInputLen(length); }
    void OpenPort() override { comm_.OpenPort(); }
    void ClosePort() override { comm_.ClosePort(); }
    bool SendData(std::span<const std::uint8_t> bytes) override { return comm_.SendData(bytes); }
    PortProblem OpenProblem() const override { return comm_.OpenProblem(); }

private:
    TComm& comm_;
};

} // namespace tvk9
