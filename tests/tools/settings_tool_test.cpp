// tvk9-settings run as its users run it: arguments, environment and standard input in,
// standard output, standard error and exit status out.

#include "common/version.h"
#include "config/frames.h"
#include "config/settings_file.h"
#include "tests/support/temp_dir.h"
#include "tools/settings/encode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tvk9 {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string Tool = std::string(TVK9_BIN_DIR) + "/tvk9-settings";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class SettingsTool : public ::testing::Test {
protected:
    // Runs `program` (searched in PATH when `env` is not given) with standard input from
    // `input`; with `env` the child sees exactly those variables.
    Outcome Run(const std::vector<std::string>& argv, const std::string& input = "",
                const std::optional<std::vector<std::string>>& env = std::vector<std::string>{}) {
        const fs::path in = dir_ / "stdin", out = dir_ / "stdout", err = dir_ / "stderr";
        std::ofstream(in, std::ios::binary) << input;
        const pid_t child = ::fork();
        if (child == 0) {
            const int fdIn = ::open(in.c_str(), O_RDONLY);
            const int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fdIn < 0 || fdOut < 0 || fdErr < 0 || ::dup2(fdIn, 0) < 0 || ::dup2(fdOut, 1) < 0 ||
                ::dup2(fdErr, 2) < 0) {
                ::_exit(127);
            }
            std::vector<char*> args;
            for (const std::string& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            if (env) {
                std::vector<char*> vars;
                for (const std::string& v : *env) {
                    vars.push_back(const_cast<char*>(v.c_str()));
                }
                vars.push_back(nullptr);
                ::execve(args[0], args.data(), vars.data());
            } else {
                ::execvp(args[0], args.data());
            }
            ::_exit(127);
        }
        Outcome outcome;
        int status = 0;
        if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
            outcome.status = WEXITSTATUS(status);
        }
        outcome.out = Slurp(out);
        outcome.err = Slurp(err);
        return outcome;
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return Path(name);
    }

    // A settings file made by the tool's own encoder from eight plain lines.
    std::string Encoded(const std::string& name, const SettingsLines& plain) {
        return WriteFile(name, EncodeSettingsFile(plain));
    }

    TempDir tmp_{"tvk9-settings-tool"};
    const fs::path& dir_ = tmp_.path();
};

SettingsLines ExamplePlain() {
    return {"vexnoc", "0.7", "-0.05", "1.5", "2.55", "25.6", "-0.1", "1"};
}

std::string Listing(const DeviceSettings& s) {
    std::ostringstream text;
    text << "orientation " << int{s.orientation} << "\npitch " << int{s.pitch} << "\nroll "
         << int{s.roll} << "\nyaw " << int{s.yaw} << "\nscale1 " << int{s.scale1} << "\nscale2 "
         << int{s.scale2} << "\nscale3 " << int{s.scale3} << "\n";
    return text.str();
}

std::string HexPairs(const Frame& frame) {
    std::string text;
    for (const std::uint8_t byte : frame) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        // Appended piece by piece: a literal put before a temporary string draws GCC 12's false
        // -Wrestrict at -O3 (GCC bug 105329).
        if (!text.empty()) {
            text += ' ';
        }
        text += pair;
    }
    return text + "\n";
}

const DeviceSettings ExampleValues{1, 17, 9, 20, 25, 0, 255};

TEST_F(SettingsTool, EncodeThenDecodeRoundTrips) {
    const Outcome encoded = Run({Tool, "encode", "-o", Path("s.txt")},
                                "vexnoc\n0.7\n-0.05\n1.5\n2.55\n25.6\n-0.1\n1\n");
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    EXPECT_EQ(encoded.out, "");
    EXPECT_EQ(Slurp(dir_ / "s.txt"), EncodeSettingsFile(ExamplePlain()));

    const Outcome decoded = Run({Tool, "decode", Path("s.txt")});
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(decoded.out, Listing(ExampleValues));
    EXPECT_EQ(decoded.err, "");

    const Outcome frame = Run({Tool, "decode", "--frame", Path("s.txt")});
    EXPECT_EQ(frame.status, 0);
    EXPECT_EQ(frame.out, HexPairs(BuildSettingsFrame(ExampleValues)));
}

