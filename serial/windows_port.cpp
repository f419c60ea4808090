#include "serial/windows_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace tvk9 {

namespace {

HANDLE NewEvent(bool manual_reset, bool signalled) {
    return ::CreateEventA(nullptr, manual_reset ? TRUE : FALSE, signalled ? TRUE : FALSE, nullptr);
}

bool Signalled(HANDLE event) {
    return event != nullptr && ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

} // namespace

std::string DevicePath(const std::string& comm_name) {
    return "\\\\.\\" + comm_name;
}

Win32Meaning MeaningOf(DWORD error) {
    switch (error) {
    case ERROR_IO_PENDING:
        return Win32Meaning::Pending;
    case ERROR_INVALID_HANDLE:
        return Win32Meaning::PortClosed;
    case ERROR_NOT_SUPPORTED:
        return Win32Meaning::Unsupported;
    default:
        return Win32Meaning::Failure;
    }
}

DCB DcbFor(DCB d, const Dcb& s) {
    d.BaudRate = s.BaudRate;
    const std::uint32_t f = s.Flags;
    d.fBinary = (f & dcb::fBinary) != 0;
    d.fParity = (f & dcb::fParity) != 0;
    d.fOutxCtsFlow = (f & dcb::fOutxCtsFlow) != 0;
    d.fOutxDsrFlow = (f & dcb::fOutxDsrFlow) != 0;
    d.fDtrControl = DtrControlField(f);
    d.fDsrSensitivity = (f & dcb::fDsrSensitivity) != 0;
    d.fTXContinueOnXoff = (f & dcb::fTXContinueOnXoff) != 0;
    d.fOutX = (f & dcb::fOutX) != 0;
    d.fInX = (f & dcb::fInX) != 0;
    d.fErrorChar = (f & dcb::fErrorChar) != 0;
    d.fNull = (f & dcb::fNull) != 0;
    d.fRtsControl = RtsControlField(f);
    d.fAbortOnError = (f & dcb::fAbortOnError) != 0;
    d.fDummy2 = 0;
    d.XonLim = s.XonLim;
    d.XoffLim = s.XoffLim;
    d.ByteSize = s.ByteSize;
    d.Parity = s.Parity;
    d.StopBits = s.StopBits;
    d.XonChar = s.XonChar;
    d.XoffChar = s.XoffChar;
    d.ErrorChar = s.ErrorChar;
    return d;
}

// ---------------------------------------------------------------------------------------

PortProblem OpenProblem(const std::string& port, DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED: // the port is opened without sharing: another program has it
    case ERROR_SHARING_VIOLATION:
        return DiagnoseOpenFailure(port, EBUSY);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return DiagnoseOpenFailure(port, ENOENT);
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
        return DiagnoseOpenFailure(port, ENODEV);
    default:
        return {PortProblem::Kind::Other,
                port + ": " + std::system_category().message(static_cast<int>(error)),
                {}};
    }
}

OpenResult OpenSystemSerialPort(const std::string& name) {
    const HANDLE h =
        ::CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {nullptr, OpenProblem(name, ::GetLastError())};
    return {std::make_unique<WindowsSerialPort>(h), {}};
}

// Windows tells of another program's use of a port only to an open: there is nothing to keep.
struct SystemPorts::Memory {};

SystemPorts::SystemPorts() : memory_(std::make_shared<Memory>()) {}

OpenResult SystemPorts::Open(const std::string& name) const {
    return OpenSystemSerialPort(name);
}

SerialPortOpener SystemPorts::OpenerForMany() const {
    return OpenSystemSerialPort;
}

void RaiseThreadPriority(int steps) noexcept {
    // Two steps is THREAD_PRIORITY_HIGHEST, the highest below time-critical.
    const int priority = THREAD_PRIORITY_NORMAL + std::clamp(steps, -2, 2);
    ::SetThreadPriority(::GetCurrentThread(), priority);
}

// ---------------------------------------------------------------------------------------

WindowsSerialPort::WindowsSerialPort(HANDLE handle) : handle_(handle) {
    DCB line{};
    line.DCBlength = sizeof line;
    if (::GetCommState(handle_, &line))
        saved_line_ = line;
    COMMTIMEOUTS timeouts{};
    if (::GetCommTimeouts(handle_, &timeouts))
        saved_timeouts_ = timeouts;
}

