// read, write, restore and backup: one sensor, one exchange after the other.

#include "common/error.h"
#include "common/visible_text.h"
#include "common/whole_file.h"
#include "tools/cli/backup_file.h"
#include "tools/cli/command.h"
#include "tools/cli/write_plan.h"

#include <array>
#include <cstdio>
#include <iomanip>

namespace tvk9::cli {

namespace {

struct Field {
    const char* name;
    std::uint8_t DeviceSettings::*value;
    bool axis;
};
constexpr std::array<Field, 7> Fields{{
    {"orientation", &DeviceSettings::orientation, false},
    {"pitch", &DeviceSettings::pitch, true},
    {"roll", &DeviceSettings::roll, true},
    {"yaw", &DeviceSettings::yaw, true},
    {"scale1", &DeviceSettings::scale1, false},
    {"scale2", &DeviceSettings::scale2, false},
    {"scale3", &DeviceSettings::scale3, false},
}};

std::ostream& Label(std::ostream& out, std::string_view label) {
    return out << std::left << std::setw(13) << label << std::right;
}

const char* OrientationName(std::uint8_t o) {
    return ReportedOrientation(o) == Orientation::Vertical ? "vertical" : "horizontal";
}

const char* SideName(std::uint8_t v) {
    return SideOf(v) == AxisSide::Nor ? "NOR" : "REV";
}

// "vertical (0x01)", "REV (9)", "25".
std::string Shown(const Field& field, std::uint8_t v) {
    if (field.value == &DeviceSettings::orientation) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", v);
        return std::string(OrientationName(v)) + " (" + hex + ")";
    }
    return field.axis ? std::string(SideName(v)) + " (" + std::to_string(v) + ")"
                      : std::to_string(v);
}

// The sensor's port, what the port list knows of it, and its answer to a query, as it sent it.
struct Reading {
    PortSession& session;
    PortInfo info;
    ReportedSettings reported;
};

Reading ReadSensor(Call& call, Sessions& sessions) {
    PortSession& session = SensorSession(call, sessions);
    session.Query(SteadyClock::now());
    // Looked up while the sensor answers.
    PortInfo info = InfoOf(session.Port());
    JsonPort(call.json, info);
    RunUntil(sessions, [&] { return !session.Busy(); });
    if (session.Gone()) {
        throw Failure{ExitPort, GoneLine(session.Port())};
    }
    if (session.Talk().Now() != Exchange::State::Answered) {
        throw Failure{ExitNoResponse, "No response!"};
    }
    return {session, std::move(info), *session.Talk().Report()};
}

int WriteSettings(Call& call, const std::optional<std::string>& file) {
    const Options& o = call.options;
    WriteChoices choices{std::nullopt, o.orientation, o.pitch, o.roll, o.yaw};
    if (file) {
        call.json.Key("file").String(*file);
        choices.file = LoadSettingsFile(call, *file);
    }
    Sessions sessions(call.inbox);
    const auto [session, info, reported] = ReadSensor(call, sessions);
    const DeviceSettings before = Adopted(reported);
    const DeviceSettings plan = PlanWrite(reported, choices);
    const Frame frame = BuildSettingsFrame(plan);
    call.json.Key("before");
    JsonSettings(call.json, before);
    call.json.Key("written");
    JsonSettings(call.json, plan);
    call.json.Key("frame").String(FrameText(frame)).Key("changes").BeginArray();
    if (!o.json) {
        Label(call.out, "port") << WithDetails(info) << '\n';
    }
    for (const Field& f : Fields) {
        if (before.*f.value == plan.*f.value) {
            continue;
        }
        call.json.BeginObject().Key("field").String(f.name);
        call.json.Key("from").Number(before.*f.value).Key("to").Number(plan.*f.value).EndObject();
        if (!o.json) {
            Label(call.out, f.name)
                << Shown(f, before.*f.value) << " → " << Shown(f, plan.*f.value) << '\n';
        }
    }
    call.json.EndArray().Key("dry_run").Bool(o.dryRun);
    if (!o.json && before == plan) {
        call.out << "no changes: the sensor's own settings are written back\n";
    }
    if (o.dryRun) {
        if (!o.json) {
            Label(call.out, "frame") << FrameText(frame) << " (not written: --dry-run)\n";
        }
        return ExitOk;
    }

    session.Write(plan, SteadyClock::now());
    RunUntil(sessions, [&] { return !session.Busy(); });
    if (session.Gone()) {
        throw Failure{ExitPort, GoneLine(session.Port())};
    }
    const Exchange::State state = session.Talk().Now();
    if (state == Exchange::State::NoResponse) {
        call.json.Key("result").String("No response!");
        throw Failure{ExitNoResponse, "No response!"};
    }
    const ReportedSettings& answer = *session.Talk().Report();
    call.json.Key("reported");
    JsonSettings(call.json, answer);
    if (state == Exchange::State::Written) {
        call.json.Key("result").String("Modify Successful!");
        if (!o.json) {
            call.out << "Modify Successful!\n";
        }
        return ExitOk;
    }
    call.json.Key("result").String("No Sucess!");
    std::string kept = "No Sucess!";
    for (const Field& f : Fields) {
        if (answer.*f.value != plan.*f.value) {
            kept += std::string("\n  ") + f.name + ": written " + Shown(f, plan.*f.value) +
                    ", the sensor has " + Shown(f, answer.*f.value);
        }
    }
    throw Failure{ExitKept, kept};
}

} // namespace

int Read(Call& call) {
    Sessions sessions(call.inbox);
    const auto [session, info, reported] = ReadSensor(call, sessions);
    const DeviceSettings shown = Adopted(reported);

    call.json.Key("settings");
    JsonSettings(call.json, shown);
    call.json.Key("reported");
    JsonSettings(call.json, reported);
    call.json.Key("choices")
        .BeginObject()
        .Key("orientation")
        .String(OrientationName(shown.orientation))
        .Key("pitch")
        .String(SideName(shown.pitch))
        .Key("roll")
        .String(SideName(shown.roll))
        .Key("yaw")
        .String(SideName(shown.yaw))
        .EndObject();
    if (!call.options.json) {
        Label(call.out, "port") << WithDetails(info) << '\n';
        for (const Field& f : Fields) {
            Label(call.out, f.name) << Shown(f, shown.*f.value);
            if (shown.*f.value != reported.*f.value) {
                call.out << ", reported as " << int{reported.*f.value};
            }
            call.out << '\n';
        }
    }
    return ExitOk;
}

int Write(Call& call) {
    return WriteSettings(call, call.options.file);
}

int Restore(Call& call) {
    return WriteSettings(call, call.options.operands.front());
}

int Backup(Call& call) {
    if (!call.options.output) {
        throw Failure{ExitUsageOrFile, "backup needs -o FILE (- for standard output)"};
    }
    const std::string& path = *call.options.output;
    if (path == "-" && call.options.json) {
        throw Failure{ExitUsageOrFile, "backup -o - writes the file to standard output: no --json"};
    }
    Sessions sessions(call.inbox);
    const auto [session, info, reported] = ReadSensor(call, sessions);
    call.json.Key("file").String(path).Key("settings");
    JsonSettings(call.json, reported);
    const std::string file = BackupFile(reported);
    if (path == "-") {
        call.out << file;
        return ExitOk;
    }
    WriteWholeFile(path, file);
    if (!call.options.json) {
        call.out << "The settings of the sensor on " << WithDetails(info) << " are in "
                 << VisibleText(path) << '\n';
    }
    return ExitOk;
}

} // namespace tvk9::cli
