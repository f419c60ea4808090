#pragma once

// The Windows port layer: a COM port opened exclusively with overlapped I/O. The receive
// worker keeps one ReadFile and one WaitCommEvent outstanding and waits on [close event,
// line-event completion, read completion], in that order, so a stop is served first.

#include "serial/port.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tvk9 {

// "COM3" becomes \\.\COM3, which also reaches ports above COM9.
std::string DevicePath(const std::string& comm_name);

// What a Win32 error code means to the workers. The one place where error codes are told
// apart.
enum class Win32Meaning {
    Pending,     // ERROR_IO_PENDING: the operation goes on in the background
    PortClosed,  // ERROR_INVALID_HANDLE: the port went away under the worker; never reported
    Unsupported, // ERROR_NOT_SUPPORTED: the driver cannot do this at all
    Failure,     // anything else
};
Win32Meaning MeaningOf(DWORD error);

// Why CreateFileA refused the port, from its GetLastError code.
PortProblem OpenProblem(const std::string& port, DWORD error);

// The device control block with the component's settings written over `current`: the flag
// word replaced as a whole, the end-of-file and event characters and the length kept.
DCB DcbFor(DCB current, const Dcb& settings);

// An event handle, closed with its owner.
class EventHandle {
public:
    EventHandle() = default;
    explicit EventHandle(HANDLE h) : h_(h) {}
    ~EventHandle() { Reset(); }
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;
    void Reset(HANDLE h = nullptr) {
        if (h_ != nullptr)
            ::CloseHandle(h_);
        h_ = h;
    }
    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_ = nullptr;
};

class WindowsSerialPort final : public SerialPort {
public:
    // Takes the handle that CreateFileA opened for overlapped I/O, and notes the port's line
    // settings and time-outs as they are.
    explicit WindowsSerialPort(HANDLE handle);
    // Cancels and settles whatever I/O is still outstanding, puts back the line settings (the
    // DTR and RTS lines with them) and time-outs found, then closes the handle.
    ~WindowsSerialPort() override;
    WindowsSerialPort(const WindowsSerialPort&) = delete;
    WindowsSerialPort& operator=(const WindowsSerialPort&) = delete;

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
    // The outcome of an operation that did not complete at once.
    static ReceiveResult::Kind FailureKind(DWORD error);
    // Waits for an operation that was started on `ov` to end, after cancelling it.
    void Settle(OVERLAPPED& ov, bool& pending);

    HANDLE handle_;
    // What the port had when it was opened; nothing when the driver would not say.
    std::optional<DCB> saved_line_;
    std::optional<COMMTIMEOUTS> saved_timeouts_;
    EventHandle close_; // manual reset: once signalled it stays visible to both workers
    EventHandle wake_;  // auto reset: a write request was queued

    // Receive worker only. The read lands in a buffer of the port's own, so that a read still
    // outstanding when the worker ends never writes into memory the worker has released.
    EventHandle read_done_, event_done_, write_done_;
    OVERLAPPED read_ov_{}, event_ov_{};
    bool read_pending_ = false, event_pending_ = false;
    // False once the driver has said that it cannot wait for line events.
    bool line_events_ = true;
    DWORD event_mask_ = 0; // filled in by WaitCommEvent
    std::vector<std::uint8_t> read_buffer_;

    // Transmit worker only.
    OVERLAPPED write_ov_{};
    bool write_pending_ = false;
};

} // namespace tvk9
