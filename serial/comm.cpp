#include "serial/comm.h"

#include "serial/workers.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>

namespace tvk9 {

namespace {
constexpr std::uint32_t QueueSize = 4096;
constexpr std::chrono::milliseconds StopWait{10000};
} // namespace

TComm::TComm(NotifyChannel& notify, SerialPortOpener opener)
    : notify_(notify), opener_(std::move(opener)) {}

TComm::~TComm() {
    StopAndRelease();
}

void TComm::OpenPort() {
    ClearOpenError();
    if (port_) {
        Fail("This serial port already opened");
        return;
    }
    OpenResult opened = opener_ ? opener_(comm_name_) : OpenResult{};
    if (!opened.port) {
        // A port layer that knows without opening that the name leads to no terminal refuses
        // it as the opened handle would be.
        const bool notSerial = opened.problem.kind == PortProblem::Kind::NotSerial;
        Fail(notSerial ? "File handle is not a comm handle " : "Error opening serial port",
             std::move(opened.problem));
        return;
    }
    std::unique_ptr<SerialPort> port = std::move(opened.port);
    if (!port->IsCharDevice()) {
        Fail("File handle is not a comm handle ", DiagnoseOpenFailure(comm_name_, ENOTTY));
        return;
    }
    if (!port->SetupQueues(QueueSize, QueueSize)) {
        Fail("Cannot setup comm buffer");
        throw ECommsError(port_open_error_);
    }
    port_ = std::move(port);
    port_->Purge(PurgeTxAbort | PurgeRxAbort | PurgeTxClear | PurgeRxClear);
    ApplyTimeouts();
    ApplyLineSettings();
    if (!port_->CreateEvents()) {
        port_.reset();
        Fail("Unable to create event");
        return;
    }
    ++session_;
    try {
        read_thread_ =
            std::make_unique<TReadThread>(*port_, notify_, in_buffer_size_, input_len_, session_);
    } catch (const std::exception&) {
        read_thread_.reset();
        port_.reset();
        Fail("Unable to create read thread");
        return;
    }
    try {
        write_thread_ = std::make_unique<TWriteThread>(*port_, notify_, session_);
    } catch (const std::exception&) {
        StopReceiveWorker();
        write_thread_.reset();
        port_.reset();
        Fail("Unable to create write thread");
        return;
    }
    read_thread_->Start();
    write_thread_->Start();
    open_problem_ = std::move(opened.problem); // Kind::None, with what was passed over
}

void TComm::ClosePort() {
    ClearOpenError();
    StopAndRelease();
}

void TComm::ClearOpenError() {
    port_open_error_.clear();
    open_problem_ = {};
}

void TComm::Fail(std::string error, PortProblem problem) {
    // A failure the port layer did not explain is told in the component's own words.
    if (problem.kind == PortProblem::Kind::None)
        problem = {PortProblem::Kind::Other, comm_name_ + ": " + error, {}};
    port_open_error_ = std::move(error);
    open_problem_ = std::move(problem);
}

void TComm::StopAndRelease() {
    if (!port_)
        return;
    StopReceiveWorker();
    StopTransmitWorker();
    port_.reset();
    ++session_; // what the ended workers left queued is about a port that is gone
}

void TComm::StopReceiveWorker() {
    if (!read_thread_)
        return;
    port_->SignalClose();
    port_->Purge(PurgeRxAbort | PurgeRxClear);
    if (!read_thread_->WaitFor(StopWait))
        read_thread_->Terminate();
    read_thread_.reset();
}

void TComm::StopTransmitWorker() {
    if (!write_thread_)
        return;
    port_->SignalClose();
    port_->Purge(PurgeTxAbort | PurgeTxClear);
    if (!write_thread_->WaitFor(StopWait))
        write_thread_->Terminate();
    write_thread_.reset();
}

bool TComm::SendData(std::span<const std::uint8_t> buffer) {
    if (!write_thread_ || buffer.empty() || buffer.size() > 0xFFFF)
        return false;
    WriteRequest request;
    request.Count = static_cast<std::uint16_t>(buffer.size());
    try {
        request.Block = std::make_unique<std::uint8_t[]>(buffer.size() + 1); // zero-filled
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::copy(buffer.begin(), buffer.end(), request.Block.get());
    return write_thread_->Post(std::move(request));
}

void TComm::Dispatch(NotifyMessage message) {
    // Handlers are copied first: one may assign a new handler to its own event.
    switch (message.Msg) {
    case MsgReceiveData:
        if (auto handler = OnReceiveData; handler && message.Buffer)
            handler(*this, message.Buffer.get(), static_cast<std::uint16_t>(message.WParam));
        break;
    case MsgReceiveError:
        if (auto handler = OnReceiveError)
            handler(*this, static_cast<std::uint32_t>(message.LParam));
        break;
    case MsgRequestHangup:
        // One about a port closed since: whatever is open now is not the one in trouble.
        if (message.WParam != session_)
            break;
        if (auto handler = OnRequestHangup)
            handler(*this);
        break;
    case MsgModemStateChange:
        if (auto handler = OnModemStateChange)
            handler(*this, static_cast<std::uint32_t>(message.LParam));
        break;
    case MsgSendDataEmpty:
        if (auto handler = OnSendDataEmpty)
            handler(*this);
        break;
    default:
        break;
    }
}

void TComm::SetPortOpen(bool open) {
    if (open)
        OpenPort();
    else
        ClosePort();
}

void TComm::SetCommPort(std::uint8_t port) {
    if (port == 0 || port == comm_port_)
        return;
    comm_port_ = port;
    comm_name_ = "COM" + std::to_string(port);
}

void TComm::SetOutput(std::string text) {
    output_ = std::move(text);
    SendData({reinterpret_cast<const std::uint8_t*>(output_.data()), output_.size()});
}

void TComm::SetInBufferSize(std::uint16_t size) {
    in_buffer_size_ = size == 0 ? 1 : size;
}

void TComm::SetInputLen(std::uint16_t length) {
    if (length == 0)
        input_len_ = in_buffer_size_;
    else if (length <= in_buffer_size_)
        input_len_ = length;
}

void TComm::SetTimeout(std::uint32_t CommTimeouts::*field, std::uint32_t value) {
    if (timeouts_.*field == value)
        return;
    timeouts_.*field = value;
    if (port_)
        ApplyTimeouts();
}

void TComm::ApplyLineSettings() {
    port_->ApplyLineSettings(BuildDcb(line_));
}

void TComm::ApplyTimeouts() {
    port_->ApplyTimeouts(timeouts_);
}

} // namespace tvk9
