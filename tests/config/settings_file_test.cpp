#include "config/settings_file.h"
#include "tests/support/temp_dir.h"

#include "common/error.h"
#include "tools/settings/encode.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tvk9 {
namespace {

namespace fs = std::filesystem;

// The plain texts of a file that loads to known values.
SettingsLines ExamplePlain() {
    return {"vexnoc", "0.7", "-0.05", "1.5", "2.55", "25.6", "-0.1", "1"};
}

SettingsLines Enciphered(const SettingsLines& plain) {
    SettingsLines lines;
    for (std::size_t i = 0; i < SettingsLineCount; ++i) {
        lines[i] = EncipherHexStr(plain[i], SettingsLineKeys[i]);
    }
    return lines;
}

std::string LoadError(const SettingsLines& lines, char separator, DeviceSettings& target) {
    try {
        LoadSettingsLines(lines, separator, target);
    } catch (const Exception& e) {
        return e.what();
    }
    return "loaded";
}

class OnDisk : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    std::string ReadError(const std::string& path) {
        try {
            ReadSettingsLines(path);
        } catch (const Exception& e) {
            return e.what();
        }
        return "read";
    }

    TempDir tmp_{"tvk9-settings"};
    const fs::path& dir_ = tmp_.path();
};

TEST(SettingsLineSplitter, SplitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(SplitSettingsLines("a\r\nb\rc\nd\r\n\r\nf\n\rh"),
              (SettingsLines{"a", "b", "c", "d", "", "f", "", "h"}));
    // CR CR is two line ends, LF CR too; only CR LF is one.
    EXPECT_EQ(SplitSettingsLines("1\r\r3\n\r5"),
              (SettingsLines{"1", "", "3", "", "5", "", "", ""}));
    EXPECT_EQ(SplitSettingsLines(""), SettingsLines{});
    EXPECT_EQ(SplitSettingsLines("only"), (SettingsLines{"only", "", "", "", "", "", "", ""}));
    // Other control bytes and zero bytes are text.
    EXPECT_EQ(SplitSettingsLines(std::string("a\0b\tc\x1a", 6) + "\n")[0],
              std::string("a\0b\tc\x1a", 6));
}

TEST(SettingsLineSplitter, StopsAtTheEndOfTheEighthLine) {
    const std::string eight = "1\n2\n3\n4\n5\n6\n7\n8";
    for (const char* tail : {"\r\nnine", "\nnine\n", "\r", "\rnine"}) {
        SettingsLineSplitter splitter;
        const std::string text = eight + tail;
        const std::size_t used = splitter.Feed(text);
        EXPECT_TRUE(splitter.Complete());
        // Used up to and including the first byte of line 8's end, nothing after it.
        EXPECT_EQ(used, eight.size() + 1) << tail;
        EXPECT_EQ(splitter.Lines(), (SettingsLines{"1", "2", "3", "4", "5", "6", "7", "8"}));
        EXPECT_EQ(splitter.Feed("more"), 0u);
    }
    SettingsLineSplitter unfinished;
    EXPECT_EQ(unfinished.Feed(eight), eight.size());
    EXPECT_FALSE(unfinished.Complete());
}

TEST(SettingsLineSplitter, GivesTheSameLinesWhereverTheInputIsCut) {
    const std::vector<std::string> texts{"a\r\nb\r\nc\rd\ne\r\n\r\ng\r\nh\r\ni",
                                         "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n", "x\r", "\r\r\n\n"};
    for (const std::string& text : texts) {
        const SettingsLines whole = SplitSettingsLines(text);
        for (std::size_t cut = 0; cut <= text.size(); ++cut) {
            SettingsLineSplitter splitter;
            const std::size_t first = splitter.Feed(std::string_view(text).substr(0, cut));
            if (first == cut) {
                splitter.Feed(std::string_view(text).substr(cut));
            }
            EXPECT_EQ(splitter.Lines(), whole) << "cut at " << cut;
        }
    }
}

