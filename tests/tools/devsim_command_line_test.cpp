#include "tools/devsim/command_line.h"

#include "common/error.h"

#include <gtest/gtest.h>

#include <vector>

namespace tvk9::devsim {
namespace {

using std::chrono::milliseconds;

CommandLine Parse(std::vector<std::string_view> args) {
    return ParseCommandLine(args);
}

TEST(DevsimCommandLine, EveryOptionReachesTheDevice) {
    const CommandLine none = Parse({});
    EXPECT_EQ(none.run.name, "TVK9-SIM");
    EXPECT_EQ(none.run.device.settings, (DeviceSettings{0x01, 10, 10, 10, 0, 0, 0}));
    EXPECT_EQ(none.run.device.delay, milliseconds(20));
    EXPECT_TRUE(none.run.device.announce);
    EXPECT_FALSE(none.log || none.help || none.run.device.silent || none.run.device.baudTiming);

    const CommandLine all =
        Parse({"--name", "BENCH", "--settings", "0x12,0,20,255,0X0a,7,8", "--delay", "0",
               "--baud-timing", "--no-announce", "--silent", "--ignore-writes", "--bad-checksum",
               "--split", "150", "--unplug-after", "3", "--flood-after", "2", "--log"});
    const DeviceOptions& d = all.run.device;
    EXPECT_EQ(all.run.name, "BENCH");
    EXPECT_EQ(d.settings, (DeviceSettings{0x12, 0, 20, 255, 10, 7, 8}));
    EXPECT_EQ(d.delay, milliseconds(0));
    EXPECT_TRUE(d.baudTiming && !d.announce && d.silent && d.ignoreWrites && d.badChecksum);
    EXPECT_EQ(d.split, milliseconds(150));
    EXPECT_EQ(d.unplugAfter, 3u);
    EXPECT_EQ(d.floodAfter, 2u);
    EXPECT_TRUE(all.log);
    EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(DevsimCommandLine, BadValuesAreRefusedNotGuessed) {
    const std::vector<std::vector<std::string_view>> bad{
        {"--settings", "1,2,3,4,5,6"},
        {"--settings", "1,2,3,4,5,6,7,8"},
        {"--settings", "1,2,3,4,5,6,256"},
        {"--settings", "1,2,,4,5,6,7"},
        {"--settings", "1,2,3,4,5,6,7,"},
        {"--settings", " 1,2,3,4,5,6,7"},
        {"--delay", "-1"},
        {"--delay", "20ms"},
        {"--delay", "0x"},
        {"--delay"},
        {"--split", "600001"},
        {"--unplug-after", "0"},
        {"--flood-after", "0"},
        {"--name"},
        {"--verbose"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW(Parse(args), Exception) << args[0] << ' ' << (args.size() > 1 ? args[1] : "");
    }
}

TEST(DevsimCommandLine, HelpNamesEveryOptionAndTheLogFormat) {
    const std::string usage = UsageText();
    for (const char* option : {"--name", "--settings", "--delay", "--baud-timing", "--no-announce",
                               "--silent", "--ignore-writes", "--bad-checksum", "--split",
                               "--unplug-after", "--flood-after", "--log", "TVK9_PORT_DIR"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    EXPECT_NE(usage.find("12.345 rx AA 01 00 00 00 00 00 00 00 AB (query)"), std::string::npos);
}

TEST(DevsimCommandLine, TakesGnuStyleValuesAndTheVersionOption) {
    const CommandLine cl = Parse({"--name=X", "--delay=5", "--version"});
    EXPECT_EQ(cl.run.name, "X");
    EXPECT_EQ(cl.run.device.delay, milliseconds(5));
    EXPECT_TRUE(cl.version);
    for (const std::string_view bad : {"--log=1", "stray", "--delay="}) {
        EXPECT_THROW(Parse({bad}), Exception) << bad;
    }
}

} // namespace
} // namespace tvk9::devsim
