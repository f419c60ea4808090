// tvk9-settings: reads and makes settings files of the TVK9 Programmer.
//
//   tvk9-settings decode [--raw] [--frame] [--decimal-separator C] FILE
//   tvk9-settings encode [-o FILE]
//   tvk9-settings --help | --version

#include "common/command_line.h"
#include "common/error.h"
#include "common/visible_text.h"
#include "common/whole_file.h"
#include "config/frames.h"
#include "config/settings_file.h"
#include "tools/settings/decimal_separator.h"
#include "tools/settings/encode.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace tvk9 {
namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

constexpr std::string_view Usage =
    "Usage: tvk9-settings decode [--raw] [--frame] [--decimal-separator C] FILE\n"
    "  or:  tvk9-settings encode [-o FILE]\n"
    "  or:  tvk9-settings --help | --version\n"
    "\n"
    "Commands:\n"
    "  decode  prints the seven values a freshly started programmer sends after loading FILE,\n"
    "          one 'NAME VALUE' line each; --raw: as read, before the radio buttons'\n"
    "          orientation rule; --frame: the ten bytes of the settings frame in hex instead.\n"
    "          FILE may be a pipe, read to its end; - reads standard input.\n"
    "          Decimal numbers may use the full stop or the regional decimal separator, that\n"
    "          of LC_ALL, LC_NUMERIC or LANG unless --decimal-separator names another.\n"
    "  encode  reads eight plain-text lines (marker and seven numbers) from standard input and\n"
    "          writes the enciphered settings file to FILE (-o, --output) or standard output.\n"
    "\n"
    "An option's value follows as \"-o FILE\", \"--output FILE\" or \"--output=FILE\".\n"
    "Exit status: 0 done, 1 the file was refused or could not be read or written, 2 wrong usage.\n";

class UsageError {
public:
    explicit UsageError(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const { return message_; }

private:
    std::string message_;
};

int Fail(const std::string& message) {
    // One line, which may name a file: its name is shown, not passed on to the terminal.
    WriteAll(STDERR_FILENO, VisibleText(AsShown(message)) + "\n");
    return ExitFailure;
}

// The options of a command; --help prints the usage wherever it stands.
struct Command {
    ParsedArguments parsed;
    bool help = false;
};

Command ParseCommand(std::string_view name, const std::vector<std::string_view>& args,
                     std::span<const OptionDef> defs) {
    Command command;
    try {
        command.parsed = ParseArguments(args, defs);
    } catch (const Exception& e) {
        throw UsageError(e.what());
    }
    for (const ParsedOption& option : command.parsed.options) {
        command.help = command.help || std::string_view(defs[option.index].longName) == "help";
    }
    if (!command.help && command.parsed.operands.size() > (name == "decode" ? 1u : 0u)) {
        throw UsageError(name == "decode" ? "decode takes one FILE"
                                          : "encode takes no FILE; give it with -o FILE");
    }
    return command;
}

int PrintUsage() {
    return WriteAll(STDOUT_FILENO, Usage) == 0 ? 0 : ExitFailure;
}

struct DecodeOptions {
    bool raw = false;
    bool frame = false;
    std::optional<char> separator;
    std::string path;
};

std::optional<DecodeOptions> ParseDecodeOptions(const std::vector<std::string_view>& args) {
    enum Option { Help, Raw, Frame, Separator };
    static constexpr OptionDef Defs[] = {
        {"help", 'h', false},
        {"raw", 0, false},
        {"frame", 0, false},
        {"decimal-separator", 0, true},
    };
    const Command command = ParseCommand("decode", args, Defs);
    if (command.help) {
        return std::nullopt;
    }
    DecodeOptions options;
    for (const ParsedOption& option : command.parsed.options) {
        switch (static_cast<Option>(option.index)) {
        case Help:
            break;
        case Raw:
            options.raw = true;
            break;
        case Frame:
            options.frame = true;
            break;
        case Separator:
            if (option.value.size() != 1) {
                throw UsageError("--decimal-separator takes exactly one character");
            }
            options.separator = option.value[0];
            break;
        }
    }
    if (command.parsed.operands.empty()) {
        throw UsageError("decode needs a FILE");
    }
    options.path = command.parsed.operands.front();
    return options;
}

std::string Hex(const Frame& frame) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : frame) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text.push_back(Digits[byte >> 4]);
        text.push_back(Digits[byte & 0x0F]);
    }
    return text + "\n";
}

std::string Listing(const DeviceSettings& s) {
    std::string text;
    const auto line = [&text](std::string_view name, std::uint8_t value) {
        text.append(name).append(" ").append(std::to_string(value)).append("\n");
    };
    line("orientation", s.orientation);
    line("pitch", s.pitch);
    line("roll", s.roll);
    line("yaw", s.yaw);
    line("scale1", s.scale1);
    line("scale2", s.scale2);
    line("scale3", s.scale3);
    return text;
}

