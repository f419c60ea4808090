#pragma once

// A port whose behaviour a test scripts: line events, errors, reads of any shape, short or
// failing writes, and writes held back until the test lets them go. Everything it is asked
// to do is recorded.

#include "serial/port.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tvk9::testing {

struct PortScript {
    std::mutex mutex;
    std::condition_variable changed;

    // Opening.
    bool char_device = true;
    bool setup_ok = true;
    bool events_ok = true;
    bool event_mask_ok = true;
    int opened = 0; // ports handed out
    int alive = 0;  // ports not yet destroyed

    // Receiving: what each Receive returns, in turn (bytes go with ReadComplete).
    struct Incoming {
        ReceiveResult result;
        std::vector<std::uint8_t> bytes;
    };
    std::deque<Incoming> incoming;
    std::optional<std::uint32_t> line_errors = 0; // what ClearErrors gives; nullopt: fails
    std::vector<std::size_t> read_sizes;          // size asked by each Receive

    // Writing.
    bool writes_held = false;    // Write waits while true
    std::size_t write_chunk = 0; // >0: each Write takes at most this many bytes
    std::optional<WriteResult::Kind> next_write_fails;
    std::vector<std::vector<std::uint8_t>> writes; // bytes of each Write call
    int wakes = 0;

    // Everything else, in order: "purge:N", "timeouts", "line", "events".
    std::vector<std::string> calls;
    std::vector<Dcb> lines;
    std::vector<CommTimeouts> timeouts;
    bool close_signalled = false;

    // Scripts the next Receive results.
    void Push(ReceiveResult result, std::vector<std::uint8_t> bytes = {});
    void PushBytes(std::vector<std::uint8_t> bytes);
    // Waits (blocking, at most `limit`) until `done` holds under the lock.
    bool WaitUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(5));
    // How often `call` was made; CountCallsLocked with the mutex held (in WaitUntil).
    int CountCalls(const std::string& call);
    int CountCallsLocked(const std::string& call) const;
    // Changes the script while workers run.
    void Change(const std::function<void(PortScript&)>& change);
    void ReleaseWrites();
    std::vector<std::uint8_t> WrittenBytes();
};

// An opener for TComm that hands out ports driven by `script`.
SerialPortOpener ScriptedOpener(std::shared_ptr<PortScript> script);

} // namespace tvk9::testing