TEST_F(SettingsTool, EncodeTakesAnyLineEndsAndWritesCrLfHexLines) {
    const Outcome viaStdout =
        Run({Tool, "encode"}, "vexnoc\r\n0.7\r-0.05\n1.5\r\n2.55\r\n25.6\r\n-0.1\r\n1");
    ASSERT_EQ(viaStdout.status, 0) << viaStdout.err;
    EXPECT_EQ(viaStdout.out, EncodeSettingsFile(ExamplePlain()));
    // Eight lines of upper-case hex, 16 digits per started block of plain text, CR LF ends.
    const SettingsLines lines = SplitSettingsLines(viaStdout.out);
    const SettingsLines plain = ExamplePlain();
    std::size_t crlf = 0;
    for (std::size_t at = viaStdout.out.find("\r\n"); at != std::string::npos;
         at = viaStdout.out.find("\r\n", at + 2)) {
        ++crlf;
    }
    EXPECT_EQ(crlf, SettingsLineCount);
    for (std::size_t i = 0; i < SettingsLineCount; ++i) {
        EXPECT_EQ(lines[i].size(), (plain[i].size() + 7) / 8 * 16);
        EXPECT_EQ(lines[i].find_first_not_of("0123456789ABCDEF"), std::string::npos);
    }
}

TEST_F(SettingsTool, EncodeRefusesInputThatWouldNotComeBack) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"1\n2\n3\n4\n5\n6\n7\n", "Standard input must hold eight lines, not 7.\n"},
        {"", "Standard input must hold eight lines, not 0.\n"},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n", "Standard input holds more than eight lines.\n"},
        {"1\n2\n3\n4\n5\n6\n7\n8\n\n", "Standard input holds more than eight lines.\n"},
        {"vexnoc\n1\n2\n3\n4\n5\n6\n7\0\n"s,
         "Line 8 ends in a zero byte, which a settings file cannot keep.\n"},
    };
    for (const auto& [input, message] : cases) {
        const Outcome outcome = Run({Tool, "encode", "-o", Path("out.txt")}, input);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err, message);
        EXPECT_FALSE(fs::exists(dir_ / "out.txt"));
    }
    const std::string blocked = Path("no-such-dir") + "/out.txt";
    const Outcome outcome = Run({Tool, "encode", "-o", blocked}, "vexnoc\n1\n2\n3\n4\n5\n6\n7\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "Cannot create file \"" + blocked + "\". No such file or directory.\n");
}

TEST_F(SettingsTool, EncodeReplacesAFileOnlyOnceTheNewOneIsWhole) {
    const std::string kept = WriteFile("kept.txt", "the old settings");
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // 1,344 bytes of file that a 1 KiB size limit stops half-way, as a full disk would.
    const std::string plain = "vexnoc\n0.7" + std::string(600, '0') + "\n1\n2\n3\n4\n5\n6\n";
    const Outcome failed = Run({"/bin/bash", "-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"",
                                Tool, "encode", "-o", kept},
                               plain, std::nullopt);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "Cannot write file \"" + kept + "\". File too large.\n");
    EXPECT_EQ(Slurp(kept), "the old settings");

    ASSERT_EQ(Run({Tool, "encode", "-o", kept}, plain).status, 0);
    EXPECT_EQ(Slurp(kept).size(), 1344u);
    EXPECT_EQ(fs::status(kept).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_)) {
        EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry;
    }
}