TEST(LoadSettingsLines, LoadsTheValuesOfEachLineInItsOwnWay) {
    DeviceSettings settings{0xEE, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(LoadSettingsLines(Enciphered(ExamplePlain()), '.', settings), LoadResult::Accepted);
    // 17 (not 16), 9.5 cut to 9, 25 clamped to 20, 25, 256 cut to 0, -1 as 255, orientation 1.
    EXPECT_EQ(settings, (DeviceSettings{1, 17, 9, 20, 25, 0, 255}));

    SettingsLines plain = ExamplePlain();
    plain[1] = "-1.2"; // -2, stored as 254 and clamped
    plain[2] = " 1e0 ";
    plain[3] = "+0.35";
    plain[7] = "$11";
    EXPECT_EQ(LoadSettingsLines(Enciphered(plain), '.', settings), LoadResult::Accepted);
    EXPECT_EQ(settings, (DeviceSettings{17, 20, 20, 13, 25, 0, 255}));

    plain[7] = "257";
    plain[1] = "-1,2";
    plain[3] = "+0,35";
    plain[4] = "0,5";
    plain[5] = "1,25";
    plain[6] = "-0,5";
    EXPECT_EQ(LoadSettingsLines(Enciphered(plain), ',', settings), LoadResult::Accepted);
    EXPECT_EQ(settings, (DeviceSettings{1, 20, 20, 13, 5, 12, 251}));
}

TEST(LoadSettingsLines, RefusesAnythingButTheExactMarkerAndChangesNothing) {
    const DeviceSettings before{0x12, 3, 4, 5, 6, 7, 8};
    const std::vector<std::string> markers{
        "Vexnoc", "VEXNOC",  "vexnoc ", " vexnoc",
        "vexno",  "vexnocc", "",        std::string("vex\0noc", 7)};
    for (const std::string& marker : markers) {
        SettingsLines plain = ExamplePlain();
        plain[0] = marker;
        DeviceSettings settings = before;
        EXPECT_EQ(LoadSettingsLines(Enciphered(plain), '.', settings), LoadResult::Refused)
            << marker;
        EXPECT_EQ(settings, before);
    }
    // The marker under another line's key, and a file with no lines at all.
    SettingsLines wrongKey = Enciphered(ExamplePlain());
    wrongKey[0] = EncipherHexStr("vexnoc", SettingsLineKeys[1]);
    DeviceSettings settings = before;
    EXPECT_EQ(LoadSettingsLines(wrongKey, '.', settings), LoadResult::Refused);
    EXPECT_EQ(LoadSettingsLines(SettingsLines{}, '.', settings), LoadResult::Refused);
    EXPECT_EQ(settings, before);
}

TEST(LoadSettingsLines, AcceptsZeroBytesAfterTheMarker) {
    SettingsLines plain = ExamplePlain();
    plain[0] = std::string("vexnoc\0\0\0\0\0\0\0\0\0\0", 16); // a whole block of filling more
    SettingsLines lines = Enciphered(plain);
    EXPECT_EQ(lines[0].size(), 32u);
    DeviceSettings settings;
    EXPECT_EQ(LoadSettingsLines(lines, '.', settings), LoadResult::Accepted);
}

// A line that fails keeps what the lines before it (in the order 8, 2, 3, 4, 5, 6, 7)
// stored, unclamped, and leaves the rest as they were.
TEST(LoadSettingsLines, AFailingLineLeavesThePartialStateOfTheReadingOrder) {
    const DeviceSettings before{0x40, 1, 2, 3, 4, 5, 6};
    SettingsLines plain{"vexnoc", "5", "6", "7", "1.1", "1.2", "1.3", "$F2"};
    // Values as stored before the clamp: 5*10+10 = 60 and so on.
    const DeviceSettings loaded{0xF2, 60, 70, 80, 11, 12, 13};
    const std::vector<std::size_t> order{7, 1, 2, 3, 4, 5, 6};
    const auto field = [](DeviceSettings& s, std::size_t line) -> std::uint8_t& {
        std::uint8_t* fields[] = {nullptr,   &s.pitch,  &s.roll,   &s.yaw,
                                  &s.scale1, &s.scale2, &s.scale3, &s.orientation};
        return *fields[line];
    };
    for (std::size_t failing = 0; failing < order.size(); ++failing) {
        const std::size_t line = order[failing];
        for (const char* broken : {"bad", "", "hex"}) {
            SettingsLines lines = Enciphered(plain);
            if (std::string(broken) == "hex") {
                lines[line][3] = 'g';
            } else {
                lines[line] = EncipherHexStr(broken, SettingsLineKeys[line]);
            }
            DeviceSettings settings = before;
            const std::string error = LoadError(lines, '.', settings);
            const std::string kind = line == 7 ? "integer" : "floating point";
            const std::string expected =
                std::string(broken) == "hex"
                    ? "Error: not a Hex String"
                    // Appended, not "'" + std::string(...): GCC 12 at -O3 warns falsely
                    // (-Wrestrict) on a literal put before a temporary string (GCC bug 105329).
                    : std::string("'") + broken + "' is not a valid " + kind + " value";
            EXPECT_EQ(error, expected) << "line " << line + 1;
            DeviceSettings expectedState = before;
            DeviceSettings source = loaded;
            for (std::size_t done = 0; done < failing; ++done) {
                field(expectedState, order[done]) = field(source, order[done]);
            }
            EXPECT_EQ(settings, expectedState) << "line " << line + 1 << " " << broken;
        }
    }
}

TEST(LoadSettingsLines, ANonHexMarkerLineFailsBeforeAnythingChanges) {
    SettingsLines lines = Enciphered(ExamplePlain());
    lines[0][15] = 'x';
    DeviceSettings settings{1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(LoadError(lines, '.', settings), "Error: not a Hex String");
    EXPECT_EQ(settings, (DeviceSettings{1, 2, 3, 4, 5, 6, 7}));
}

TEST(LoadSettingsLines, ReadsDecimalsWithTheFullStopOrTheSeparatorItIsGiven) {
    const SettingsLines plain{"vexnoc", "0.5", "-0,05", "1,5", "2.55", "25,6", "-0,1", "1"};
    DeviceSettings settings;
    EXPECT_EQ(LoadSettingsLines(Enciphered(plain), ',', settings), LoadResult::Accepted);
    EXPECT_EQ(settings, (DeviceSettings{1, 15, 9, 20, 25, 0, 255}));
    settings = {};
    EXPECT_EQ(LoadError(Enciphered(plain), '.', settings),
              "'-0,05' is not a valid floating point value");
    EXPECT_EQ(settings, (DeviceSettings{1, 15, 0, 0, 0, 0, 0})); // lines 8 and 2 came first
}

TEST(FreshSelection, OnlyHorizontClearsTheLowOrientationBits) {
    struct Case {
        std::uint8_t loaded;
        std::uint8_t sent;
        Orientation shown;
    };
    const std::vector<Case> cases{
        {0x01, 0x01, Orientation::Vertical},   {0x11, 0x11, Orientation::Vertical},
        {0xFF, 0xFF, Orientation::Vertical},   {0x02, 0x00, Orientation::Horizontal},
        {0x0E, 0x00, Orientation::Horizontal}, {0xFE, 0xF0, Orientation::Horizontal},
        {0x00, 0x00, Orientation::Horizontal},
    };
    for (const Case& c : cases) {
        const DeviceSettings loaded{c.loaded, 0, 9, 20, 30, 40, 50};
        const DeviceSettings sent = SettingsAfterFreshSelection(loaded);
        EXPECT_EQ(sent, (DeviceSettings{c.sent, 0, 9, 20, 30, 40, 50})) << int{c.loaded};
        EXPECT_EQ(FileRadioChoice(loaded),
                  (RadioChoice{c.shown, AxisSide::Rev, AxisSide::Rev, AxisSide::Nor}));
    }
}

TEST_F(OnDisk, ReadsTheFirstEightLinesOfAFile) {
    const std::string path = Write("s.txt", "l1\r\nl2\rl3\nl4\r\nl5\r\nl6\r\nl7\r\nl8\r\nl9\r\n");
    EXPECT_EQ(ReadSettingsLines(path),
              (SettingsLines{"l1", "l2", "l3", "l4", "l5", "l6", "l7", "l8"}));
    EXPECT_EQ(ReadSettingsLines(Write("short.txt", "a\nb")), (SettingsLines{"a", "b"}));
    EXPECT_EQ(ReadSettingsLines(Write("empty.txt", "")), SettingsLines{});
}

TEST_F(OnDisk, NamesTheFileAndTheSystemsCauseWhenItCannotBeRead) {
    const std::string missing = (dir_ / "missing.txt").string();
    EXPECT_EQ(ReadError(missing),
              "Cannot open file \"" + missing + "\". No such file or directory");
    EXPECT_EQ(ReadError(dir_.string()),
              "Cannot open file \"" + dir_.string() + "\". Is a directory");
    const std::string underFile = Write("plain", "x") + "/inside";
    EXPECT_EQ(ReadError(underFile), "Cannot open file \"" + underFile + "\". Not a directory");
    // Devices are not opened at all: /dev/zero would never end, a serial port would see its
    // modem lines raised.
    EXPECT_EQ(ReadError("/dev/zero"), "Cannot open file \"/dev/zero\". Operation not supported");
    const std::string link = (dir_ / "null-link").string();
    fs::create_symlink("/dev/null", link);
    EXPECT_EQ(ReadError(link), "Cannot open file \"" + link + "\". Operation not supported");
}

TEST_F(OnDisk, ReadsNoMoreThanTheLimitOfAHugeFile) {
    // A sparse file of 1 GiB of zero bytes with no line end in it.
    const std::string path = Write("huge.bin", "");
    ASSERT_EQ(::truncate(path.c_str(), off_t{1} << 30), 0);
    const SettingsLines lines = ReadSettingsLines(path);
    EXPECT_EQ(lines[0], std::string(MaxSettingsTextBytes, '\0'));
    for (std::size_t i = 1; i < SettingsLineCount; ++i) {
        EXPECT_TRUE(lines[i].empty());
    }
    DeviceSettings settings{1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(LoadError(lines, '.', settings), "Error: not a Hex String");
    EXPECT_EQ(settings, (DeviceSettings{1, 2, 3, 4, 5, 6, 7}));
}

class Fifo : public OnDisk {
protected:
    void SetUp() override {
        OnDisk::SetUp();
        path_ = (dir_ / "fifo").string();
        ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    }
    void TearDown() override {
        for (const int fd : fds_) {
            ::close(fd);
        }
        OnDisk::TearDown();
    }
    // A writer that stays open, as a program that has not finished writing.
    int OpenWriter() {
        // A reader must exist for a non-blocking writer to open.
        const int reader = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        const int writer = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
        fds_.push_back(reader);
        fds_.push_back(writer);
        return writer;
    }
    std::string path_;
    std::vector<int> fds_;
};

TEST_F(Fifo, WithoutAWriterReadsAsAnEmptyFile) {
    EXPECT_EQ(ReadSettingsLines(path_), SettingsLines{});
}

TEST_F(Fifo, StopsAfterTheEighthLineWhileTheWriterGoesOn) {
    const int writer = OpenWriter();
    ASSERT_GE(writer, 0);
    const std::string text = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r";
    ASSERT_EQ(::write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(ReadSettingsLines(path_), (SettingsLines{"1", "2", "3", "4", "5", "6", "7", "8"}));
}

TEST_F(Fifo, ASilentWriterIsAnErrorNotAWait) {
    const int writer = OpenWriter();
    ASSERT_GE(writer, 0);
    const std::string text = "1\r\n2\r\n3\r\n";
    ASSERT_EQ(::write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(ReadError(path_),
              "Cannot open file \"" + path_ + "\". Resource temporarily unavailable");
}

// A pipe whose writer is still busy, its read end non-blocking as a shell may leave standard
// input: waiting reads it to its end instead of failing with "try again".
TEST_F(Fifo, WaitingReadsAPipeToItsEndHoweverSlowItsWriter) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
    fds_.push_back(ends[0]);
    std::thread writer([in = ends[1]] {
        for (const std::string part : {"1\r\n2\r\n3", "\r\n4\r\n5\r\n6\r\n7\r\n8"}) {
            EXPECT_EQ(::write(in, part.data(), part.size()), static_cast<ssize_t>(part.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(50)); // makes a wait likely
        }
        ::close(in);
    });
    EXPECT_EQ(ReadSettingsLines(ends[0], "pipe"),
              (SettingsLines{"1", "2", "3", "4", "5", "6", "7", "8"}));
    writer.join();
}

} // namespace
} // namespace tvk9
