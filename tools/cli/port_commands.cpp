// ports, find and udev-rule: what there is on the serial ports.

#include "common/visible_text.h"
#include "tools/cli/command.h"
#include "tools/cli/port_check.h"
#include "tools/cli/system_texts.h"

namespace tvk9::cli {

namespace {

// A udev rule matches values in double quotes, with no way to escape one.
bool FitsRule(const std::string& value) {
    for (const char c : value) {
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
            return false;
        }
    }
    return !value.empty();
}

} // namespace

int Ports(Call& call) {
    const std::vector<PortInfo> ports = ListSerialPortInfo();
    std::vector<std::string> names;
    for (const PortInfo& port : ports) {
        names.push_back(port.name);
    }
    const std::vector<PortProblem> problems = CheckPorts(names);
    call.json.Key("ports").BeginArray();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const PortInfo& port = ports[i];
        const PortProblem& problem = problems[i];
        const bool usable = problem.kind == PortProblem::Kind::None;
        call.json.BeginObject();
        JsonPort(call.json, port);
        call.json.Key("usable").Bool(usable).Key("problem");
        JsonProblem(call.json, problem);
        call.json.EndObject();
        if (!call.options.json) {
            call.out << WithDetails(port) << '\n';
            if (!port.usb.byId.empty()) {
                call.out << "  " << VisibleText(port.usb.byId) << '\n';
            }
            if (!usable) {
                call.out << "  cannot be opened: " << problem.Line() << '\n';
            } else {
                call.out << "  can be opened"
                         << (problem.detail.empty() ? "" : " (" + problem.detail + ")") << '\n';
            }
        }
    }
    call.json.EndArray();
    if (!call.options.json && ports.empty()) {
        call.out << "No serial ports found\n";
    }
    return ExitOk;
}

int Find(Call& call) {
    Sessions sessions(call.inbox);
    const FindOutcome outcome = FindSensors(call, sessions);
    call.json.Key("found").BeginArray();
    for (const auto& [info, session] : outcome.found) {
        call.json.BeginObject();
        JsonPort(call.json, info);
        call.json.EndObject();
        if (!call.options.json) {
            call.out << VisibleText(info.name) << '\n';
        }
        if (call.options.verbose) {
            call.err << "sensor found on " << WithDetails(info) << '\n';
        }
    }
    call.json.EndArray().Key("silent").BeginArray();
    for (const PortInfo& info : outcome.silent) {
        call.json.String(info.name);
    }
    call.json.EndArray().Key("skipped").BeginArray();
    for (const auto& [info, problem] : outcome.skipped) {
        call.json.BeginObject().Key("port").String(info.name).Key("problem");
        JsonProblem(call.json, problem);
        call.json.EndObject();
    }
    call.json.EndArray();
    if (outcome.found.empty()) {
        throw NoSensor(call, outcome);
    }
    return ExitOk;
}

std::string UdevRuleText(const std::string& name, const UsbDetails& usb, bool serialOnly) {
    // The port's name and the device's strings are shown with their control characters made
    // visible, in the messages and in the rule's comment: nothing in them can end the comment
    // line and start a rule of its own.
    const std::string port = VisibleText(name);
    if (usb.vendorId.empty() || usb.productId.empty()) {
        throw Failure{ExitPort, port + " has no USB details: no USB adapter stands behind it, so "
                                       "a udev rule has nothing to match — name the sensor's "
                                       "USB serial port with --port"};
    }
    if (serialOnly && !FitsRule(usb.serial)) {
        throw Failure{ExitPort,
                      usb.serial.empty()
                          ? port + "'s USB adapter has no serial number — leave out --serial-only"
                          : port + "'s USB adapter has a serial number that a udev rule cannot "
                                   "name — leave out --serial-only"};
    }
    if (!FitsRule(usb.vendorId) || !FitsRule(usb.productId)) {
        throw Failure{ExitPort, port + ": the USB adapter's VID:PID cannot stand in a udev rule"};
    }
    std::string rule = "# The TVK9 sensor's USB adapter: " + Describe(usb) + " (" + port +
                       ")\nSUBSYSTEM==\"tty\", ATTRS{idVendor}==\"" + usb.vendorId +
                       "\", ATTRS{idProduct}==\"" + usb.productId + '"';
    if (serialOnly) {
        rule += ", ATTRS{serial}==\"" + usb.serial + '"';
    }
    return rule + ", TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
}

int UdevRule(Call& call) {
    if (const std::string_view why = ThisSystem().noUdev; !why.empty()) {
        throw Failure{ExitUsageOrFile, std::string(why)};
    }
    std::string port;
    if (call.options.port) {
        port = *call.options.port;
    } else {
        Sessions sessions(call.inbox);
        port = SensorSession(call, sessions).Port();
    }
    call.out << UdevRuleText(port, InfoOf(port).usb, call.options.serialOnly);
    return ExitOk;
}

} // namespace tvk9::cli