TEST_F(SettingsTool, DecodeShowsWhatAFreshProgrammerSendsUnlessRaw) {
    SettingsLines plain = ExamplePlain();
    plain[7] = "$1E"; // bit 0 clear: Horizont is selected and clears bits 0 to 3
    const std::string file = Encoded("h.txt", plain);
    DeviceSettings raw = ExampleValues;
    raw.orientation = 0x1E;
    DeviceSettings sent = ExampleValues;
    sent.orientation = 0x10;

    EXPECT_EQ(Run({Tool, "decode", file}).out, Listing(sent));
    EXPECT_EQ(Run({Tool, "decode", "--raw", file}).out, Listing(raw));
    EXPECT_EQ(Run({Tool, "decode", file, "--frame"}).out, HexPairs(BuildSettingsFrame(sent)));
    EXPECT_EQ(Run({Tool, "decode", "--frame", "--raw", file}).out,
              HexPairs(BuildSettingsFrame(raw)));
}

TEST_F(SettingsTool, DecodeFailuresGoToStandardErrorAsTheErrorBoxShowsThem) {
    SettingsLines plain = ExamplePlain();
    plain[0] = "Vexnoc";
    const std::string refused = Encoded("refused.txt", plain);
    plain = ExamplePlain();
    plain[7] = "1.0";
    const std::string badInteger = Encoded("int.txt", plain);
    std::string notHex = EncodeSettingsFile(ExamplePlain());
    notHex[20] = 'Q'; // inside line 2
    const std::string missing = Path("missing.txt");

    const std::vector<std::pair<std::string, std::string>> cases{
        {refused, "Data Error!\n"}, // '!' sorts below '.': nothing appended
        {badInteger, "'1.0' is not a valid integer value.\n"},
        {WriteFile("hex.txt", notHex), "Error: not a Hex String.\n"},
        {missing, "Cannot open file \"" + missing + "\". No such file or directory.\n"},
        {WriteFile("empty.txt", ""), "Data Error!\n"},
    };
    for (const auto& [file, message] : cases) {
        for (const char* option : {"--raw", "--frame"}) {
            const Outcome outcome = Run({Tool, "decode", option, file});
            EXPECT_EQ(outcome.status, 1) << file;
            EXPECT_EQ(outcome.err, message);
            EXPECT_EQ(outcome.out, "");
        }
    }
}

// The full stop reads in every locale, the comma where it is the regional separator.
TEST_F(SettingsTool, DecimalsReadWithTheFullStopOrTheRegionalSeparator) {
    SettingsLines plain = ExamplePlain();
    for (std::size_t i = 1; i < 7; ++i) {
        std::replace(plain[i].begin(), plain[i].end(), '.', ',');
    }
    const std::string comma = Encoded("comma.txt", plain);
    const std::string dot = Encoded("dot.txt", ExamplePlain());
    const std::string commaError = "'0,7' is not a valid floating point value.\n";

    struct Case {
        std::vector<std::string> env;
        std::vector<std::string> options;
        bool commaReads;
    };
    const std::vector<Case> cases{
        {{}, {}, false},
        {{"LC_ALL=C.UTF-8"}, {}, false},
        {{"LC_ALL=de_DE.UTF-8"}, {}, true},
        {{"LANG=de_DE.UTF-8"}, {}, true},
        {{"LC_NUMERIC=de_DE.UTF-8", "LANG=en_US.UTF-8"}, {}, true},
        {{"LC_ALL=en_US.UTF-8", "LC_NUMERIC=de_DE.UTF-8"}, {}, false}, // LC_ALL first
        {{"LC_ALL=fr_FR.UTF-8", "LANG=C"}, {}, true},
        {{"LANG=de_DE.UTF-8"}, {"--decimal-separator", "."}, false},
        {{}, {"--decimal-separator", ","}, true},
        {{}, {"--decimal-separator=,"}, true},
    };
    for (const Case& c : cases) {
        for (const bool useComma : {true, false}) {
            std::vector<std::string> argv{Tool, "decode"};
            argv.insert(argv.end(), c.options.begin(), c.options.end());
            argv.push_back(useComma ? comma : dot);
            const Outcome outcome = Run(argv, "", c.env);
            const bool reads = !useComma || c.commaReads;
            EXPECT_EQ(outcome.status, reads ? 0 : 1) << testing::PrintToString(c.env);
            EXPECT_EQ(outcome.out, reads ? Listing(ExampleValues) : "");
            EXPECT_EQ(outcome.err, reads ? "" : commaError);
        }
    }
}

