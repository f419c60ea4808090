#include "app/qt_notify_channel.h"

#include "app/application.h"
#include "serial/comm.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>

namespace tvk9 {

namespace {

const QEvent::Type NotifyEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

// The event owns the message, buffer included, until it is dispatched or discarded.
class NotifyEvent final : public QEvent {
public:
    explicit NotifyEvent(NotifyMessage m) : QEvent(NotifyEventType), message(std::move(m)) {}
    NotifyMessage message;
};

} // namespace

bool QtNotifyChannel::Post(NotifyMessage message) noexcept {
    try {
        auto event = std::make_unique<NotifyEvent>(std::move(message));
        QCoreApplication::postEvent(&receiver_, event.release()); // Qt takes ownership
        return true;
    } catch (...) {
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
