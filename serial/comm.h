#pragma once

// TComm: one serial port, opened exclusively, with a receive worker that turns every
// completed read into one OnReceiveData and a transmit worker that writes queued requests
// whole and in order. All members are used from one thread, the owner's (user-interface)
// thread; the workers report to it only through the NotifyChannel.
//
// Wiring on an event loop (Qt, for instance):
//   - Implement NotifyChannel::Post() with QCoreApplication::postEvent(receiver, event),
//     where the event owns the NotifyMessage and the receiver is a QObject living on the
//     user-interface thread. postEvent never blocks and keeps the order. Catch std::bad_alloc
//     in Post() and return false.
//   - In the receiver's event(), move the message out of the event and call
//     comm.Dispatch(std::move(message)). Dispatch raises the event and releases the buffer;
//     an exception from a handler passes through Dispatch, with the buffer released.
//   - Declare the receiver and the channel before the TComm (so they are destroyed after
//     it). ~TComm stops both workers before it returns, so nothing is posted afterwards;
//     the receiver's ~QObject discards the events still queued (and their buffers) without
//     dispatching them.
// In tests, QueueChannel (serial/queue_channel.h) stands in for the event loop.

#include "common/error.h"
#include "serial/line_settings.h"
#include "serial/notify_channel.h"
#include "serial/port.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace tvk9 {

class ECommsError : public Exception {
public:
    using Exception::Exception;
};

class TComm;
class TReadThread;
class TWriteThread;

// Buffer: the received bytes, one zero byte after the last; valid only during the call.
using TReceiveDataEvent =
    std::function<void(TComm& sender, const std::uint8_t* buffer, std::uint16_t length)>;
using TReceiveErrorEvent = std::function<void(TComm& sender, std::uint32_t event_mask)>;
using TModemStateChangeEvent = std::function<void(TComm& sender, std::uint32_t modem_event)>;
using TNotifyEvent = std::function<void(TComm& sender)>;
using TSendDataEmptyEvent = std::function<void(TComm& sender)>;

class TComm {
public:
    // The channel must outlive the component. `opener` opens the port named by CommName;
    // tests pass a scripted port here.
    explicit TComm(NotifyChannel& notify, SerialPortOpener opener = OpenSystemSerialPort);
    // With the port open: stops both workers and closes the port as ClosePort does.
    ~TComm();
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    // Opens CommName, configures it and starts both workers. The outcome is in PortOpen and
    // PortOpenError; only a refusal of the port's queue sizes raises ECommsError.
    void OpenPort();
    // Stops both workers (receive first) and closes the port. Harmless when closed.
    void ClosePort();
    // Queues a copy of the bytes for the transmit worker. False when nothing was queued: the
    // port is closed, the transmit worker has ended, the span is empty, or it is longer than
    // a request can count (65535 bytes; longer spans are refused whole, never cut short).
    bool SendData(std::span<const std::uint8_t> buffer);

    // The notification procedure: raises the event that the message stands for (only when a
    // handler is assigned) and releases the message's buffer. Unknown numbers are ignored, and
    // so is a hang-up request that workers of a port closed since had left queued.
    void Dispatch(NotifyMessage message);

    bool PortOpen() const { return port_ != nullptr; }
    void SetPortOpen(bool open);
    std::uint8_t CommPort() const { return comm_port_; }
    // Non-zero and new: stored, and CommName becomes "COM" + the number.
    void SetCommPort(std::uint8_t port);
    std::string PortOpenError() const { return port_open_error_; }
    // Why the last OpenPort failed, in words for the user; Kind::None when it did not fail
    // (cleared with PortOpenError), with a detail when the port layer passed something over
    // that the user should know of (a stale lock file).
    const PortProblem& OpenProblem() const { return open_problem_; }
    std::string Output() const { return output_; }
    // Stores the text and sends its bytes; the result of SendData is dropped.
    void SetOutput(std::string text);
    std::uint16_t InBufferSize() const { return in_buffer_size_; }
    // 0 stores 1. Read at the next OpenPort.
    void SetInBufferSize(std::uint16_t size);
    std::uint16_t InputLen() const { return input_len_; }
    // 0 stores InBufferSize; above InBufferSize is ignored. Read at the next OpenPort, where a
    // read is limited to InBufferSize should InBufferSize have been lowered since.
    void SetInputLen(std::uint16_t length);
    std::string CommName() const { return comm_name_; }
    void SetCommName(std::string name) { comm_name_ = std::move(name); }