TEST_F(SettingsTool, WrongUsageExitsWithTwoAndTheUsage) {
    const std::string file = Encoded("s.txt", ExamplePlain());
    const std::vector<std::vector<std::string>> wrong{
        {Tool},
        {Tool, "decipher", file},
        {Tool, "decode"},
        {Tool, "decode", file, file},
        {Tool, "decode", "--bogus", file},
        {Tool, "decode", "--decimal-separator", file},
        {Tool, "decode", "--decimal-separator", ",,", file},
        {Tool, "encode", "-o"},
        {Tool, "encode", "extra"},
    };
    for (const auto& argv : wrong) {
        const Outcome outcome = Run(argv);
        EXPECT_EQ(outcome.status, 2) << testing::PrintToString(argv);
        EXPECT_EQ(outcome.out, "");
        EXPECT_NE(outcome.err.find("Usage: tvk9-settings decode"), std::string::npos);
    }
    EXPECT_EQ(Run({Tool, "decode", "--", file}).status, 0);
}

TEST_F(SettingsTool, PrintsItsVersionAndReadsStandardInput) {
    const Outcome version = Run({Tool, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tvk9-settings " + std::string(Version) + "\n");
    for (const char* path : {"-", "/dev/stdin"}) {
        const Outcome decoded = Run({Tool, "decode", path}, EncodeSettingsFile(ExamplePlain()));
        EXPECT_EQ(decoded.status, 0) << decoded.err;
        EXPECT_EQ(decoded.out, Listing(ExampleValues));
    }
}

std::optional<std::string> FindInPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return std::nullopt;
}

std::string HexOf(const std::string& bytes, bool upper) {
    std::string text;
    for (const char c : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, upper ? "%02X" : "%02x", static_cast<unsigned char>(c));
        text += pair;
    }
    return text;
}

// Files from an independent DES implementation, made the way a vendor would: plain text
// filled with zero bytes to whole blocks, single DES in ECB under each line's key.
TEST_F(SettingsTool, ReadsFilesMadeByOpenSsl) {
    const std::optional<std::string> openssl = FindInPath("openssl");
    if (!openssl) {
        GTEST_SKIP() << "openssl is not installed";
    }
    const SettingsLines plain = ExamplePlain();
    std::string file;
    for (std::size_t i = 0; i < SettingsLineCount; ++i) {
        std::string filled = plain[i];
        filled.resize((filled.size() + 7) / 8 * 8, '\0');
        const std::string key = HexOf(std::string(SettingsLineKeys[i].substr(0, 8)), false);
        const std::vector<std::string> command{*openssl, "enc", "-des-ecb", "-nopad", "-K", key};
        Outcome made = Run(command, filled, std::nullopt);
        if (made.status != 0) { // OpenSSL 3 keeps single DES in its legacy provider
            std::vector<std::string> legacy = command;
            legacy.insert(legacy.end(), {"-provider", "legacy", "-provider", "default"});
            made = Run(legacy, filled, std::nullopt);
        }
        ASSERT_EQ(made.status, 0) << made.err;
        ASSERT_EQ(made.out.size(), filled.size());
        const std::string hex = HexOf(made.out, true);
        EXPECT_EQ(hex, EncipherHexStr(plain[i], SettingsLineKeys[i])) << "line " << i + 1;
        file += (i % 2 == 0 ? hex : HexOf(made.out, false)) + "\r\n";
    }
    const Outcome decoded = Run({Tool, "decode", WriteFile("openssl.txt", file)});
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(decoded.out, Listing(ExampleValues));
}

} // namespace
} // namespace tvk9
