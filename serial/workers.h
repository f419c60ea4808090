#pragma once

#include "serial/notify_channel.h"
#include "serial/port.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

namespace tvk9 {

// A thread that is created suspended, started once with a priority, and ends by itself.
// Destroying it waits for the thread; a thread never started ends without running its body.
class WorkerThread {
public:
    // Throws std::system_error when the thread cannot be created.
    WorkerThread(std::function<void()> body, int priority_steps);
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void Start();
    // True once the body has returned; waits at most `limit`.
    bool WaitFor(std::chrono::milliseconds limit);
    // The conventional terminate request. The workers end on the close event instead; it is
    // kept for callers that ask whether a stop was forced.
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }

private:
    void Run(std::future<bool> gate);

    std::function<void()> body_;
    int priority_steps_;
    std::promise<bool> gate_;
    std::promise<void> ended_;
    std::future<void> ended_future_;
    std::atomic<bool> terminated_{false};
    bool started_ = false;
    std::thread thread_; // last: joined before the members above go
};

// The receive worker: keeps one read outstanding on the port and posts every completed read,
// whole, as one MsgReceiveData; reports line errors and modem events.
//
// A read goes straight into the zero-filled block that will carry it, so a delivery costs no
// copy and no allocation before it is posted; the next block is made after the post, while the
// owner's thread wakes up. A read that fills less than half of its block is copied into a
// block of its own size instead, and the read block is kept: a queue of short reads never
// holds more than twice the bytes it carries.
class TReadThread {
public:
    // A read never asks for more than the buffer holds, whatever read_size says. Its hang-up
    // request carries `session` (the owner's number for this opening of the port).
    TReadThread(SerialPort& port, NotifyChannel& notify, std::uint16_t buffer_size,
                std::uint16_t read_size, std::uintptr_t session);
    void Start() { thread_.Start(); }
    bool WaitFor(std::chrono::milliseconds limit) { return thread_.WaitFor(limit); }
    void Terminate() { thread_.Terminate(); }

    // Two steps above normal: bytes are taken from the port as they come.
    static constexpr int Priority = 2;

private:
    using Block = std::unique_ptr<std::uint8_t[]>;

    void Execute();
    void Serve();
    // Posts the first `count` bytes of `block`; `block` is then the one for the next read.
    bool DeliverBytes(Block& block, std::size_t count);
    bool HandleLineEvent(std::uint32_t mask);
    bool PostNotify(std::uint32_t msg, std::uint32_t lparam);
    void PostHangup();

    SerialPort& port_;
    NotifyChannel& notify_;
    std::uint16_t buffer_size_;
    std::uint16_t read_size_;
    std::uintptr_t session_;
    WorkerThread thread_;
};

// One write request: Count bytes in a zero-filled block of Count + 1 bytes.
struct WriteRequest {
    std::uint16_t Count = 0;
    std::unique_ptr<std::uint8_t[]> Block;
};

// The transmit worker: writes queued requests one at a time, completely, in order, and
// announces an empty queue once after start-up and once after each run of writes.
class TWriteThread {
public:
    // Its hang-up request carries `session`, as the receive worker's does.
    TWriteThread(SerialPort& port, NotifyChannel& notify, std::uintptr_t session);
    void Start() { thread_.Start(); }
    bool WaitFor(std::chrono::milliseconds limit) { return thread_.WaitFor(limit); }
    void Terminate() { thread_.Terminate(); }

    // Owner's thread. Queues a request; false once the worker has ended, or while
    // MaxQueuedRequests wait unwritten (the request is then released here).
    bool Post(WriteRequest request);

    static constexpr int Priority = 1;
    static constexpr std::size_t MaxQueuedRequests = 10000;

private:
    void Execute();
    void Serve();
    bool WriteBlock(std::span<const std::uint8_t> bytes);
    std::optional<WriteRequest> Take();
    void CloseQueue();
    void PostHangup();

    SerialPort& port_;
    NotifyChannel& notify_;
    std::uintptr_t session_;
    std::mutex mutex_;
    std::deque<WriteRequest> queue_; // guarded by mutex_
    bool accepting_ = true;          // guarded by mutex_
    WorkerThread thread_;
};

} // namespace tvk9
