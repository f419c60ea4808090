#include "serial/queue_channel.h"

#include "serial/comm.h"

namespace tvk9 {

bool QueueChannel::Post(NotifyMessage message) noexcept {
    try {
        std::lock_guard lock(mutex_);
        if (refusing_ || !HasRoomFor(message.Msg, queue_.size()))
            return false;
        queue_.push_back(std::move(message));
    } catch (...) {
        return false;
    }
    arrived_.notify_one();
    return true;
}

std::optional<NotifyMessage> QueueChannel::Take(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, limit, [this] { return !queue_.empty(); }))
        return std::nullopt;
    NotifyMessage message = std::move(queue_.front());
    queue_.pop_front();
    return message;
}

bool QueueChannel::DispatchNext(TComm& comm, std::chrono::milliseconds limit) {
    std::optional<NotifyMessage> message = Take(limit);
    if (!message)
        return false;
    comm.Dispatch(std::move(*message));
    return true;
}

std::size_t QueueChannel::DispatchPending(TComm& comm) {
    std::size_t count = 0;
    while (DispatchNext(comm, std::chrono::milliseconds{0}))
        ++count;
    return count;
}

std::size_t QueueChannel::Size() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void QueueChannel::SetRefusing(bool refusing) {
    std::lock_guard lock(mutex_);
    refusing_ = refusing;
}

} // namespace tvk9
