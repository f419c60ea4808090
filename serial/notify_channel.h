#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tvk9 {

// Notification numbers, counted up from the first user message number (WM_USER).
inline constexpr std::uint32_t WmUser = 0x0400;
inline constexpr std::uint32_t MsgReceiveData = WmUser + 1;      // wParam: count; buffer
inline constexpr std::uint32_t MsgReceiveError = WmUser + 2;     // lParam: line error flags
inline constexpr std::uint32_t MsgRequestHangup = WmUser + 3;    // wParam: the port's session
inline constexpr std::uint32_t MsgModemStateChange = WmUser + 4; // lParam: modem flags
inline constexpr std::uint32_t MsgSendDataEmpty = WmUser + 5;    // nothing

// One notification from a worker thread. The buffer (zero-filled, count + 1 bytes, so a
// zero byte follows the data) travels with the message and is released with it.
struct NotifyMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::uintptr_t LParam = 0;
    std::unique_ptr<std::uint8_t[]> Buffer;
};

// Messages a channel holds at most, not yet dispatched (see NotifyChannel).
inline constexpr std::size_t MaxQueuedMessages = 10000;

// Whether a channel holding `queued` messages takes one more of number `msg`.
inline bool HasRoomFor(std::uint32_t msg, std::size_t queued) {
    return queued < MaxQueuedMessages || msg == MsgRequestHangup;
}

// How the workers reach the owner's (user-interface) thread.
//
// Post() is called from the worker threads. It must never block and never wait for the
// owner's thread; it keeps the order of the messages; it returns false only when the message
// could not be queued (it is then dropped, and its buffer released). On the owner's thread
// each message is handed, in order, to TComm::Dispatch() of the component it belongs to.
//
// A channel holds at most MaxQueuedMessages messages not yet dispatched and refuses more, as
// a thread's posted-message queue does, so an owner that stops dispatching cannot make memory
// grow without end. MsgRequestHangup is let in beyond the bound: it is a worker's last word.
//
// Lifetime: the channel must outlive every TComm that posts to it (declare it before the
// component). The component's destructor stops its workers first, so nothing posts after it;
// messages still queued then must not reach the destroyed component: drop them (their
// buffers go with them). See serial/comm.h for wiring it to an event loop.
class NotifyChannel {
public:
    virtual ~NotifyChannel() = default;
    virtual bool Post(NotifyMessage message) noexcept = 0;
};

} // namespace tvk9
