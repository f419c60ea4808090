#include "tools/cli/port_watch.h"

#include "common/error.h"
#include "serial/windows_port.h"

#include <memory>
#include <system_error>
#include <thread>
#include <type_traits>

namespace tvk9::cli {

namespace {

// The serial drivers register each COM port as a value of this key when its device arrives
// and delete the value when it goes. The key itself exists only once a serial port has.
constexpr const char* PortsKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* ParentKey = "HARDWARE\\DEVICEMAP";

struct CloseKey {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, CloseKey>;

} // namespace

struct PortWatch::Impl {
    EventHandle changed{::CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    EventHandle stop{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    Key key;            // the watch thread's, once it runs
    bool ports = false; // `key` is the ports' key, not its parent
    std::thread thread;

    // Asks the registry to signal `changed` at the next change to the COM ports: a value of
    // their key made, changed or deleted, or, while there is no such key, its creation.
    LONG Arm() {
        if (ports && key) {
            const LONG error = ::RegNotifyChangeKeyValue(
                key.get(), FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                changed.Get(), TRUE);
            if (error != ERROR_KEY_DELETED) {
                return error;
            }
            key.reset();
        }
        HKEY opened = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, PortsKey, 0, KEY_NOTIFY, &opened) ==
            ERROR_SUCCESS) {
            key.reset(opened);
            ports = true;
            return Arm();
        }
        ports = false;
        if (!key) {
            const LONG error =
                ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, ParentKey, 0, KEY_NOTIFY, &opened);
            if (error != ERROR_SUCCESS) {
                return error;
            }
            key.reset(opened);
        }
        return ::RegNotifyChangeKeyValue(key.get(), FALSE, REG_NOTIFY_CHANGE_NAME, changed.Get(),
                                         TRUE);
    }

    ~Impl() {
        if (thread.joinable()) {
            ::SetEvent(stop.Get());
            thread.join();
        }
    }
};

PortWatch::PortWatch(Inbox& inbox) : impl_(std::make_unique<Impl>()) {
    Impl& w = *impl_;
    // A notification ends with the thread that asked for it: this one lives as long as the
    // watch, and after the first the watch thread asks.
    const LONG error = w.changed && w.stop ? w.Arm() : static_cast<LONG>(::GetLastError());
    if (error != ERROR_SUCCESS) {
        throw Exception("Cannot watch the registry's COM ports (HKEY_LOCAL_MACHINE\\" +
                        std::string(PortsKey) + "): " + std::system_category().message(error));
    }
    w.thread = std::thread([&w, &inbox] {
        const HANDLE events[2] = {w.stop.Get(), w.changed.Get()};
        while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            // Asked again before the owner looks at the ports, so that no change after its
            // look goes unseen. Watch -1: the event names no port, the owner lists them all.
            const LONG armed = w.Arm();
            inbox.Post(PortEvent{-1, {}, false});
            if (armed != ERROR_SUCCESS) {
                return;
            }
        }
    });
}

PortWatch::~PortWatch() = default;

// The registry says that something changed, not what: the owner compares the lists.
std::string PortWatch::PortOf(const PortEvent&) const {
    return {};
}

// Windows does not tell when another program closes a port: a port that could not be opened
// is tried again when the ports change.
std::vector<std::string> PortWatch::FollowersOf(const PortEvent&) const {
    return {};
}

void PortWatch::Follow(const std::string&, std::optional<pid_t>) {}

void PortWatch::Unfollow(const std::string&) {}

// A COM port's name is all there is of it.
std::string PortWatch::PlugOf(const std::string&) {
    return {};
}

} // namespace tvk9::cli
