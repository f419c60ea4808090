// Reaching a sensor: finding it, opening its port, waiting for its answers; and the pieces of
// output that the commands share.

#include "tools/cli/command.h"

#include "common/visible_text.h"
#include "config/settings_file.h"
#include "tools/cli/interrupt_watch.h"
#include "tools/settings/decimal_separator.h"

#include <cerrno>
#include <filesystem>

namespace tvk9::cli {

namespace {

const char* KindName(PortProblem::Kind kind) {
    switch (kind) {
    case PortProblem::Kind::None:
        return "none";
    case PortProblem::Kind::Permission:
        return "permission";
    case PortProblem::Kind::InUse:
        return "in-use";
    case PortProblem::Kind::Console:
        return "console";
    case PortProblem::Kind::Missing:
        return "missing";
    case PortProblem::Kind::NotSerial:
        return "not-serial";
    case PortProblem::Kind::Other:
        break;
    }
    return "other";
}

std::string Listed(const std::vector<std::pair<PortInfo, PortSession*>>& found) {
    std::string text;
    for (const auto& [info, session] : found) {
        text += "\n  " + WithDetails(info);
    }
    return text;
}

} // namespace

void RunUntil(Sessions& sessions, const std::function<bool()>& done) {
    if (!sessions.Run(done)) {
        throw Failure{ExitInterrupted, InterruptedMessage};
    }
}

PortInfo InfoOf(const std::string& port) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path device = fs::canonical(port.starts_with('/') ? port : "/dev/" + port, ec);
    for (PortInfo& info : ListSerialPortInfo()) {
        std::error_code other;
        if (info.name == port || (!ec && fs::canonical(info.name, other) == device && !other)) {
            info.name = port;
            return info;
        }
    }
    return {port, {}};
}

FindOutcome FindSensors(Call& call, Sessions& sessions) {
    FindOutcome outcome;
    std::vector<std::pair<PortInfo, PortSession*>> listening;
    const std::vector<PortInfo> ports = ListSerialPortInfo();
    std::vector<std::string> names;
    for (const PortInfo& info : ports) {
        names.push_back(info.name);
    }
    auto opened = sessions.OpenAll(names);
    // A sensor announces itself within the window from its port's opening; the last port has
    // just opened, the others a little before.
    const TimePoint now = SteadyClock::now();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto& [session, problem] = opened[i];
        if (problem.kind != PortProblem::Kind::None) {
            outcome.skipped.emplace_back(ports[i], std::move(problem));
            sessions.Remove(*session);
            continue;
        }
        TellPassedOver(call, ports[i].name, problem);
        session->Listen(now, Deadline::After(now, call.options.timeout));
        listening.emplace_back(ports[i], session);
    }
    RunUntil(sessions, [&] {
        for (const auto& [info, session] : listening) {
            if (session->Busy()) {
                return false;
            }
        }
        return true;
    });
    for (const auto& [info, session] : listening) {
        if (session->Talk().Announced() && !session->Gone()) {
            outcome.found.emplace_back(info, session);
        } else {
            outcome.silent.push_back(info);
            sessions.Remove(*session);
        }
    }
    if (call.options.verbose) {
        for (const auto& [info, problem] : outcome.skipped) {
            call.err << "skipped " << problem.Line() << '\n';
        }
        for (const PortInfo& info : outcome.silent) {
            call.err << "no sensor announced itself on " << VisibleText(info.name) << '\n';
        }
    }
    return outcome;
}

PortSession& SensorSession(Call& call, Sessions& sessions) {
    if (call.options.port) {
        PortSession& session = sessions.Add(*call.options.port);
        const PortProblem problem = session.Open();
        if (problem.kind != PortProblem::Kind::None) {
            throw Failure{ExitPort, problem.Line()};
        }
        TellPassedOver(call, session.Port(), problem);
        return session;
    }
    FindOutcome found = FindSensors(call, sessions);
    if (found.found.size() == 1) {
        return *found.found.front().second;
    }
    if (found.found.empty()) {
        throw NoSensor(call, found);
    }
    throw Failure{ExitSensorCount,
                  "Several sensors found; name one with --port:" + Listed(found.found)};
}

Failure NoSensor(const Call& call, const FindOutcome& outcome) {
    std::string message = "No sensor found";
    // The ports that could not be tried may be why; --verbose has told of them already.
    if (!call.options.verbose) {
        for (const auto& [info, problem] : outcome.skipped) {
            message += "\n  not tried: " + problem.Line();
        }
    }
    return {ExitSensorCount, message};
}

DeviceSettings LoadSettingsFile(const Call& call, const std::string& path) {
    const SettingsLines lines = [&] {
        // A writer that never writes must not keep the command from its end, and no port is
        // open yet to be put back.
        const Ending interrupted = EndingOf(call, ExitInterrupted, InterruptedMessage);
        const ImmediateInterrupts stops(interrupted.out, interrupted.err);
        return ReadSettingsOperand(path);
    }();
    DeviceSettings loaded;
    if (LoadSettingsLines(lines, RegionalDecimalSeparator(), loaded) == LoadResult::Refused) {
        throw Failure{ExitUsageOrFile, "Data Error!"};
    }
    return loaded;
}

void TellPassedOver(const Call& call, const std::string& port, const PortProblem& opened) {
    if (!opened.detail.empty()) {
        call.err << VisibleText(port) << ": " << opened.detail << '\n';
    }
}

std::string GoneLine(const std::string& port) {
    return DiagnoseOpenFailure(port, ENODEV).Line();
}

std::string WithDetails(const PortInfo& port) {
    const std::string details = Describe(port.usb);
    const std::string name = VisibleText(port.name);
    return details.empty() ? name : name + " (" + details + ")";
}

std::string FrameText(const Frame& frame) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : frame) {
        text += text.empty() ? "" : " ";
        text += Digits[byte >> 4];
        text += Digits[byte & 0x0F];
    }
    return text;
}

void JsonUsb(JsonWriter& json, const UsbDetails& usb) {
    if (usb == UsbDetails{}) {
        json.Null();
        return;
    }
    json.BeginObject()
        .Key("manufacturer")
        .String(usb.manufacturer)
        .Key("product")
        .String(usb.product)
        .Key("serial")
        .String(usb.serial)
        .Key("vendor_id")
        .String(usb.vendorId)
        .Key("product_id")
        .String(usb.productId)
        .Key("by_id")
        .String(usb.byId)
        .EndObject();
}

void JsonPort(JsonWriter& json, const PortInfo& port) {
    json.Key("port").String(port.name).Key("usb");
    JsonUsb(json, port.usb);
}

void JsonProblem(JsonWriter& json, const PortProblem& problem) {
    if (problem.kind == PortProblem::Kind::None) {
        json.Null();
        return;
    }
    json.BeginObject()
        .Key("kind")
        .String(KindName(problem.kind))
        .Key("cause")
        .String(problem.detail)
        .Key("remedy")
        .String(problem.remedy)
        .EndObject();
}

void JsonSettings(JsonWriter& json, const DeviceSettings& s) {
    json.BeginObject()
        .Key("orientation")
        .Number(s.orientation)
        .Key("pitch")
        .Number(s.pitch)
        .Key("roll")
        .Number(s.roll)
        .Key("yaw")
        .Number(s.yaw)
        .Key("scale1")
        .Number(s.scale1)
        .Key("scale2")
        .Number(s.scale2)
        .Key("scale3")
        .Number(s.scale3)
        .EndObject();
}

} // namespace tvk9::cli
