// watch: waits for sensors to appear, writes a settings file to each new one and checks it.
// Several sensors are served at the same time, each by its own session on the one loop.

#include "common/visible_text.h"
#include "tools/cli/command.h"
#include "tools/cli/port_watch.h"
#include "tools/cli/write_plan.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace tvk9::cli {

namespace {

// A port that cannot be opened when it appears is tried again whenever something happens to
// it (the system setting its permissions, another program closing it); it is reported only if
// it still cannot be opened this long after it appeared.
constexpr std::chrono::seconds Grace{2};

// "2026-12-08 10:30:02" (UTC) for people, "2026-12-08T10:30:02Z" for JSON.
std::string UtcTime(std::chrono::system_clock::time_point when, char between) {
    using namespace std::chrono;
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(when - day)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u%c%02ld:%02ld:%02ld", int{date.year()},
                  unsigned{date.month()}, unsigned{date.day()}, between,
                  static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()),
                  static_cast<long>(time.seconds().count()));
    return text;
}

struct Sensor {
    enum class Stage { Waiting, Listening, Querying, Writing, Done };
    PortInfo info;
    std::string plug; // tells this plug of the port from the next
    Stage stage = Stage::Waiting;
    PortSession* session = nullptr;
    TimePoint since{};
    PortProblem problem;   // Waiting: why it cannot be opened
    bool told = false;     // Waiting: the problem has been reported
    bool appeared = false; // came after watch started; the others may be anything
    bool followed = false; // Waiting: what may let it be opened is followed
    DeviceSettings plan{};
};

class Watcher {
public:
    Watcher(Call& call, const DeviceSettings& file, PortWatch& watch)
        : call_(call), file_(file), watch_(watch), sessions_(call.inbox) {}

    bool Run() {
        Relist(SteadyClock::now());
        started_ = true;
        // Said once the ports that were there have been seen: what comes from now on is new.
        call_.err << "Waiting for sensors to write " << VisibleText(*call_.options.file)
                  << " to; Ctrl+C ends." << std::endl;
        return sessions_.Run([this] { return Step(); },
                             [this](const PortEvent& e) { OnPortEvent(e); },
                             [this] { return Wake(); });
    }

private:
    bool Step() {
        const TimePoint now = SteadyClock::now();
        for (auto& [port, sensor] : sensors_) {
            Advance(sensor, now);
        }
        call_.out.flush();
        return false; // until interrupted
    }

    Deadline Wake() const {
        Deadline wake = Deadline::Never();
        for (const auto& [port, sensor] : sensors_) {
            if (sensor.stage == Sensor::Stage::Waiting && !sensor.told) {
                wake = Deadline::Earliest(wake, Deadline::After(sensor.since, Grace));
            }
        }
        return wake;
    }

    // Work in proportion to what the event changed: the port it names, or the waiting ports
    // whose own state it concerns; everything only when the system says no more than that
    // something changed.
    void OnPortEvent(const PortEvent& event) {
        const TimePoint now = SteadyClock::now();
        if (event.watch == -1) {
            Relist(now);
            return;
        }
        for (const std::string& port : watch_.FollowersOf(event)) {
            if (const auto it = sensors_.find(port);
                it != sensors_.end() && it->second.stage == Sensor::Stage::Waiting) {
                Start(it->second, now);
            }
        }
        if (const std::string port = watch_.PortOf(event); !port.empty()) {
            Update(port, event.gone, now);
        }
    }

    // The ports as they are now: the ones gone are forgotten, new ones (and new plugs under a
    // known name) are opened, waiting ones are tried again.
    void Relist(TimePoint now) {
        const std::vector<PortInfo> ports = ListSerialPortInfo();
        for (auto it = sensors_.begin(); it != sensors_.end();) {
            const auto listed = std::find_if(
                ports.begin(), ports.end(), [&](const PortInfo& p) { return p.name == it->first; });
            it = listed == ports.end() || !SamePlug(it->second, *listed) ? Forget(it)
                                                                         : std::next(it);
        }
        for (const PortInfo& port : ports) {
            if (const auto it = sensors_.find(port.name); it == sensors_.end()) {
                Add(port, now);
            } else if (it->second.stage == Sensor::Stage::Waiting) {
                Start(it->second, now);
            }
        }
    }

