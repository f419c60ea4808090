#include "app/qt/qt_notify_channel.h"

#include "app/qt/application.h"
#include "serial/comm.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>

namespace tvk9 {

namespace {

const QEvent::Type NotifyEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

// The event owns the message, buffer included, until it is dispatched or discarded, and
// counts as queued for as long as it lives.
class NotifyEvent final : public QEvent {
public:
    NotifyEvent(NotifyMessage m, std::atomic<std::size_t>& queued)
        : QEvent(NotifyEventType), message(std::move(m)), queued_(queued) {}
    ~NotifyEvent() override { queued_.fetch_sub(1); }
    NotifyEvent(const NotifyEvent&) = delete;
    NotifyEvent& operator=(const NotifyEvent&) = delete;
    NotifyMessage message;

private:
    std::atomic<std::size_t>& queued_;
};

} // namespace

bool QtNotifyChannel::Post(NotifyMessage message) noexcept {
    if (!HasRoomFor(message.Msg, queued_.fetch_add(1))) {
        queued_.fetch_sub(1);
        return false;
    }
    try {
        auto event = std::make_unique<NotifyEvent>(std::move(message), queued_);
        QCoreApplication::postEvent(&receiver_, event.release()); // Qt takes ownership
        return true;
    } catch (...) {
        queued_.fetch_sub(1); // no event was made
        return false;
    }
}

bool QtNotifyChannel::Receiver::event(QEvent* event) {
    if (event->type() != NotifyEventType) {
        return QObject::event(event);
    }
    if (comm != nullptr) {
        NotifyMessage message = std::move(static_cast<NotifyEvent*>(event)->message);
        guarded([this, &message] { comm->Dispatch(std::move(message)); })();
    }
    return true;
}

} // namespace tvk9
