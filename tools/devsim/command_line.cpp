#include "tools/devsim/command_line.h"

#include "common/command_line.h"
#include "common/error.h"

#include <charconv>

namespace tvk9::devsim {

namespace {

// Decimal, or hex after 0x; nothing else, and nothing above `max`.
unsigned long Number(std::string_view option, std::string_view text, unsigned long max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
        throw Exception("tvk9-devsim: " + std::string(option) + ": \"" + std::string(text) +
                        "\" is not a number from 0 to " + std::to_string(max));
    }
    return value;
}

DeviceSettings SettingsList(std::string_view text) {
    std::uint8_t v[PayloadSize] = {};
    std::size_t count = 0;
    for (;;) {
        const auto comma = text.find(',');
        if (count == PayloadSize) {
            count = PayloadSize + 1; // too many
            break;
        }
        v[count++] = static_cast<std::uint8_t>(Number("--settings", text.substr(0, comma), 255));
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (count != PayloadSize) {
        throw Exception("tvk9-devsim: --settings takes seven values: O,P,R,Y,S1,S2,S3");
    }
    return {v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
}

} // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args) {
    enum Option {
        Help,
        Version,
        Name,
        Settings,
        Delay,
        Split,
        UnplugAfter,
        BaudTiming,
        NoAnnounce,
        Silent,
        IgnoreWrites,
        BadChecksum,
        Log,
        FloodAfter
    };
    static constexpr OptionDef Defs[] = {
        {"help", 'h', false},      {"version", 0, false},       {"name", 0, true},
        {"settings", 0, true},     {"delay", 0, true},          {"split", 0, true},
        {"unplug-after", 0, true}, {"baud-timing", 0, false},   {"no-announce", 0, false},
        {"silent", 0, false},      {"ignore-writes", 0, false}, {"bad-checksum", 0, false},
        {"log", 0, false},         {"flood-after", 0, true},
    };
    ParsedArguments parsed;
    try {
        parsed = ParseArguments(args, Defs);
    } catch (const Exception& e) {
        throw Exception("tvk9-devsim: " + std::string(e.what()) + " (see --help)");
    }
    if (!parsed.operands.empty()) {
        throw Exception("tvk9-devsim: unexpected argument \"" + parsed.operands.front() +
                        "\" (see --help)");
    }
    CommandLine cl;
    DeviceOptions& d = cl.run.device;
    for (const ParsedOption& option : parsed.options) {
        const std::string name = "--" + std::string(Defs[option.index].longName);
        const auto ms = [&] {
            return std::chrono::milliseconds(Number(name, option.value, 600000));
        };
        switch (static_cast<Option>(option.index)) {
        case Help:
            cl.help = true;
            break;
        case Version:
            cl.version = true;
            break;
        case Name:
            cl.run.name = option.value;
            break;
        case Settings:
            d.settings = SettingsList(option.value);
            break;
        case Delay:
            d.delay = ms();
            break;
        case Split:
            d.split = ms();
            break;
        case UnplugAfter:
        case FloodAfter: {
            auto& after =
                static_cast<Option>(option.index) == UnplugAfter ? d.unplugAfter : d.floodAfter;
            after = static_cast<unsigned>(Number(name, option.value, 1000000));
            if (*after == 0) {
                throw Exception("tvk9-devsim: " + name + " needs at least one answer");
            }
            break;
        }
        case BaudTiming:
            d.baudTiming = true;
            break;
        case NoAnnounce:
            d.announce = false;
            break;
        case Silent:
            d.silent = true;
            break;
        case IgnoreWrites:
            d.ignoreWrites = true;
            break;
        case BadChecksum:
            d.badChecksum = true;
            break;
        case Log:
            cl.log = true;
            break;
        }
    }
    return cl;
}

std::string UsageText() {
    return R"(Usage: tvk9-devsim [OPTION]...
Simulates a TVK9 motion sensor on a pseudo-terminal, for trying or testing the TVK9
Programmer without hardware. The port is registered as a symbolic link in the port folder
($TVK9_PORT_DIR, else $XDG_RUNTIME_DIR/tvk9-ports, else /tmp/tvk9-ports-UID), where the
programmer lists it; its full path is printed on standard output. The link goes when the
simulator ends (Ctrl+C, SIGTERM, SIGHUP).

The device greets every program that opens the port with AA BB 55 and answers every query
(AA 01 ...) and every write (AA 02 ...) with a report (BB 03 ...) of its settings. A write
with a good checksum replaces the settings; bad checksums and unknown commands get no answer.

Options (a value follows as --delay 50 or as --delay=50):
  --name NAME           name of the link (default TVK9-SIM)
  --settings O,P,R,Y,S1,S2,S3
                        initial settings: orientation, pitch, roll, yaw and the three
                        scaled parameters, 0 to 255 each, decimal or 0x hex
                        (default 1,10,10,10,0,0,0)
  --delay MS            time from a whole request to its answer (default 20)
  --baud-timing         send at the pace of 9600 8N1, about 1.04 ms a byte
  --no-announce         do not send AA BB 55 when the port is opened
  --silent              never answer
  --ignore-writes       answer a write with the settings it had before
  --bad-checksum        answer with a wrong checksum
  --split MS            send each report in two parts of five bytes, MS apart
  --unplug-after N      after N answers close the port and remove the link, like a
                        pulled cable, and end
  --flood-after N       after N answers send zero bytes without a pause, as fast as the
                        port takes them, until the program closes the port; then greet
                        and answer as before
  --log                 on standard error, one line per frame received and sent:
                          SECONDS.MILLIS rx|tx HEX BYTES (what)
                        e.g. 12.345 rx AA 01 00 00 00 00 00 00 00 AB (query)
                             12.365 tx BB 03 01 0A 0A 0A 00 00 00 DD (report)
                        and "open", "close", "unplug", "flood" when those happen
  -h, --help            show this text
      --version         show the version
)";
}

} // namespace tvk9::devsim
