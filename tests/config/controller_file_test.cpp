// Opening a settings file from the window: the dialog, the path and line buffer, "Data Error!",
// failures part way, and the radio buttons the values select.

#include "tests/config/sim_window.h"
#include "tests/support/temp_dir.h"
#include "tools/settings/encode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tvk9::sim {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

SettingsLines Plain(std::string orientation = "1") {
    return {"vexnoc", "0.7", "-0.05", "1.5", "2.55", "25.6", "-0.1", std::move(orientation)};
}

struct FileAction : ::testing::Test {
    TempDir tmp{"tvk9-openfile"};
    const fs::path& dir = tmp.path();
    SimWindow w{"/opt/tvk9/bin/"};

    std::string Write(const std::string& name, const SettingsLines& plain) {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary) << EncodeSettingsFile(plain);
        return path.string();
    }
    // The user chooses `path` in the dialog (or cancels), after `after` ms.
    void Open(std::optional<std::string> path, Ms after = 0) {
        w.dialogs.fileAnswers.push_back({after, std::move(path)});
        w.User([this] { w.ctl.OpenfileClick(); });
    }
    std::vector<std::string> Choices() const {
        return {w.OrientationChoice(), w.PitchChoice(), w.RollChoice(), w.YawChoice()};
    }
};

TEST_F(FileAction, CancelledDialogChangesNothing) {
    Open(std::nullopt);
    ASSERT_EQ(w.dialogs.Boxes().size(), 1u);
    EXPECT_EQ(w.dialogs.Boxes()[0].kind, BoxKind::OpenFile);
    EXPECT_EQ(w.dialogs.Boxes()[0].text, "/opt/tvk9/bin/"); // the program's folder
    EXPECT_EQ(w.FilePath.Text(), "");
    EXPECT_EQ(w.ctl.Settings(), DeviceSettings{});
    EXPECT_EQ(Choices(), (Texts{"", "", "", ""}));
}

TEST_F(FileAction, AcceptedFileFillsTheSettingsAndSelectsTheButtons) {
    const std::string path = Write("a.tvk", Plain());
    Open(path);
    EXPECT_EQ(w.FilePath.Text(), path);
    EXPECT_EQ(w.Memo2.Lines().size(), 8u);
    EXPECT_EQ(w.Memo2.Lines()[0], EncodeSettingsFile(Plain()).substr(0, 16));
    // 0.7 gives 17, -0.05 gives 9, 1.5 gives 25 clamped to 20; 25.6 gives 256 cut to 0.
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{1, 17, 9, 20, 25, 0, 255}));
    EXPECT_EQ(Choices(), (Texts{"Vertic", "pitchleft1", "rollright1", "yawleft1"}));
    EXPECT_TRUE(w.dialogs.Messages().empty());
    EXPECT_TRUE(w.loop.Errors().empty());

    // The values reach a device only with Start, scaled parameters included.
    w.ListPorts({"COM2"});
    w.comm.AttachDevice("COM2").stored = {1, 10, 10, 10, 0, 0, 0};
    w.Show();
    w.PickPort(0);
    // The query's answer is adopted over the file's orientation and axes, not its parameters.
    w.loop.RunFor(1000);
    w.dialogs.confirmAnswers.push_back({0, true});
    w.User([&] { w.ctl.Button3Click(); });
    ASSERT_EQ(w.comm.SentFrames().size(), 2u);
    EXPECT_EQ(Hex(w.comm.SentFrames().back().bytes), "AA 02 01 0A 0A 0A 19 00 FF E3");
}

TEST_F(FileAction, HorizontalOrientationIsClearedOnlyWhenHorizontWasNotSelected) {
    const std::string path = Write("h.tvk", Plain("2"));
    Open(path);
    EXPECT_EQ(w.OrientationChoice(), "Horizont");
    EXPECT_EQ(w.ctl.Settings().orientation, 0);
    Open(path);
    EXPECT_EQ(w.ctl.Settings().orientation, 2);
    EXPECT_EQ(w.Horizont.Clicks(), 1);

    // "$11" is 17, which has bit 0 and selects Vertic.
    Open(Write("v.tvk", Plain("$11")));
    EXPECT_EQ(w.OrientationChoice(), "Vertic");
    EXPECT_EQ(w.ctl.Settings().orientation, 17);
}

