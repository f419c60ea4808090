#include "serial/workers.h"

#include <algorithm>
#include <new>
#include <utility>

namespace tvk9 {

WorkerThread::WorkerThread(std::function<void()> body, int priority_steps)
    : body_(std::move(body)), priority_steps_(priority_steps), ended_future_(ended_.get_future()),
      thread_([this, gate = gate_.get_future()]() mutable { Run(std::move(gate)); }) {}

WorkerThread::~WorkerThread() {
    if (!started_)
        gate_.set_value(false);
    thread_.join();
}

void WorkerThread::Start() {
    if (started_)
        return;
    started_ = true;
    gate_.set_value(true);
}

bool WorkerThread::WaitFor(std::chrono::milliseconds limit) {
    if (!started_)
        return true; // a suspended thread runs nothing; destroying it ends it
    return ended_future_.wait_for(limit) == std::future_status::ready;
}

void WorkerThread::Run(std::future<bool> gate) {
    if (gate.get()) {
        RaiseThreadPriority(priority_steps_);
        body_();
    }
    ended_.set_value();
}

// ---------------------------------------------------------------------------------------

namespace {

// A hangup request that cannot be posted is lost; there is nobody left to tell.
void PostHangupTo(NotifyChannel& notify, std::uintptr_t session) {
    notify.Post(NotifyMessage{MsgRequestHangup, session, 0, nullptr});
}

} // namespace

TReadThread::TReadThread(SerialPort& port, NotifyChannel& notify, std::uint16_t buffer_size,
                         std::uint16_t read_size, std::uintptr_t session)
    : port_(port), notify_(notify), buffer_size_(std::max<std::uint16_t>(buffer_size, 1)),
      read_size_(std::clamp<std::uint16_t>(read_size, 1, buffer_size_)), session_(session),
      thread_([this] { Execute(); }, Priority) {}

void TReadThread::PostHangup() {
    PostHangupTo(notify_, session_);
}

bool TReadThread::PostNotify(std::uint32_t msg, std::uint32_t lparam) {
    if (notify_.Post(NotifyMessage{msg, 0, lparam, nullptr}))
        return true;
    PostHangup();
    return false;
}

void TReadThread::Execute() {
    // Memory running out ends this worker with a hang-up, never the program.
    try {
        if (!port_.SetEventMask(EvRlsd | EvErr | EvRing))
            PostHangup();
        else
            Serve();
    } catch (const std::bad_alloc&) {
        PostHangup();
    }
    port_.Purge(PurgeRxAbort | PurgeRxClear);
}

void TReadThread::Serve() {
    // Zero-filled, one byte more than a read asks for: a zero always follows the data.
    Block block = std::make_unique<std::uint8_t[]>(read_size_ + 1u);
    bool running = true;
    while (running && !port_.CloseSignalled()) {
        const ReceiveResult r = port_.Receive({block.get(), read_size_});
        switch (r.kind) {
        case ReceiveResult::Kind::ReadComplete:
            running = DeliverBytes(block, std::min<std::size_t>(r.Count, read_size_));
            break;
        case ReceiveResult::Kind::LineEvent:
            running = HandleLineEvent(r.EventMask);
            break;
        case ReceiveResult::Kind::Failed:
            PostHangup();
            running = false;
            break;
        case ReceiveResult::Kind::Stopped:
        case ReceiveResult::Kind::Closed:
            running = false;
            break;
        }
    }
}

bool TReadThread::DeliverBytes(Block& block, std::size_t count) {
    // An empty read is a total time-out that ran out: the worker ends without a word.
    if (count == 0)
        return false;
    NotifyMessage message{MsgReceiveData, count, 0, nullptr};
    const bool hand_over = count * 2 >= read_size_;
    try {
        if (hand_over) {
            // Every earlier read into this block was copied out and was shorter than this
            // one, so nothing of it is left past the data.
            block[count] = 0;
            message.Buffer = std::move(block);
        } else {
            message.Buffer = std::make_unique<std::uint8_t[]>(count + 1); // zero-filled
            std::copy_n(block.get(), count, message.Buffer.get());
        }
    } catch (const std::bad_alloc&) {
        PostHangup();
        return false;
    }
    if (!notify_.Post(std::move(message))) {
        PostHangup();
        return false;
    }
    if (hand_over)
        block = std::make_unique<std::uint8_t[]>(read_size_ + 1u); // bad_alloc: Execute
    return true;
}

bool TReadThread::HandleLineEvent(std::uint32_t mask) {
    bool result = false;
    if (mask & EvErr) {
        const std::optional<std::uint32_t> errors = port_.ClearErrors();
        if (!errors) {
            PostHangup();
            return false;
        }
        if (!PostNotify(MsgReceiveError, *errors))
            return false;
        result = true;
    }
    const std::uint32_t modem =
        ((mask & EvRlsd) ? ModemEventCarrier : 0u) | ((mask & EvRing) ? ModemEventRing : 0u);
    if (modem != 0) {
        if (!PostNotify(MsgModemStateChange, modem))
            return false;
        result = true;
    }
    if (!result)
        PostHangup();
    return result;
}

// ---------------------------------------------------------------------------------------

TWriteThread::TWriteThread(SerialPort& port, NotifyChannel& notify, std::uintptr_t session)
    : port_(port), notify_(notify), session_(session), thread_([this] { Execute(); }, Priority) {}

bool TWriteThread::Post(WriteRequest request) {
    try {
        std::lock_guard lock(mutex_);
        if (!accepting_ || queue_.size() >= MaxQueuedRequests)
            return false;
        queue_.push_back(std::move(request));
    } catch (const std::bad_alloc&) {
        return false;
    }
    port_.WakeTransmitter();
    return true;
}

std::optional<WriteRequest> TWriteThread::Take() {
    std::lock_guard lock(mutex_);
    if (queue_.empty())
        return std::nullopt;
    std::optional<WriteRequest> request(std::move(queue_.front()));
    queue_.pop_front();
    return request;
}

void TWriteThread::CloseQueue() {
    std::deque<WriteRequest> left;
    {
        std::lock_guard lock(mutex_);
        accepting_ = false;
        left.swap(queue_);
    }
    // Requests never written are released here, outside the lock.
}

void TWriteThread::PostHangup() {
    PostHangupTo(notify_, session_);
}

void TWriteThread::Execute() {
    // Memory running out ends this worker with a hang-up, never the program.
    try {
        Serve();
    } catch (const std::bad_alloc&) {
        PostHangup();
    }
    CloseQueue();
    port_.Purge(PurgeTxAbort | PurgeTxClear);
}

void TWriteThread::Serve() {
    bool announce_empty = true;
    for (;;) {
        std::optional<WriteRequest> request = Take();
        if (!request) {
            if (announce_empty && !notify_.Post(NotifyMessage{MsgSendDataEmpty, 0, 0, nullptr})) {
                PostHangup();
                break;
            }
            announce_empty = false;
            const WakeReason why = port_.WaitForRequest();
            if (why == WakeReason::Stopped)
                break;
            if (why == WakeReason::Failed) {
                PostHangup();
                break;
            }
            continue;
        }
        // A request taken just as the close event came is released unwritten.
        if (port_.CloseSignalled())
            break;
        const bool written = WriteBlock({request->Block.get(), request->Count});
        request.reset();
        if (!written)
            break;
        announce_empty = true;
    }
}

bool TWriteThread::WriteBlock(std::span<const std::uint8_t> bytes) {
    // A short write (possible with write time-outs) goes on with the rest of the block.
    while (!bytes.empty()) {
        const WriteResult r = port_.Write(bytes);
        switch (r.kind) {
        case WriteResult::Kind::Written:
            bytes = bytes.subspan(std::min(r.Written, bytes.size()));
            break;
        case WriteResult::Kind::Failed:
            PostHangup();
            return false;
        case WriteResult::Kind::Stopped:
        case WriteResult::Kind::Closed:
            return false;
        }
    }
    return true;
}

} // namespace tvk9