    // One port, named by an event of its folder: it came, went (then whatever bears its name
    // now is another plug, whatever it looks like), came again, or changed.
    void Update(const std::string& port, bool gone, TimePoint now) {
        const std::vector<PortInfo> ports = ListSerialPortInfo();
        const auto listed = std::find_if(ports.begin(), ports.end(),
                                         [&](const PortInfo& p) { return p.name == port; });
        auto it = sensors_.find(port);
        if (it != sensors_.end() &&
            (gone || listed == ports.end() || !SamePlug(it->second, *listed))) {
            Forget(it);
            it = sensors_.end();
        }
        if (listed == ports.end()) {
            return;
        }
        if (it == sensors_.end()) {
            Add(*listed, now);
        } else if (it->second.stage == Sensor::Stage::Waiting) {
            Start(it->second, now);
        }
    }

    // The same sensor as before, as far as the names show when their events were lost: the
    // same USB serial number, the same link or node made at the same moment.
    static bool SamePlug(const Sensor& sensor, const PortInfo& listed) {
        return listed.usb.serial == sensor.info.usb.serial &&
               PortWatch::PlugOf(listed.name) == sensor.plug;
    }

    void Add(const PortInfo& port, TimePoint now) {
        Sensor& sensor = sensors_[port.name];
        sensor.info = port;
        sensor.plug = PortWatch::PlugOf(port.name);
        sensor.since = now;
        sensor.appeared = started_;
        if (!started_ && call_.options.newOnly) {
            // Left alone until it is plugged in again.
            sensor.stage = Sensor::Stage::Done;
            return;
        }
        Start(sensor, now);
    }

    std::map<std::string, Sensor>::iterator Forget(std::map<std::string, Sensor>::iterator it) {
        Close(it->second);
        return sensors_.erase(it);
    }

    void Close(Sensor& sensor) {
        if (sensor.session != nullptr) {
            sessions_.Remove(*sensor.session); // the port's settings are put back
            sensor.session = nullptr;
        }
        if (sensor.followed) {
            watch_.Unfollow(sensor.info.name);
            sensor.followed = false;
        }
    }

    void Start(Sensor& sensor, TimePoint now) {
        // Not followed while we try: our own open and close of the node would wake us to try
        // again, and again, when another program holds the port in a way we cannot see.
        Close(sensor);
        PortSession& session = sessions_.Add(sensor.info.name);
        sensor.problem = session.Open();
        if (sensor.problem.kind != PortProblem::Kind::None) {
            sessions_.Remove(session);
            watch_.Follow(sensor.info.name, sensor.problem.holder);
            sensor.followed = true;
            return;
        }
        TellPassedOver(call_, sensor.info.name, sensor.problem);
        sensor.session = &session;
        sensor.stage = Sensor::Stage::Listening;
        // Only a port on which a sensor announces itself is asked anything.
        session.Listen(now, Deadline::After(now, AnnouncementWindow));
    }

