#include "scripted_port.h"

#include <algorithm>

namespace tvk9::testing {

void PortScript::Push(ReceiveResult result, std::vector<std::uint8_t> bytes) {
    {
        std::lock_guard lock(mutex);
        incoming.push_back({result, std::move(bytes)});
    }
    changed.notify_all();
}

void PortScript::PushBytes(std::vector<std::uint8_t> bytes) {
    const std::size_t count = bytes.size();
    Push({ReceiveResult::Kind::ReadComplete, count, 0}, std::move(bytes));
}

bool PortScript::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, limit, done);
}

int PortScript::CountCalls(const std::string& call) {
    std::lock_guard lock(mutex);
    return CountCallsLocked(call);
}

void PortScript::Change(const std::function<void(PortScript&)>& change) {
    {
        std::lock_guard lock(mutex);
        change(*this);
    }
    changed.notify_all();
}

int PortScript::CountCallsLocked(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

void PortScript::ReleaseWrites() {
    {
        std::lock_guard lock(mutex);
        writes_held = false;
    }
    changed.notify_all();
}

std::vector<std::uint8_t> PortScript::WrittenBytes() {
    std::lock_guard lock(mutex);
    std::vector<std::uint8_t> all;
    for (const auto& w : writes)
        all.insert(all.end(), w.begin(), w.end());
    return all;
}

namespace {

class ScriptedPort final : public SerialPort {
    template <class F> auto Locked(F f) const {
        std::lock_guard lock(s_->mutex);
        return f();
    }
    template <class F> bool Record(const std::string& call, F f) {
        bool result;
        {
            std::lock_guard lock(s_->mutex);
            s_->calls.push_back(call);
            result = f();
        }
        s_->changed.notify_all();
        return result;
    }

public:
    explicit ScriptedPort(std::shared_ptr<PortScript> script) : s_(std::move(script)) {
        std::lock_guard lock(s_->mutex);
        ++s_->opened;
        ++s_->alive;
        s_->close_signalled = false;
    }
    ~ScriptedPort() override {
        {
            std::lock_guard lock(s_->mutex);
            --s_->alive;
        }
        s_->changed.notify_all();
    }

    bool IsCharDevice() override {
        return Locked([&] { return s_->char_device; });
    }
    bool SetupQueues(std::uint32_t, std::uint32_t) override {
        return Locked([&] { return s_->setup_ok; });
    }
    bool CreateEvents() override {
        return Record("events", [&] { return s_->events_ok; });
    }
    void Purge(std::uint32_t actions) override {
        Record("purge:" + std::to_string(actions), [] { return true; });
    }
    void ApplyLineSettings(const Dcb& dcb) override {
        Record("line", [&] {
            s_->lines.push_back(dcb);
            return true;
        });
    }
    void ApplyTimeouts(const CommTimeouts& t) override {
        Record("timeouts", [&] {
            s_->timeouts.push_back(t);
            return true;
        });
    }
    void SignalClose() override {
        Record("close", [&] { return s_->close_signalled = true; });
    }
    bool CloseSignalled() const override {
        return Locked([&] { return s_->close_signalled; });
    }
    void WakeTransmitter() override {
        Record("wake", [&] { return ++s_->wakes > 0; });
    }
    bool SetEventMask(std::uint32_t mask) override {
        return Record("mask:" + std::to_string(mask), [&] { return s_->event_mask_ok; });
    }

    ReceiveResult Receive(std::span<std::uint8_t> buffer) override {
        std::unique_lock lock(s_->mutex);
        s_->read_sizes.push_back(buffer.size());
        s_->changed.wait(lock, [&] { return s_->close_signalled || !s_->incoming.empty(); });
        if (s_->close_signalled)
            return {ReceiveResult::Kind::Stopped, 0, 0};
        PortScript::Incoming next = std::move(s_->incoming.front());
        s_->incoming.pop_front();
        const std::size_t n = std::min(next.bytes.size(), buffer.size());
        std::copy_n(next.bytes.begin(), n, buffer.begin());
        if (next.result.kind == ReceiveResult::Kind::ReadComplete)
            next.result.Count = n;
        return next.result;
    }
    std::optional<std::uint32_t> ClearErrors() override {
        return Locked([&] { return s_->line_errors; });
    }

    WriteResult Write(std::span<const std::uint8_t> bytes) override {
        std::unique_lock lock(s_->mutex);
        s_->changed.wait(lock, [&] { return s_->close_signalled || !s_->writes_held; });
        if (s_->close_signalled)
            return {WriteResult::Kind::Stopped, 0};
        if (s_->next_write_fails) {
            const auto kind = *s_->next_write_fails;
            s_->next_write_fails.reset();
            return {kind, 0};
        }
        const std::size_t n =
            s_->write_chunk ? std::min(s_->write_chunk, bytes.size()) : bytes.size();
        s_->writes.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        lock.unlock();
        s_->changed.notify_all();
        return {WriteResult::Kind::Written, n};
    }

    WakeReason WaitForRequest() override {
        std::unique_lock lock(s_->mutex);
        s_->changed.wait(lock, [&] { return s_->close_signalled || s_->wakes > 0; });
        if (s_->close_signalled)
            return WakeReason::Stopped;
        s_->wakes = 0;
        return WakeReason::Request;
    }

private:
    std::shared_ptr<PortScript> s_;
};

} // namespace

SerialPortOpener ScriptedOpener(std::shared_ptr<PortScript> script) {
    return [script](const std::string&) {
        return OpenResult{std::make_unique<ScriptedPort>(script), {}};
    };
}

} // namespace tvk9::testing