WindowsSerialPort::~WindowsSerialPort() {
    // The workers have ended; an operation they left outstanding (a line-event wait, a read
    // after the last notification) still refers to this object until it is settled.
    Settle(read_ov_, read_pending_);
    // A new event mask ends a pending line-event wait at once. Wine does not cancel one on a
    // real serial device (which it waits on with a thread of its own), so without this the
    // close would wait for ever.
    if (event_pending_)
        ::SetCommMask(handle_, 0);
    Settle(event_ov_, event_pending_);
    Settle(write_ov_, write_pending_);
    // Windows keeps a port's settings from one program to the next: the next finds them as
    // they were before this one.
    if (saved_line_)
        ::SetCommState(handle_, &*saved_line_);
    if (saved_timeouts_)
        ::SetCommTimeouts(handle_, &*saved_timeouts_);
    ::CloseHandle(handle_);
}

void WindowsSerialPort::Settle(OVERLAPPED& ov, bool& pending) {
    if (!pending)
        return;
    ::CancelIoEx(handle_, &ov);
    DWORD ignored = 0;
    ::GetOverlappedResult(handle_, &ov, &ignored, TRUE);
    pending = false;
}

bool WindowsSerialPort::IsCharDevice() {
    return ::GetFileType(handle_) == FILE_TYPE_CHAR;
}

bool WindowsSerialPort::SetupQueues(std::uint32_t in_size, std::uint32_t out_size) {
    return ::SetupComm(handle_, in_size, out_size) != FALSE;
}

bool WindowsSerialPort::CreateEvents() {
    close_.Reset(NewEvent(true, false));
    wake_.Reset(NewEvent(false, false));
    // The completion events of the workers' overlapped records: manual reset, signalled.
    read_done_.Reset(NewEvent(true, true));
    event_done_.Reset(NewEvent(true, true));
    write_done_.Reset(NewEvent(true, true));
    read_ov_.hEvent = read_done_.Get();
    event_ov_.hEvent = event_done_.Get();
    write_ov_.hEvent = write_done_.Get();
    return close_ && wake_ && read_done_ && event_done_ && write_done_;
}

void WindowsSerialPort::Purge(std::uint32_t actions) {
    ::PurgeComm(handle_, actions);
}

void WindowsSerialPort::ApplyLineSettings(const Dcb& settings) {
    DCB current{};
    current.DCBlength = sizeof current;
    ::GetCommState(handle_, &current);
    DCB wanted = DcbFor(current, settings);
    ::SetCommState(handle_, &wanted);
}

void WindowsSerialPort::ApplyTimeouts(const CommTimeouts& t) {
    COMMTIMEOUTS current{};
    ::GetCommTimeouts(handle_, &current);
    current.ReadIntervalTimeout = t.ReadIntervalTimeout;
    current.ReadTotalTimeoutMultiplier = t.ReadTotalTimeoutMultiplier;
    current.ReadTotalTimeoutConstant = t.ReadTotalTimeoutConstant;
    current.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
    current.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
    ::SetCommTimeouts(handle_, &current);
}

void WindowsSerialPort::SignalClose() {
    if (close_)
        ::SetEvent(close_.Get());
}

bool WindowsSerialPort::CloseSignalled() const {
    return Signalled(close_.Get());
}

void WindowsSerialPort::WakeTransmitter() {
    ::SetEvent(wake_.Get());
}

// ---------------------------------------------------------------------------------------

bool WindowsSerialPort::SetEventMask(std::uint32_t mask) {
    return ::SetCommMask(handle_, mask) != FALSE;
}

ReceiveResult::Kind WindowsSerialPort::FailureKind(DWORD error) {
    return MeaningOf(error) == Win32Meaning::PortClosed ? ReceiveResult::Kind::Closed
                                                        : ReceiveResult::Kind::Failed;
}