int Decode(const std::vector<std::string_view>& args) {
    const std::optional<DecodeOptions> parsed = ParseDecodeOptions(args);
    if (!parsed) {
        return PrintUsage();
    }
    const DecodeOptions& options = *parsed;
    const char separator = options.separator.value_or(RegionalDecimalSeparator());
    // A pipe is read to its end: its writer may still be busy when the tool starts.
    const SettingsLines lines = ReadSettingsOperand(options.path);
    DeviceSettings loaded; // a freshly started programmer holds zeros
    if (LoadSettingsLines(lines, separator, loaded) == LoadResult::Refused) {
        return Fail("Data Error!");
    }
    const DeviceSettings shown = options.raw ? loaded : SettingsAfterFreshSelection(loaded);
    const std::string out = options.frame ? Hex(BuildSettingsFrame(shown)) : Listing(shown);
    if (const int error = WriteAll(STDOUT_FILENO, out); error != 0) {
        return Fail("Cannot write to standard output. " + std::generic_category().message(error));
    }
    return 0;
}

// Standard input, no more than a settings file may hold.
std::string ReadInput() {
    std::string input;
    std::array<char, 16384> buffer{};
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Exception("Cannot read standard input. " +
                            std::generic_category().message(errno));
        }
        if (got == 0) {
            return input;
        }
        input.append(buffer.data(), static_cast<std::size_t>(got));
        if (input.size() > MaxSettingsTextBytes) {
            throw Exception("Standard input holds more than a settings file may");
        }
    }
}

// Exactly eight lines, the last one's line end optional.
SettingsLines PlainLines(std::string_view input) {
    SettingsLineSplitter splitter;
    const std::size_t used = splitter.Feed(input);
    const SettingsLines& lines = splitter.Lines();
    if (splitter.Complete()) {
        const std::string_view rest = input.substr(used);
        const bool crLfEnd = rest == "\n" && input[used - 1] == '\r';
        if (!rest.empty() && !crLfEnd) {
            throw Exception("Standard input holds more than eight lines");
        }
    } else {
        const bool lastUnended = !lines[splitter.EndedLines()].empty();
        const std::size_t count = splitter.EndedLines() + (lastUnended ? 1 : 0);
        if (count != SettingsLineCount) {
            throw Exception("Standard input must hold eight lines, not " + std::to_string(count));
        }
    }
    for (std::size_t i = 0; i < SettingsLineCount; ++i) {
        if (!lines[i].empty() && lines[i].back() == '\0') {
            throw Exception("Line " + std::to_string(i + 1) +
                            " ends in a zero byte, which a settings file cannot keep");
        }
    }
    return lines;
}

int Encode(const std::vector<std::string_view>& args) {
    static constexpr OptionDef Defs[] = {{"help", 'h', false}, {"output", 'o', true}};
    const Command command = ParseCommand("encode", args, Defs);
    if (command.help) {
        return PrintUsage();
    }
    std::optional<std::string> outputPath;
    for (const ParsedOption& option : command.parsed.options) {
        if (option.index == 1) {
            outputPath = option.value; // the last one counts
        }
    }
    const std::string file = EncodeSettingsFile(PlainLines(ReadInput()));
    if (!outputPath) {
        if (const int error = WriteAll(STDOUT_FILENO, file); error != 0) {
            return Fail("Cannot write to standard output. " +
                        std::generic_category().message(error));
        }
        return 0;
    }
    WriteWholeFile(*outputPath, file);
    return 0;
}

int Run(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        WriteAll(STDERR_FILENO, Usage);
        return ExitUsage;
    }
    const std::string_view command = args.front();
    args.erase(args.begin());
    try {
        if (command == "decode") {
            return Decode(args);
        }
        if (command == "encode") {
            return Encode(args);
        }
        if (command == "--help" || command == "-h") {
            return PrintUsage();
        }
        if (command == "--version") {
            return WriteAll(STDOUT_FILENO, VersionLine("tvk9-settings") + "\n") == 0 ? 0
                                                                                     : ExitFailure;
        }
        throw UsageError("unknown command " + std::string(command));
    } catch (const UsageError& e) {
        WriteAll(STDERR_FILENO,
                 "tvk9-settings: " + VisibleText(e.Message()) + "\n" + std::string(Usage));
        return ExitUsage;
    } catch (const Exception& e) {
        return Fail(e.what());
    }
}

} // namespace
} // namespace tvk9

int main(int argc, char** argv) {
    return tvk9::Run(argc, argv);
}
