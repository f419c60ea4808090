#pragma once

// The Linux port layer: a tty opened exclusively, driven with non-blocking reads and writes
// and ppoll() on the port and two eventfds (the close event, the transmit wake-up).

#include "serial/linux_port_use.h"
#include "serial/port.h"
#include "serial/read_window.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <termios.h>

namespace tvk9 {

// "COM3" names /dev/COM3; a name that begins with '/' is a path already.
std::string DevicePath(const std::string& comm_name);

// OpenSystemSerialPort, with the kernel's lists and the lock folders read from `roots`. A name
// that leads to no terminal is refused as NotSerial without being opened. On success the
// problem is Kind::None, and its detail tells what was passed over (a stale lock file).
OpenResult OpenSerialPortWith(const std::string& name, const linux_port::SystemRoots& roots);
// The same with what `holders` saw of other programs' descriptors, which the caller has
// brought up to date. Several threads may open with one look at once.
OpenResult OpenLinuxPort(const std::string& name, const linux_port::HolderLook& holders,
                         const linux_port::SystemRoots& roots = {});

// What an errno from a read, write, poll or ioctl means to the workers. The one place
// where error numbers are told apart.
enum class ErrnoMeaning {
    Retry,      // interrupted by a signal
    WouldBlock, // nothing to do yet: wait for the port
    PortClosed, // the descriptor went away under the worker: never reported
    Failure,    // anything else, EIO of a vanished device included
};
ErrnoMeaning MeaningOf(int error_number);

// The driver's line counters (TIOCGICOUNT) that the receive worker watches.
struct LineCounters {
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, buf_overrun = 0;
    std::uint32_t dcd = 0, rng = 0;
    bool operator==(const LineCounters&) const = default;
};
// Line error flags for the counters that moved between two snapshots.
std::uint32_t ErrorFlagsBetween(const LineCounters& before, const LineCounters& after);
// Line events (EvErr, EvRlsd, EvRing) for the counters that moved.
std::uint32_t EventsBetween(const LineCounters& before, const LineCounters& after);

// The line as the port was found at open, to be put back at close. The modem lines are read
// just after open(), which raises DTR and RTS: no descriptor shows them before it, and raised
// is what every program that opens the port finds.
struct SavedLine {
    std::optional<termios> settings;
    std::optional<std::uint32_t> customSpeed; // a rate without a B constant
    std::optional<int> modemLines;            // TIOCM_ bits; none on a pseudo-terminal
};
SavedLine SaveLine(int fd);
// Puts the line back; a device that went away is left alone.
void RestoreLine(int fd, const SavedLine& saved);

class LinuxSerialPort final : public SerialPort {
public:
    // Takes the open, locked descriptor, what the line was like before we touched it, and our
    // lock file; at close the line is put back and the lock file goes. The time-outs are
    // measured on `clock`, which both workers may call at once (tests give one of their own).
    LinuxSerialPort(int fd, SavedLine saved, linux_port::UucpLock lock,
                    std::function<SteadyClock::time_point()> clock = SteadyClock::now);
    ~LinuxSerialPort() override;
    LinuxSerialPort(const LinuxSerialPort&) = delete;
    LinuxSerialPort& operator=(const LinuxSerialPort&) = delete;

    bool IsCharDevice() override;
    bool SetupQueues(std::uint32_t in_size, std::uint32_t out_size) override;
    bool CreateEvents() override;

    void Purge(std::uint32_t actions) override;
    void ApplyLineSettings(const Dcb& dcb) override;
    void ApplyTimeouts(const CommTimeouts& timeouts) override;
    void SignalClose() override;
    bool CloseSignalled() const override;
    void WakeTransmitter() override;

    bool SetEventMask(std::uint32_t mask) override;
    ReceiveResult Receive(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint32_t> ClearErrors() override;

    WriteResult Write(std::span<const std::uint8_t> bytes) override;
    WakeReason WaitForRequest() override;

private:
    CommTimeouts Timeouts() const;
    std::optional<LineCounters> ReadCounters() const;
    // Line events since the last look, errors collected for ClearErrors.
    std::uint32_t TakeLineEvents();

    const int fd_;
    const SavedLine saved_;
    linux_port::UucpLock lock_; // goes after the descriptor is closed
    const std::function<SteadyClock::time_point()> clock_;
    int close_fd_ = -1;
    int wake_fd_ = -1;
    std::atomic<bool> close_signalled_{false};

    mutable std::mutex timeouts_mutex_;
    CommTimeouts timeouts_; // guarded by timeouts_mutex_

    // Receive worker only.
    struct PendingRead {
        ReadWindow window;
        std::size_t got = 0;
        SteadyClock::time_point last;
    };
    std::optional<PendingRead> read_;
    std::uint32_t event_mask_ = 0;
    std::optional<LineCounters> counters_; // empty when the driver keeps none
    std::uint32_t errors_ = 0;
};

} // namespace tvk9