    void Advance(Sensor& sensor, TimePoint now) {
        PortSession* s = sensor.session;
        switch (sensor.stage) {
        case Sensor::Stage::Waiting:
            if (!sensor.told && Deadline::After(sensor.since, Grace).Expired(now)) {
                Start(sensor, now);
                if (sensor.stage == Sensor::Stage::Waiting) {
                    sensor.told = true;
                    // A port that was there before (a console, a modem in use) is only
                    // mentioned; one that has just appeared is most likely a sensor.
                    if (sensor.appeared) {
                        Tell(sensor, now, ExitPort, sensor.problem.Line());
                    } else if (call_.options.verbose) {
                        call_.err << "passed over: " << sensor.problem.Line() << '\n';
                    }
                }
            }
            return;
        case Sensor::Stage::Listening:
            if (s->Busy()) {
                return;
            }
            if (s->Talk().Announced() && !s->Gone()) {
                s->Query(now);
                sensor.stage = Sensor::Stage::Querying;
                return;
            }
            if (call_.options.verbose) {
                call_.err << "no sensor announced itself on " << VisibleText(sensor.info.name)
                          << '\n';
            }
            break;
        case Sensor::Stage::Querying:
            if (s->Busy()) {
                return;
            }
            if (s->Gone()) {
                Tell(sensor, now, ExitPort, GoneLine(sensor.info.name));
            } else if (s->Talk().Now() == Exchange::State::Answered) {
                sensor.plan = PlanWrite(*s->Talk().Report(), {file_, {}, {}, {}, {}});
                s->Write(sensor.plan, now);
                sensor.stage = Sensor::Stage::Writing;
                return;
            } else {
                Tell(sensor, now, ExitNoResponse, "No response!");
            }
            break;
        case Sensor::Stage::Writing:
            if (s->Busy()) {
                return;
            }
            if (s->Gone()) {
                Tell(sensor, now, ExitPort, GoneLine(sensor.info.name));
            } else if (s->Talk().Now() == Exchange::State::Written) {
                Tell(sensor, now, ExitOk, "Modify Successful!");
            } else if (s->Talk().Now() == Exchange::State::Kept) {
                Tell(sensor, now, ExitKept, "No Sucess!");
            } else {
                Tell(sensor, now, ExitNoResponse, "No response!");
            }
            break;
        case Sensor::Stage::Done:
            return;
        }
        // Written once until it is unplugged.
        Close(sensor);
        sensor.stage = Sensor::Stage::Done;
    }

    // One line, or one JSON object, for the sensor.
    void Tell(const Sensor& sensor, TimePoint now, int code, const std::string& result) {
        const auto wall = std::chrono::system_clock::now();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - sensor.since);
        const std::string& serial = sensor.info.usb.serial;
        const bool wrote = sensor.stage == Sensor::Stage::Writing;
        if (!call_.options.json) {
            call_.out << UtcTime(wall, ' ') << "  " << VisibleText(sensor.info.name) << "  serial "
                      << (serial.empty() ? "-" : VisibleText(serial)) << "  " << result << "  ("
                      << ms.count() << " ms)" << std::endl;
            return;
        }
        JsonWriter json;
        json.BeginObject().Key("time").String(UtcTime(wall, 'T') + "Z");
        json.Key("port").String(sensor.info.name).Key("serial");
        serial.empty() ? json.Null() : json.String(serial);
        json.Key("result").String(code == ExitPort ? "error" : result).Key("written");
        wrote ? JsonSettings(json, sensor.plan) : void(json.Null());
        json.Key("duration_ms").Number(ms.count()).Key("exit_code").Number(code);
        if (code == ExitPort) {
            json.Key("error").String(result);
        }
        json.EndObject();
        call_.out << json.Text() << std::endl;
    }

    Call& call_;
    const DeviceSettings file_;
    PortWatch& watch_;
    Sessions sessions_;
    std::map<std::string, Sensor> sensors_; // by port
    bool started_ = false;                  // the ports there at the start have been seen
};

} // namespace

int Watch(Call& call) {
    if (!call.options.file) {
        throw Failure{ExitUsageOrFile, "watch needs --file F, the settings file to write"};
    }
    const DeviceSettings file = LoadSettingsFile(call, *call.options.file);
    PortWatch watch(call.inbox);
    Watcher watcher(call, file, watch);
    watcher.Run();
    // Only an interruption ends it. Each sensor's line or object is out already: no document
    // follows them.
    call.options.json = false;
    return ExitInterrupted;
}

} // namespace tvk9::cli
