// tvk9-cli's pieces in-process: the exchange's timing on a simulated clock, the backup file's
// round trip through the settings loader, the JSON writer and the udev rule, and what they make
// of text from outside.

#include "config/settings_file.h"
#include "tools/cli/backup_file.h"
#include "tools/cli/command.h"
#include "tools/cli/exchange.h"
#include "tools/cli/write_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace tvk9::cli {
namespace {

using namespace std::chrono_literals;

const std::vector<std::uint8_t> Announcement{0xAA, 0xBB, 0x55};

std::vector<std::uint8_t> Report(const DeviceSettings& s) {
    const Frame f = BuildReportFrame(s);
    return {f.begin(), f.end()};
}

TEST(CliExchange, RepeatsTheQueryOnTheAnnouncementAndAfterSilenceUntilItsWindowEnds) {
    const TimePoint t0{};
    Exchange talk;
    EXPECT_EQ(talk.Query(t0), QueryFrame);
    EXPECT_EQ(talk.Wake(), Deadline::At(t0 + 250ms));
    EXPECT_EQ(talk.TimePassed(t0 + 250ms), QueryFrame); // nothing came: asked again
    // The sensor wakes up: asked again at once, and it has 500 ms from now to answer.
    EXPECT_EQ(talk.Received(Announcement, t0 + 400ms), QueryFrame);
    EXPECT_EQ(talk.TimePassed(t0 + 650ms), QueryFrame);
    EXPECT_FALSE(talk.TimePassed(t0 + 900ms));
    EXPECT_EQ(talk.Now(), Exchange::State::NoResponse);
    EXPECT_FALSE(talk.Busy());

    // An announcement and a report in one block: the report answers.
    Exchange quick;
    quick.Query(t0);
    std::vector<std::uint8_t> block = Announcement;
    const DeviceSettings s{0x01, 10, 25, 10, 0, 0, 0};
    const auto report = Report(s);
    block.insert(block.end(), report.begin(), report.end());
    EXPECT_FALSE(quick.Received(block, t0 + 30ms));
    EXPECT_EQ(quick.Now(), Exchange::State::Answered);
    EXPECT_EQ(quick.Report(), s); // as sent: the clamp is the reader's
}

TEST(CliExchange, JudgesAWriteByItsOwnAnswerNotByOneOwedToAnEarlierQuery) {
    const TimePoint t0{};
    const DeviceSettings before{0x01, 10, 10, 10, 0, 0, 0};
    const DeviceSettings wanted{0x00, 9, 10, 10, 0, 0, 0};

    Exchange talk;
    talk.Query(t0);
    talk.TimePassed(t0 + 250ms); // two queries out
    talk.Received(Report(before), t0 + 260ms);
    EXPECT_EQ(talk.Write(wanted, t0 + 270ms), BuildSettingsFrame(wanted));
    talk.Received(Report(before), t0 + 280ms); // the second query's answer
    EXPECT_TRUE(talk.Busy());
    talk.Received(Report(wanted), t0 + 300ms);
    EXPECT_EQ(talk.Now(), Exchange::State::Written);

    // Nothing owed: a report that differs is the verdict at once.
    Exchange kept;
    kept.Query(t0);
    kept.Received(Report(before), t0 + 20ms);
    kept.Write(wanted, t0 + 30ms);
    kept.Received(Report(before), t0 + 50ms);
    EXPECT_EQ(kept.Now(), Exchange::State::Kept);

    Exchange silent;
    silent.Write(wanted, t0);
    EXPECT_EQ(silent.Wake(), Deadline::At(t0 + 500ms));
    silent.TimePassed(t0 + 500ms);
    EXPECT_EQ(silent.Now(), Exchange::State::NoResponse);
}

// The window's radio buttons: selecting one that is selected already runs no handler.
TEST(CliWritePlan, AppliesAFileAndTheOptionsAsTheRadioButtonsDo) {
    const DeviceSettings file{0x02, 9, 20, 10, 7, 8, 9}; // as loaded: horizontal by bit 0
    const DeviceSettings vertical{0x01, 10, 10, 10, 1, 2, 3};
    // Horizont becomes selected: bits 0 to 3 go. The file's values replace all seven.
    EXPECT_EQ(PlanWrite(vertical, {file, {}, {}, {}, {}}),
              (DeviceSettings{0x00, 9, 20, 10, 7, 8, 9}));
    // Horizont was selected already (0x10 shows horizontal): the file's 2 stays.
    EXPECT_EQ(PlanWrite({0x10, 10, 10, 10, 1, 2, 3}, {file, {}, {}, {}, {}}).orientation, 0x02);

    // 0x02 shows vertical: choosing vertical changes nothing, horizontal clears bits 0 to 3.
    // Pitch 25 is taken as 20 first; the scaled parameters are the sensor's own.
    const ReportedSettings odd{0x02, 25, 9, 10, 1, 2, 3};
    EXPECT_EQ(PlanWrite(odd, {{}, Orientation::Vertical, AxisSide::Rev, AxisSide::Nor, {}}),
              (DeviceSettings{0x02, 0, 11, 10, 1, 2, 3}));
    EXPECT_EQ(PlanWrite(odd, {{}, Orientation::Horizontal, {}, AxisSide::Rev, AxisSide::Rev}),
              (DeviceSettings{0x00, 20, 9, 10, 1, 2, 3}));
}

// Every value of every field, through the loader that the window and tvk9-settings use.
TEST(CliBackupFile, ReadsBackEveryRepresentableValue) {
    std::vector<std::uint8_t> orientations;
    for (int o = 0; o < 256; ++o) {
        if ((o & 0x01) != 0 || (o & 0x0E) == 0) {
            orientations.push_back(static_cast<std::uint8_t>(o));
        }
    }
    ASSERT_EQ(orientations.size(), 144u);
    for (int i = 0; i < 256; ++i) {
        const auto u8 = [](int v) { return static_cast<std::uint8_t>(v); };
        const DeviceSettings s{orientations[static_cast<std::size_t>(i) % orientations.size()],
                               u8(i % 21),
                               u8((i + 7) % 21),
                               u8((i + 14) % 21),
                               u8(i),
                               u8(255 - i),
                               u8(i * 37)};
        const std::string file = BackupFile(s);
        for (const char separator : {'.', ','}) {
            DeviceSettings loaded;
            ASSERT_EQ(LoadSettingsLines(SplitSettingsLines(file), separator, loaded),
                      LoadResult::Accepted);
            ASSERT_EQ(SettingsAfterFreshSelection(loaded), s) << "case " << i;
        }
    }
    EXPECT_THROW(BackupFile({0x01, 21, 10, 10, 0, 0, 0}), Exception);
    EXPECT_THROW(BackupFile({0x02, 10, 10, 10, 0, 0, 0}), Exception);
}

TEST(CliJson, EscapesWhatJsonMustAndReplacesBytesThatAreNotUtf8) {
    JsonWriter json;
    json.BeginObject().Key("a\"b").String("x\\y\n\x01\x7f é \xff\xc3").Key("n").BeginArray();
    json.Number(-3).Bool(true).Null();
    json.CloseTo(0);
    EXPECT_EQ(
        json.Text(),
        "{\"a\\\"b\":\"x\\\\y\\n\\u0001\\u007f \xc3\xa9 \\ufffd\\ufffd\",\"n\":[-3,true,null]}");
}

// RFC 3629's grammar: each ill-formed sequence below is replaced byte by byte, while the
// shortest forms at the edges of each range pass. C1 controls (U+0080 to U+009F) are escaped
// as C0 ones are: a terminal may act on them.
TEST(CliJson, ReplacesEveryIllFormedUtf8SequenceAndEscapesC1Controls) {
    const std::string bad = "\\ufffd";
    // Over-long: '/' in two, three and four bytes, U+007F, U+07FF, U+FFFF; surrogates U+D800
    // and U+DFFF; U+110000; no such lead byte; a lone continuation byte.
    for (const char* text : {"\xc0\xaf", "\xe0\x80\xaf", "\xf0\x80\x80\xaf", "\xc1\xbf",
                             "\xe0\x9f\xbf", "\xf0\x8f\xbf\xbf", "\xed\xa0\x80", "\xed\xbf\xbf",
                             "\xf4\x90\x80\x80", "\xf5\x80\x80\x80", "\x80"}) {
        std::string replaced;
        for (std::size_t i = 0; i < std::strlen(text); ++i) {
            replaced += bad;
        }
        EXPECT_EQ(JsonString(text), "\"" + replaced + "\"") << JsonString(text);
    }
    // Cut short: at the end, before a letter, a four-byte form after three.
    EXPECT_EQ(JsonString("\xe2\x82|\xe2\x82x|\xf0\x9f\x98"),
              "\"" + bad + bad + "|" + bad + bad + "x|" + bad + bad + bad + "\"");
    EXPECT_EQ(JsonString("\xc2\x80|\xc2\x9b|\xc2\x9f"), "\"\\u0080|\\u009b|\\u009f\"");
    // The first and last of each range: U+00A0, U+07FF, U+0800, U+D7FF, U+E000, U+FFFF,
    // U+10000, U+10FFFF.
    const std::string edges = "\xc2\xa0\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf"
                              "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf";
    EXPECT_EQ(JsonString(edges), "\"" + edges + "\"");
}

// A port's name and a device's strings with line ends and terminal commands in them: the rule
// keeps its two lines, and its comment shows them.
TEST(CliUdevRule, ShowsControlCharactersInItsCommentWithoutBreakingItsLines) {
    const UsbDetails odd{"FTDI\x1b]0;owned\x07",
                         "UART\r\nSUBSYSTEM==\"tty\", MODE=\"0666\"",
                         "A1",
                         "0403",
                         "6001",
                         ""};
    const std::string rule = UdevRuleText("/tmp/p\nRUN+=\"/bin/sh\"", odd, false);
    EXPECT_EQ(rule.substr(0, rule.find('\n') + 1),
              "# The TVK9 sensor's USB adapter: FTDI\\x1b]0;owned\\x07 "
              "UART\\x0d\\x0aSUBSYSTEM==\"tty\", MODE=\"0666\", serial A1, 0403:6001 "
              "(/tmp/p\\x0aRUN+=\"/bin/sh\")\n");
    EXPECT_EQ(std::count(rule.begin(), rule.end(), '\n'), 2);
    EXPECT_EQ(rule.find('\r'), std::string::npos);
    try {
        UdevRuleText("/tmp/\x1b[2J", {}, false);
        ADD_FAILURE() << "a port without USB details gave a rule";
    } catch (const Failure& f) {
        EXPECT_EQ(f.message.rfind("/tmp/\\x1b[2J has no USB details", 0), 0u) << f.message;
    }
}

TEST(CliUdevRule, NamesTheAdapterAndRefusesAPortWithoutOne) {
    const UsbDetails ftdi{"FTDI", "FT232R USB UART", "A10K5JZ1", "0403", "6001", ""};
    EXPECT_EQ(UdevRuleText("/dev/ttyUSB0", ftdi, true),
              "# The TVK9 sensor's USB adapter: FTDI FT232R USB UART, serial A10K5JZ1, 0403:6001 "
              "(/dev/ttyUSB0)\n"
              "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", "
              "ATTRS{serial}==\"A10K5JZ1\", TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");
    EXPECT_EQ(UdevRuleText("/dev/ttyUSB0", ftdi, false).find("serial}"), std::string::npos);
    try {
        UdevRuleText("/dev/ttyS0", {}, false);
        ADD_FAILURE() << "a port without USB details gave a rule";
    } catch (const Failure& f) {
        EXPECT_EQ(f.code, ExitPort);
    }
}

} // namespace
} // namespace tvk9::cli
