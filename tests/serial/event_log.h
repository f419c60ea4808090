#pragma once

#include "serial/comm.h"
#include "serial/queue_channel.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace tvk9::testing {

// Records every event a TComm raises, as its handlers see it.
class EventLog {
public:
    struct Seen {
        std::uint32_t msg = 0;
        std::vector<std::uint8_t> bytes; // OnReceiveData
        std::uint32_t value = 0;         // OnReceiveError, OnModemStateChange
    };

    explicit EventLog(TComm& comm) {
        comm.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            events.push_back({MsgReceiveData, {buffer, buffer + length}, 0});
            zero_after_data = zero_after_data && buffer[length] == 0;
        };
        comm.OnReceiveError = [this](TComm&, std::uint32_t mask) {
            events.push_back({MsgReceiveError, {}, mask});
        };
        comm.OnModemStateChange = [this](TComm&, std::uint32_t flags) {
            events.push_back({MsgModemStateChange, {}, flags});
        };
        comm.OnRequestHangup = [this](TComm&) { events.push_back({MsgRequestHangup, {}, 0}); };
        comm.OnSendDataEmpty = [this](TComm&) { events.push_back({MsgSendDataEmpty, {}, 0}); };
    }

    int Count(std::uint32_t msg) const {
        int n = 0;
        for (const auto& e : events)
            n += e.msg == msg;
        return n;
    }
    std::vector<std::size_t> DataSizes() const {
        std::vector<std::size_t> sizes;
        for (const auto& e : events)
            if (e.msg == MsgReceiveData)
                sizes.push_back(e.bytes.size());
        return sizes;
    }
    std::vector<std::uint8_t> Data() const {
        std::vector<std::uint8_t> all;
        for (const auto& e : events)
            if (e.msg == MsgReceiveData)
                all.insert(all.end(), e.bytes.begin(), e.bytes.end());
        return all;
    }
    std::vector<std::uint32_t> Kinds() const {
        std::vector<std::uint32_t> kinds;
        for (const auto& e : events)
            kinds.push_back(e.msg);
        return kinds;
    }

    std::vector<Seen> events;
    bool zero_after_data = true;
};

// Dispatches notifications on the calling thread until `done` holds; false when none arrives
// for `limit`.
inline bool DispatchUntil(QueueChannel& channel, TComm& comm, const std::function<bool()>& done,
                          std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    while (!done())
        if (!channel.DispatchNext(comm, limit))
            return false;
    return true;
}

inline std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t first = 0) {
    std::vector<std::uint8_t> v(count);
    for (std::size_t i = 0; i < count; ++i)
        v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

} // namespace tvk9::testing
