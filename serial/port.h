#pragma once

#include "serial/line_settings.h"
#include "serial/port_problem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace tvk9 {

// Purge actions.
inline constexpr std::uint32_t PurgeTxAbort = 0x0001;
inline constexpr std::uint32_t PurgeRxAbort = 0x0002;
inline constexpr std::uint32_t PurgeTxClear = 0x0004;
inline constexpr std::uint32_t PurgeRxClear = 0x0008;

// Line events the receive worker waits for.
inline constexpr std::uint32_t EvRlsd = 0x0020; // carrier detect changed
inline constexpr std::uint32_t EvErr = 0x0080;  // line error
inline constexpr std::uint32_t EvRing = 0x0100; // ring indicator

// Line error flags.
inline constexpr std::uint32_t CeRxOver = 0x0001;
inline constexpr std::uint32_t CeOverrun = 0x0002;
inline constexpr std::uint32_t CeRxParity = 0x0004;
inline constexpr std::uint32_t CeFrame = 0x0008;
inline constexpr std::uint32_t CeBreak = 0x0010;

// Modem event flags of OnModemStateChange.
inline constexpr std::uint32_t ModemEventRing = 4;
inline constexpr std::uint32_t ModemEventCarrier = 8;

// What one wait of the receive worker brought.
struct ReceiveResult {
    enum class Kind {
        ReadComplete, // a read ended: Count bytes (0: a total time-out ran out empty)
        LineEvent,    // EventMask holds EV_ bits; the read stays outstanding
        Stopped,      // the close event is signalled
        Closed,       // the port was closed under the worker: never reported
        Failed,       // anything else, the device gone included
    };
    Kind kind = Kind::Failed;
    std::size_t Count = 0;
    std::uint32_t EventMask = 0;
};

struct WriteResult {
    enum class Kind { Written, Stopped, Closed, Failed };
    Kind kind = Kind::Failed;
    std::size_t Written = 0; // may fall short of the request when a write time-out is set
};

enum class WakeReason { Request, Stopped, Failed };

// One open serial port: the part of the component that differs per operating system.
// The component owns it from a successful open until ClosePort. The owner's thread and both
// workers use it at the same time; each member says whose it is.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Owner's thread, while opening.
    virtual bool IsCharDevice() = 0;
    virtual bool SetupQueues(std::uint32_t in_size, std::uint32_t out_size) = 0;
    // Creates the close event (and whatever wakes the transmit worker).
    virtual bool CreateEvents() = 0;

    // Any thread. Failures are ignored, as values the driver refuses are.
    virtual void Purge(std::uint32_t actions) = 0;
    virtual void ApplyLineSettings(const Dcb& dcb) = 0;
    virtual void ApplyTimeouts(const CommTimeouts& timeouts) = 0;
    // The close event: manual reset, never reset while the port is open.
    virtual void SignalClose() = 0;
    virtual bool CloseSignalled() const = 0;
    // Wakes the transmit worker's WaitForRequest.
    virtual void WakeTransmitter() = 0;

    // Receive worker only.
    virtual bool SetEventMask(std::uint32_t mask) = 0;
    // Waits for the outstanding read of buffer.size() bytes (started by the first call, or
    // the first after a ReadComplete) or a line event, whichever comes first; the close
    // event wins over both.
    virtual ReceiveResult Receive(std::span<std::uint8_t> buffer) = 0;
    // Takes the line error flags collected since the last call; nullopt on failure.
    virtual std::optional<std::uint32_t> ClearErrors() = 0;

    // Transmit worker only.
    virtual WriteResult Write(std::span<const std::uint8_t> bytes) = 0;
    // Waits without a limit for WakeTransmitter or the close event; the close event wins.
    virtual WakeReason WaitForRequest() = 0;
};

// The outcome of opening a port: the port, or why there is none.
struct OpenResult {
    std::unique_ptr<SerialPort> port;
    // Kind::None with a port, whose detail may tell what the open passed over; NotSerial
    // without a port for a name found to lead to no terminal without opening it.
    PortProblem problem;
};

// Opens the port named by a CommName, exclusively. A port that another program uses is
// refused before anything about it changes.
using SerialPortOpener = std::function<OpenResult(const std::string& name)>;

// The operating system's own port layer. Closing the port puts back the line settings and
// modem lines that it had when it was opened.
OpenResult OpenSystemSerialPort(const std::string& name);

// The same with a memory, for a program that opens port after port. Before it opens one it
// looks for another program using it; on Linux that look keeps what it has learnt of other
// programs' descriptors from one open to the next. Its first look, the one that costs, begins
// on a thread of its own as this is made, and while opens come at a steady pace (a scan's)
// the look walks on that thread shortly before the next one is due: an open walks only what
// ran since. Copies share one memory; use them from one thread at a time.
class SystemPorts {
public:
    SystemPorts();

    // Brings the look up to date and opens.
    OpenResult Open(const std::string& name) const;
    // An opener for TComm that opens as Open does.
    SerialPortOpener Opener() const {
        return [ports = *this](const std::string& name) { return ports.Open(name); };
    }
    // For ports opened at once: brings the look up to date once, and returns an opener that
    // opens with it as it stands. Several threads may call that opener at the same time, as long
    // as nothing else uses this memory until they are done.
    SerialPortOpener OpenerForMany() const;

private:
    struct Memory;
    std::shared_ptr<Memory> memory_;
};

// Raises the calling thread's priority by `steps` above normal where permitted.
void RaiseThreadPriority(int steps) noexcept;

} // namespace tvk9