TEST_F(FileAction, RefusedFileShowsDataErrorAndKeepsItsPath) {
    const std::string good = Write("good.tvk", Plain());
    Open(good);
    SettingsLines plain = Plain("2");
    plain[0] = "Vexnoc";
    const std::string bad = Write("bad.tvk", plain);
    Open(bad);
    ASSERT_EQ(w.dialogs.Boxes().back().kind, BoxKind::Error);
    EXPECT_EQ(w.dialogs.Messages(), (Texts{"Data Error!"}));
    EXPECT_EQ(w.FilePath.Text(), bad);
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{1, 17, 9, 20, 25, 0, 255}));
    EXPECT_EQ(Choices(), (Texts{"Vertic", "pitchleft1", "rollright1", "yawleft1"}));

    // An empty file has no marker either; a later valid file replaces the path.
    const fs::path empty = dir / "empty.tvk";
    std::ofstream(empty).close();
    Open(empty.string());
    EXPECT_EQ(w.dialogs.Messages().size(), 2u);
    Open(good);
    EXPECT_EQ(w.FilePath.Text(), good);
}

TEST_F(FileAction, FileThatCannotBeOpenedShowsItsPathAndAnEmptyBuffer) {
    Open(Write("a.tvk", Plain()));
    const std::string missing = (dir / "missing.tvk").string();
    Open(missing);
    ASSERT_EQ(w.loop.Errors().size(), 1u);
    EXPECT_EQ(w.loop.Errors()[0].rfind("Cannot open file \"" + missing + "\". ", 0), 0u)
        << w.loop.Errors()[0];
    EXPECT_EQ(w.FilePath.Text(), missing);
    EXPECT_TRUE(w.Memo2.Lines().empty());
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{1, 17, 9, 20, 25, 0, 255}));
}

TEST_F(FileAction, LineFailingAfterAcceptanceKeepsWhatWasStoredBeforeIt) {
    // Stored in the order 8, 2, 3, 4, ...: a bad yaw leaves orientation, pitch and roll new,
    // pitch unclamped, and selects no button.
    SettingsLines plain = Plain("3");
    plain[1] = "2.5"; // 35, above 20
    plain[3] = "1,5";
    Open(Write("a.tvk", plain));
    EXPECT_EQ(w.loop.Errors(), (Texts{"'1,5' is not a valid floating point value"}));
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{3, 35, 9, 0, 0, 0, 0}));
    EXPECT_EQ(Choices(), (Texts{"", "", "", ""}));

    // A bad orientation fails before anything is stored.
    plain = Plain("1x");
    Open(Write("b.tvk", plain));
    EXPECT_EQ(w.loop.Errors().back(), "'1x' is not a valid integer value");
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{3, 35, 9, 0, 0, 0, 0}));

    // A damaged hex line.
    const fs::path damaged = dir / "c.tvk";
    std::string text = EncodeSettingsFile(Plain());
    text[20] = 'G'; // inside line 2
    std::ofstream(damaged, std::ios::binary) << text;
    Open(damaged.string());
    EXPECT_EQ(w.loop.Errors().back(), "Error: not a Hex String");
    EXPECT_EQ(w.ctl.Settings().orientation, 1); // line 8 came first
    EXPECT_EQ(w.ctl.Settings().pitch, 35);
}

TEST(FileActionSeparator, CommaSeparatorReadsCommaNumbers) {
    const TempDir tmp("tvk9-openfile");
    const fs::path path = tmp / "c.tvk";
    SettingsLines plain{"vexnoc", "0,35", "-1,2", "1,5", "2,55", "25,6", "-0,1", "1"};
    // Pitch 13.5 is truncated to 13; roll -2 is 254 as a byte, clamped to 20.
    std::ofstream(path, std::ios::binary) << EncodeSettingsFile(plain);
    SimWindow w("/opt/", ',');
    w.dialogs.fileAnswers.push_back({0, path.string()});
    w.User([&] { w.ctl.OpenfileClick(); });
    EXPECT_TRUE(w.loop.Errors().empty());
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{1, 13, 20, 20, 25, 0, 255}));
    EXPECT_EQ(w.RollChoice(), "rollleft1");
}

TEST_F(FileAction, QueryAnswerArrivingUnderTheDialogIsThenOverwrittenByTheFile) {
    w.ListPorts({"COM2"});
    w.comm.AttachDevice("COM2").stored = {0x00, 0, 0, 0, 5, 5, 5};
    w.Show();
    w.PickPort(0); // the answer comes at 601 ms
    Open(Write("a.tvk", Plain()), 2000);
    const Box& dialog = w.dialogs.Boxes().front();
    EXPECT_EQ(dialog.openedAt, 501);
    EXPECT_EQ(dialog.closedAt, 2501);
    EXPECT_EQ(w.Horizont.Clicks(), 1); // the answer was shown while the dialog was up
    EXPECT_EQ(w.Vertic.Clicks(), 1);   // and the file's values selected afterwards
    EXPECT_EQ(w.ctl.Settings(), (DeviceSettings{1, 17, 9, 20, 25, 0, 255}));
    EXPECT_EQ(Choices(), (Texts{"Vertic", "pitchleft1", "rollright1", "yawleft1"}));
}

} // namespace
} // namespace tvk9::sim
