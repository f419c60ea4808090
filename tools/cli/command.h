#pragma once

// What the commands of tvk9-cli share: their options, the way they end with an exit code and a
// message, and the steps to reach a sensor.

#include "config/port_list.h"
#include "tools/cli/cli.h"
#include "tools/cli/json.h"
#include "tools/cli/port_session.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvk9::cli {

struct Options {
    bool json = false;
    bool verbose = false;
    bool dryRun = false;
    bool serialOnly = false;
    bool newOnly = false;
    std::optional<std::string> port;
    std::optional<std::string> file;
    std::optional<std::string> output;
    std::chrono::milliseconds timeout = AnnouncementWindow;
    std::optional<Orientation> orientation;
    std::optional<AxisSide> pitch;
    std::optional<AxisSide> roll;
    std::optional<AxisSide> yaw;
    std::vector<std::string> operands;
};

// One run of a command. With --json, `json` is the document: an object that the command fills
// and RunCli ends with "exit_code" (and "error" when it failed).
struct Call {
    Inbox& inbox;
    std::ostream& out;
    std::ostream& err;
    Options options;
    JsonWriter json;
};

// The message of a command stopped from outside.
inline constexpr char InterruptedMessage[] = "Interrupted";

// Ends a command: the message goes to standard error (and into the JSON document).
struct Failure {
    int code;
    std::string message;
};

// What a command leaves as it ends with `code` and `error` (empty for none): the message for
// standard error and, with --json, the finished document for standard output.
struct Ending {
    std::string out;
    std::string err;
};
Ending EndingOf(const Call& call, int code, const std::string& error);

// The sensor's port: --port, opened, or the one port on which a sensor announced itself (kept
// open). Throws Failure for a port that cannot be used (4) or no sensor, or several (5).
PortSession& SensorSession(Call& call, Sessions& sessions);

// Runs the sessions until `done` holds; throws Failure 130 when interrupted.
void RunUntil(Sessions& sessions, const std::function<bool()>& done);

// The port with what the port list knows of it (matched by name or by the device it leads to).
PortInfo InfoOf(const std::string& port);

// Each candidate port opened at once, listened to for one announcement window: the ports on
// which a sensor announced itself (their sessions still open), those that stayed silent, and
// those that could not be opened.
struct FindOutcome {
    std::vector<std::pair<PortInfo, PortSession*>> found;
    std::vector<PortInfo> silent;
    std::vector<std::pair<PortInfo, PortProblem>> skipped;
};
FindOutcome FindSensors(Call& call, Sessions& sessions);
// Exit status 5 for a search that found nothing, with the ports that could not be tried.
Failure NoSensor(const Call& call, const FindOutcome& outcome);

// A settings file's values as the window loads them (its regional decimal separator or the
// full stop; - reads standard input). Throws Failure 1 with "Data Error!" for a file of another
// kind, tvk9::Exception with the loader's message for one that cannot be read or converted.
// Called before any port is opened: while the file is read, a stop from outside ends the
// program at once, as an interrupted command ends.
DeviceSettings LoadSettingsFile(const Call& call, const std::string& path);

// Output pieces.
std::string WithDetails(const PortInfo& port);
std::string FrameText(const Frame& frame);
void JsonUsb(JsonWriter& json, const UsbDetails& usb);
void JsonPort(JsonWriter& json, const PortInfo& port); // "port" and "usb" members
void JsonProblem(JsonWriter& json, const PortProblem& problem);
void JsonSettings(JsonWriter& json, const DeviceSettings& settings);
// What opening `port` passed over (a stale lock file), on standard error; nothing when nothing
// was. `opened` is the problem of an open that succeeded.
void TellPassedOver(const Call& call, const std::string& port, const PortProblem& opened);
// "PORT has gone away (unplugged?) — ..." for a session whose port went away.
std::string GoneLine(const std::string& port);

// The udev rule for the USB adapter behind `port`: its VID:PID (and serial number), access for
// the logged-in user, ModemManager kept away. Throws Failure 4 for a port without one, or
// without the serial number that `serialOnly` asks for.
std::string UdevRuleText(const std::string& port, const UsbDetails& usb, bool serialOnly);

// The commands.
int Ports(Call& call);
int Find(Call& call);
int Read(Call& call);
int Write(Call& call);
int Restore(Call& call);
int Backup(Call& call);
int Watch(Call& call);
int UdevRule(Call& call);

} // namespace tvk9::cli