    // Line settings: a new value is applied at once while the port is open.
    std::uint32_t BaudRate() const { return line_.BaudRate; }
    void SetBaudRate(std::uint32_t v) { SetLine(&LineSettings::BaudRate, v); }
    bool ParityCheck() const { return line_.ParityCheck; }
    void SetParityCheck(bool v) { SetLine(&LineSettings::ParityCheck, v); }
    bool Outx_CtsFlow() const { return line_.Outx_CtsFlow; }
    void SetOutx_CtsFlow(bool v) { SetLine(&LineSettings::Outx_CtsFlow, v); }
    bool Outx_DsrFlow() const { return line_.Outx_DsrFlow; }
    void SetOutx_DsrFlow(bool v) { SetLine(&LineSettings::Outx_DsrFlow, v); }
    TDtrControl DtrControl() const { return line_.DtrControl; }
    void SetDtrControl(TDtrControl v) { SetLine(&LineSettings::DtrControl, v); }
    bool DsrSensitivity() const { return line_.DsrSensitivity; }
    void SetDsrSensitivity(bool v) { SetLine(&LineSettings::DsrSensitivity, v); }
    bool TxContinueOnXoff() const { return line_.TxContinueOnXoff; }
    void SetTxContinueOnXoff(bool v) { SetLine(&LineSettings::TxContinueOnXoff, v); }
    bool Outx_XonXoffFlow() const { return line_.Outx_XonXoffFlow; }
    void SetOutx_XonXoffFlow(bool v) { SetLine(&LineSettings::Outx_XonXoffFlow, v); }
    bool Inx_XonXoffFlow() const { return line_.Inx_XonXoffFlow; }
    void SetInx_XonXoffFlow(bool v) { SetLine(&LineSettings::Inx_XonXoffFlow, v); }
    bool ReplaceWhenParityError() const { return line_.ReplaceWhenParityError; }
    void SetReplaceWhenParityError(bool v) { SetLine(&LineSettings::ReplaceWhenParityError, v); }
    bool IgnoreNullChar() const { return line_.IgnoreNullChar; }
    void SetIgnoreNullChar(bool v) { SetLine(&LineSettings::IgnoreNullChar, v); }
    TRtsControl RtsControl() const { return line_.RtsControl; }
    void SetRtsControl(TRtsControl v) { SetLine(&LineSettings::RtsControl, v); }
    std::uint16_t XonLimit() const { return line_.XonLimit; }
    void SetXonLimit(std::uint16_t v) { SetLine(&LineSettings::XonLimit, v); }
    std::uint16_t XoffLimit() const { return line_.XoffLimit; }
    void SetXoffLimit(std::uint16_t v) { SetLine(&LineSettings::XoffLimit, v); }
    TByteSize ByteSize() const { return line_.ByteSize; }
    void SetByteSize(TByteSize v) { SetLine(&LineSettings::ByteSize, v); }
    TParity Parity() const { return line_.Parity; }
    void SetParity(TParity v) { SetLine(&LineSettings::Parity, v); }
    TStopBits StopBits() const { return line_.StopBits; }
    void SetStopBits(TStopBits v) { SetLine(&LineSettings::StopBits, v); }
    char XonChar() const { return line_.XonChar; }
    void SetXonChar(char v) { SetLine(&LineSettings::XonChar, v); }
    char XoffChar() const { return line_.XoffChar; }
    void SetXoffChar(char v) { SetLine(&LineSettings::XoffChar, v); }
    char ReplacedChar() const { return line_.ReplacedChar; }
    void SetReplacedChar(char v) { SetLine(&LineSettings::ReplacedChar, v); }

    // Time-outs in milliseconds: a new value is applied at once while the port is open.
    std::uint32_t ReadIntervalTimeout() const { return timeouts_.ReadIntervalTimeout; }
    void SetReadIntervalTimeout(std::uint32_t v) {
        SetTimeout(&CommTimeouts::ReadIntervalTimeout, v);
    }
    std::uint32_t ReadTotalTimeoutMultiplier() const {
        return timeouts_.ReadTotalTimeoutMultiplier;
    }
    void SetReadTotalTimeoutMultiplier(std::uint32_t v) {
        SetTimeout(&CommTimeouts::ReadTotalTimeoutMultiplier, v);
    }
    std::uint32_t ReadTotalTimeoutConstant() const { return timeouts_.ReadTotalTimeoutConstant; }
    void SetReadTotalTimeoutConstant(std::uint32_t v) {
        SetTimeout(&CommTimeouts::ReadTotalTimeoutConstant, v);
    }
    std::uint32_t WriteTotalTimeoutMultiplier() const {
        return timeouts_.WriteTotalTimeoutMultiplier;
    }
    void SetWriteTotalTimeoutMultiplier(std::uint32_t v) {
        SetTimeout(&CommTimeouts::WriteTotalTimeoutMultiplier, v);
    }
    std::uint32_t WriteTotalTimeoutConstant() const { return timeouts_.WriteTotalTimeoutConstant; }
    void SetWriteTotalTimeoutConstant(std::uint32_t v) {
        SetTimeout(&CommTimeouts::WriteTotalTimeoutConstant, v);
    }

    // Events, raised on the owner's thread by Dispatch. Handlers may call any member,
    // ClosePort and OpenPort included.
    TReceiveDataEvent OnReceiveData;
    TNotifyEvent OnRequestHangup;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    TSendDataEmptyEvent OnSendDataEmpty;

private:
    template <class T> void SetLine(T LineSettings::*field, T value) {
        if (line_.*field == value)
            return;
        line_.*field = value;
        if (port_)
            ApplyLineSettings();
    }
    void SetTimeout(std::uint32_t CommTimeouts::*field, std::uint32_t value);
    void ApplyLineSettings();
    void ApplyTimeouts();
    void StopReceiveWorker();
    void StopTransmitWorker();
    void StopAndRelease();
    void ClearOpenError();
    void Fail(std::string error, PortProblem problem = {});

    NotifyChannel& notify_;
    SerialPortOpener opener_;
    std::unique_ptr<SerialPort> port_; // non-null exactly while Open
    std::unique_ptr<TReadThread> read_thread_;
    std::unique_ptr<TWriteThread> write_thread_;
    std::uint8_t comm_port_ = 1;
    std::string port_open_error_;
    PortProblem open_problem_;
    std::string output_;
    std::uint16_t in_buffer_size_ = 2048;
    std::uint16_t input_len_ = 1;
    std::string comm_name_ = "COM1";
    LineSettings line_;
    CommTimeouts timeouts_;
    // Counts the openings and closings of the port; a hang-up request carries the one of the
    // workers that posted it.
    std::uintptr_t session_ = 0;
};

} // namespace tvk9
