#pragma once

// A simulated TVK9 device in the calling process, for tests of the programmer's parts: it
// serves a pseudo-terminal from a thread of its own from construction to destruction.
//
//     devsim::RunnerOptions options;
//     options.portFolder = tempFolder;          // else the system's port folder
//     options.device.delay = std::chrono::milliseconds(5);
//     devsim::SimulatedDevice device(options);
//     open(device.LinkPath().c_str(), ...);     // or device.SlavePath()
//
// The device greets every open with the presence signature and answers queries and writes as
// tvk9-devsim does; `options.log` (if set) may be read once the device has stopped.

#include "tools/devsim/pty_device.h"

#include <exception>
#include <thread>

namespace tvk9::devsim {

class SimulatedDevice {
public:
    // Throws tvk9::Exception when the port cannot be set up.
    explicit SimulatedDevice(RunnerOptions options);
    // Stops the device: the port closes under any program that has it open, the link goes.
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    const std::string& SlavePath() const { return device_.SlavePath(); }
    const std::filesystem::path& LinkPath() const { return device_.LinkPath(); }

    // Ends the device's thread and rethrows what ended it, if that was an error. Also true
    // after the device pulled its own cable (`unplugAfter`). Idempotent.
    void Stop();

private:
    PtyDevice device_;
    Fd stop_;
    std::exception_ptr error_;
    std::thread thread_;
};

} // namespace tvk9::devsim
