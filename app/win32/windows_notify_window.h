#pragma once

// The serial port component's notifications on the Win32 message loop: each worker message is
// posted with PostMessageA to a hidden message-only window of the user-interface thread, whose
// window procedure hands it to the component. Every loop that dispatches messages delivers them,
// the nested loops of MessageBox, GetOpenFileName and the About window included.

#include "serial/notify_channel.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstddef>

namespace tvk9 {
class TComm;
}

namespace tvk9::win32 {

class WindowNotifyChannel final : public NotifyChannel {
public:
    // Construct on the user-interface thread: the window belongs to it.
    WindowNotifyChannel();
    // Frees the buffers of the messages still queued (a window that goes takes its posted
    // messages with it, but not what they point to), then destroys the window.
    ~WindowNotifyChannel() override;
    WindowNotifyChannel(const WindowNotifyChannel&) = delete;
    WindowNotifyChannel& operator=(const WindowNotifyChannel&) = delete;

    // The component the messages belong to. Attach it before its port is first opened.
    void Attach(TComm& comm) { comm_ = &comm; }

    // Thread-safe and never blocks; keeps the order of the messages. Refuses a message while
    // MaxQueuedMessages are posted and not yet dispatched; a hang-up request always gets in,
    // should the thread's own queue be full it is raised after the next message dispatched.
    bool Post(NotifyMessage message) noexcept override;

    HWND Handle() const { return window_; }
    std::size_t Queued() const { return queued_.load(); }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    void Deliver(NotifyMessage message);

    std::atomic<std::size_t> queued_{0};
    // A hang-up that the thread's full queue refused, delivered after the next message: its
    // port's session plus one, 0 when there is none.
    std::atomic<std::uintptr_t> hangupLeftOver_{0};
    TComm* comm_ = nullptr;
    HWND window_ = nullptr;
};

} // namespace tvk9::win32
