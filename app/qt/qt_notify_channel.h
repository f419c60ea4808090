#pragma once

// The serial port component's notifications on Qt's event loop: each worker message becomes a
// posted event for a receiver on the user-interface thread, which hands it to the component.

#include "serial/notify_channel.h"

#include <QObject>

#include <atomic>
#include <cstddef>

namespace tvk9 {

class TComm;

class QtNotifyChannel final : public NotifyChannel {
public:
    // Construct on the user-interface thread: the events are handled there.
    QtNotifyChannel() = default;

    // The component the messages belong to. Attach it before its port is first opened.
    void Attach(TComm& comm) { receiver_.comm = &comm; }

    // Thread-safe and never blocks; keeps the order of the messages. Refuses a message while
    // MaxQueuedMessages are posted and not yet dispatched (a hang-up request excepted).
    bool Post(NotifyMessage message) noexcept override;

private:
    // Events posted and not yet dispatched or discarded. Declared before the receiver, whose
    // destruction discards the events still queued.
    std::atomic<std::size_t> queued_{0};
    class Receiver final : public QObject {
    public:
        bool event(QEvent* event) override;
        TComm* comm = nullptr;
    };
    // Its destruction discards the events still queued, and their buffers with them.
    Receiver receiver_;
};

} // namespace tvk9