ReceiveResult WindowsSerialPort::Receive(std::span<std::uint8_t> buffer) {
    using Kind = ReceiveResult::Kind;
    const auto read_complete = [&](DWORD count) {
        const std::size_t n = std::min<std::size_t>(count, buffer.size());
        std::copy_n(read_buffer_.begin(), n, buffer.begin());
        return ReceiveResult{Kind::ReadComplete, n, 0};
    };
    DWORD count = 0;
    // A wait for line events first, then the read; each is started only while none is
    // outstanding, and neither once the close event is signalled.
    if (CloseSignalled())
        return {Kind::Stopped, 0, 0};
    if (line_events_ && !event_pending_) {
        if (::WaitCommEvent(handle_, &event_mask_, &event_ov_))
            return {Kind::LineEvent, 0, event_mask_};
        const DWORD error = ::GetLastError();
        // A driver that cannot wait for line events at all (Wine's on a pseudo-terminal or a
        // USB adapter without line status) still delivers bytes: read without line events,
        // as the Linux layer does on drivers without line counters.
        if (MeaningOf(error) == Win32Meaning::Unsupported)
            line_events_ = false;
        else if (MeaningOf(error) != Win32Meaning::Pending)
            return {FailureKind(error), 0, 0};
        else
            event_pending_ = true;
    }
    if (!read_pending_) {
        read_buffer_.resize(std::max(read_buffer_.size(), buffer.size()));
        const auto asked = static_cast<DWORD>(buffer.size());
        if (::ReadFile(handle_, read_buffer_.data(), asked, nullptr, &read_ov_)) {
            if (!::GetOverlappedResult(handle_, &read_ov_, &count, FALSE))
                return {FailureKind(::GetLastError()), 0, 0};
            return read_complete(count);
        }
        const DWORD error = ::GetLastError();
        if (MeaningOf(error) != Win32Meaning::Pending)
            return {FailureKind(error), 0, 0};
        read_pending_ = true;
    }

    // Signalled together, the close event is reported first. Without line events the wait
    // set is [close event, read completion].
    const HANDLE with_events[3] = {close_.Get(), event_done_.Get(), read_done_.Get()};
    const HANDLE without_events[2] = {close_.Get(), read_done_.Get()};
    DWORD woken = line_events_ ? ::WaitForMultipleObjects(3, with_events, FALSE, INFINITE)
                               : ::WaitForMultipleObjects(2, without_events, FALSE, INFINITE);
    if (!line_events_ && woken == WAIT_OBJECT_0 + 1)
        woken = WAIT_OBJECT_0 + 2;
    switch (woken) {
    case WAIT_OBJECT_0:
        return {Kind::Stopped, 0, 0};
    case WAIT_OBJECT_0 + 1:
        event_pending_ = false;
        if (!::GetOverlappedResult(handle_, &event_ov_, &count, FALSE))
            return {FailureKind(::GetLastError()), 0, 0};
        return {Kind::LineEvent, 0, event_mask_};
    case WAIT_OBJECT_0 + 2:
        read_pending_ = false;
        if (!::GetOverlappedResult(handle_, &read_ov_, &count, FALSE))
            return {FailureKind(::GetLastError()), 0, 0};
        return read_complete(count);
    default:
        return {Kind::Failed, 0, 0};
    }
}

std::optional<std::uint32_t> WindowsSerialPort::ClearErrors() {
    DWORD errors = 0;
    if (!::ClearCommError(handle_, &errors, nullptr))
        return std::nullopt;
    return errors;
}

// ---------------------------------------------------------------------------------------

WriteResult WindowsSerialPort::Write(std::span<const std::uint8_t> bytes) {
    using Kind = WriteResult::Kind;
    const auto failed = [](DWORD error) {
        return WriteResult{
            MeaningOf(error) == Win32Meaning::PortClosed ? Kind::Closed : Kind::Failed, 0};
    };
    DWORD written = 0;
    if (::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &write_ov_)) {
        if (!::GetOverlappedResult(handle_, &write_ov_, &written, FALSE))
            return failed(::GetLastError());
        return {Kind::Written, written};
    }
    const DWORD error = ::GetLastError();
    if (MeaningOf(error) != Win32Meaning::Pending)
        return failed(error);
    write_pending_ = true;

    const HANDLE wait_set[2] = {close_.Get(), write_done_.Get()};
    switch (::WaitForMultipleObjects(2, wait_set, FALSE, INFINITE)) {
    case WAIT_OBJECT_0:
        // The worker releases the block when this returns: the write must be over by then.
        Settle(write_ov_, write_pending_);
        return {Kind::Stopped, 0};
    case WAIT_OBJECT_0 + 1:
        write_pending_ = false;
        if (!::GetOverlappedResult(handle_, &write_ov_, &written, TRUE))
            return failed(::GetLastError());
        return {Kind::Written, written};
    default:
        Settle(write_ov_, write_pending_);
        return {Kind::Failed, 0};
    }
}

WakeReason WindowsSerialPort::WaitForRequest() {
    const HANDLE wait_set[2] = {close_.Get(), wake_.Get()};
    switch (::WaitForMultipleObjects(2, wait_set, FALSE, INFINITE)) {
    case WAIT_OBJECT_0:
        return WakeReason::Stopped;
    case WAIT_OBJECT_0 + 1:
        return WakeReason::Request;
    default:
        return WakeReason::Failed;
    }
}

} // namespace tvk9
