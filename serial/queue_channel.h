#pragma once

#include "serial/notify_channel.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace tvk9 {

class TComm;

// A NotifyChannel without an event loop: workers post into a queue that the owner's thread
// drains itself. For tests and command-line programs.
class QueueChannel final : public NotifyChannel {
public:
    bool Post(NotifyMessage message) noexcept override;

    // Takes the oldest message, waiting at most `limit` for one to arrive.
    std::optional<NotifyMessage> Take(std::chrono::milliseconds limit = {});
    // Dispatches the oldest message to `comm`, waiting at most `limit`; false when none came.
    bool DispatchNext(TComm& comm, std::chrono::milliseconds limit);
    // Dispatches what is queued now, without waiting; returns how many.
    std::size_t DispatchPending(TComm& comm);
    std::size_t Size() const;

    // Makes Post() refuse (as a full or closed event queue would).
    void SetRefusing(bool refusing);

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<NotifyMessage> queue_; // guarded by mutex_
    bool refusing_ = false;           // guarded by mutex_
};

} // namespace tvk9
