#include "tools/cli/cli.h"

#include "common/command_line.h"
#include "common/error.h"
#include "common/visible_text.h"
#include "tools/cli/command.h"

#include <charconv>

namespace tvk9::cli {

namespace {

constexpr OptionDef Help{"help", 'h', false};
constexpr OptionDef Version{"version", 0, false};
constexpr OptionDef Json{"json", 0, false};
constexpr OptionDef Verbose{"verbose", 'v', false};
constexpr OptionDef Port{"port", 'p', true};
constexpr OptionDef File{"file", 'f', true};
constexpr OptionDef Output{"output", 'o', true};
constexpr OptionDef Timeout{"timeout", 0, true};
constexpr OptionDef DryRun{"dry-run", 'n', false};
constexpr OptionDef SerialOnly{"serial-only", 0, false};
constexpr OptionDef NewOnly{"new-only", 0, false};
constexpr OptionDef OrientationOption{"orientation", 0, true};
constexpr OptionDef Pitch{"pitch", 0, true};
constexpr OptionDef Roll{"roll", 0, true};
constexpr OptionDef Yaw{"yaw", 0, true};

struct CommandSpec {
    std::string_view name;
    std::vector<OptionDef> options; // besides --help and --version
    std::size_t operands;           // how many it takes
    int (*run)(Call&);
};

// The command table: a new command is one more line.
const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands{
        {"ports", {Json}, 0, Ports},
        {"find", {Timeout, Json, Verbose}, 0, Find},
        {"read", {Port, Timeout, Json, Verbose}, 0, Read},
        {"write",
         {Port, File, OrientationOption, Roll, Pitch, Yaw, DryRun, Timeout, Json, Verbose},
         0,
         Write},
        {"backup", {Port, Output, Timeout, Json, Verbose}, 0, Backup},
        {"restore", {Port, DryRun, Timeout, Json, Verbose}, 1, Restore},
        {"watch", {File, NewOnly, Json, Verbose}, 0, Watch},
        {"udev-rule", {Port, SerialOnly, Timeout, Verbose}, 0, UdevRule},
    };
    return commands;
}

class UsageError : public Exception {
public:
    using Exception::Exception;
};

std::chrono::milliseconds Milliseconds(const std::string& text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 600000) {
        throw UsageError("--timeout takes milliseconds from 1 to 600000, not \"" + text + "\"");
    }
    return std::chrono::milliseconds(value);
}

AxisSide Side(std::string_view option, const std::string& text) {
    if (text == "nor" || text == "NOR") {
        return AxisSide::Nor;
    }
    if (text == "rev" || text == "REV") {
        return AxisSide::Rev;
    }
    throw UsageError("--" + std::string(option) + " takes nor or rev, not \"" + text + "\"");
}

Options Interpret(const ParsedArguments& parsed, std::span<const OptionDef> defs) {
    Options o;
    for (const ParsedOption& option : parsed.options) {
        const std::string_view name = defs[option.index].longName;
        const std::string& value = option.value;
        if (name == Json.longName) {
            o.json = true;
        } else if (name == Verbose.longName) {
            o.verbose = true;
        } else if (name == DryRun.longName) {
            o.dryRun = true;
        } else if (name == SerialOnly.longName) {
            o.serialOnly = true;
        } else if (name == NewOnly.longName) {
            o.newOnly = true;
        } else if (name == Port.longName) {
            o.port = value;
        } else if (name == File.longName) {
            o.file = value;
        } else if (name == Output.longName) {
            o.output = value;
        } else if (name == Timeout.longName) {
            o.timeout = Milliseconds(value);
        } else if (name == OrientationOption.longName) {
            if (value != "vertical" && value != "horizontal") {
                throw UsageError("--orientation takes vertical or horizontal, not \"" + value +
                                 "\"");
            }
            o.orientation = value == "vertical" ? Orientation::Vertical : Orientation::Horizontal;
        } else if (name == Pitch.longName) {
            o.pitch = Side(name, value);
        } else if (name == Roll.longName) {
            o.roll = Side(name, value);
        } else if (name == Yaw.longName) {
            o.yaw = Side(name, value);
        }
    }
    o.operands = parsed.operands;
    return o;
}

int Usage(std::ostream& err, const std::string& message) {
    // The message quotes what it was given.
    err << "tvk9-cli: " << VisibleText(message) << "\nTry 'tvk9-cli --help'.\n";
    return ExitUsageOrFile;
}

int Run(const CommandSpec& command, std::span<const std::string_view> args, Inbox& inbox,
        std::ostream& out, std::ostream& err) {
    std::vector<OptionDef> defs{Help, Version};
    defs.insert(defs.end(), command.options.begin(), command.options.end());
    ParsedArguments parsed;
    try {
        parsed = ParseArguments(args, defs);
    } catch (const Exception& e) {
        return Usage(err, std::string(command.name) + ": " + e.what());
    }
    for (const ParsedOption& option : parsed.options) {
        if (defs[option.index].longName == Help.longName) {
            out << HelpText();
            return ExitOk;
        }
        if (defs[option.index].longName == Version.longName) {
            out << VersionLine("tvk9-cli") << '\n';
            return ExitOk;
        }
    }
    Call call{inbox, out, err, {}, {}};
    try {
        call.options = Interpret(parsed, defs);
        if (call.options.operands.size() != command.operands) {
            throw UsageError(command.operands == 0
                                 ? "unexpected argument \"" + call.options.operands.front() + "\""
                                 : "needs one FILE");
        }
    } catch (const UsageError& e) {
        return Usage(err, std::string(command.name) + ": " + e.what());
    }

    call.json.BeginObject().Key("command").String(command.name);
    int code = ExitOk;
    std::string error;
    try {
        code = command.run(call);
    } catch (const Failure& f) {
        code = f.code;
        error = f.message;
    } catch (const Exception& e) {
        // The settings file's messages, and files that cannot be written: one line each, which
        // names a file.
        code = ExitUsageOrFile;
        error = VisibleText(AsShown(e.what()));
    } catch (const std::exception& e) {
        // What the system refused (a thread, memory): said, after the ports were put back.
        code = ExitUsageOrFile;
        error = std::string(command.name) + ": " + e.what();
    }
    const Ending ending = EndingOf(call, code, error);
    err << ending.err;
    out << ending.out;
    out.flush();
    return code;
}

} // namespace

Ending EndingOf(const Call& call, int code, const std::string& error) {
    Ending ending;
    if (!error.empty()) {
        ending.err = error + '\n';
    }
    if (call.options.json) {
        JsonWriter json = call.json;
        json.CloseTo(1);
        if (!error.empty()) {
            json.Key("error").String(error);
        }
        json.Key("exit_code").Number(code).EndObject();
        ending.out = json.Text() + '\n';
    }
    return ending;
}

int RunCli(std::span<const std::string_view> args, Inbox& inbox, std::ostream& out,
           std::ostream& err) {
    if (args.empty()) {
        err << HelpText();
        return ExitUsageOrFile;
    }
    const std::string_view first = args.front();
    if (first == "--help" || first == "-h" || first == "help") {
        out << HelpText();
        return ExitOk;
    }
    if (first == "--version") {
        out << VersionLine("tvk9-cli") << '\n';
        return ExitOk;
    }
    for (const CommandSpec& command : Commands()) {
        if (command.name == first) {
            return Run(command, args.subspan(1), inbox, out, err);
        }
    }
    return Usage(err, "unknown command \"" + std::string(first) + "\"");
}

} // namespace tvk9::cli
