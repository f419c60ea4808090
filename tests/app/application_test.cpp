#include "app/qt/application.h"

#include "modal_watcher.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

namespace tvk9 {
namespace {

TEST(ApplicationTitle, IsTheProgramNameCutAtItsFirstFullStopWithTheRestInLowerCase) {
    EXPECT_EQ(ApplicationTitle("/opt/tools/MYTOOL.V2.EXE"), "Mytool");
    EXPECT_EQ(ApplicationTitle("/usr/local/bin/tvk9-programmer"), "tvk9-programmer");
    EXPECT_EQ(ApplicationTitle("/usr/bin/ABC"), "Abc");
    EXPECT_EQ(ApplicationTitle("relative/Tool.exe"), "Tool");
    EXPECT_EQ(ApplicationTitle("plain"), "plain");
    EXPECT_EQ(ApplicationTitle("/x/Q"), "Q");
    EXPECT_EQ(ApplicationTitle("/x/.hidden"), "");
    // Only the name counts: a full stop in a folder does not cut it.
    EXPECT_EQ(ApplicationTitle("/home/a.b/Prog"), "Prog");
}

TEST(ApplicationTitle, IsWhatTheApplicationCarries) {
    EXPECT_EQ(QCoreApplication::applicationName(),
              ApplicationTitle(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(QCoreApplication::applicationName(), "app_tests");
}

TEST(Application, WritesNoSettingsFileForItsDialogs) {
    QTemporaryDir visited;
    ASSERT_TRUE(visited.isValid());
    {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setDirectory(visited.path());
    } // a dialog saves its history and last folder when it goes
    QSettings settings(QSettings::UserScope, "QtProject");
    settings.sync();
    EXPECT_FALSE(QFile::exists(settings.fileName())) << settings.fileName().toStdString();
}

TEST(AsShown, AppendsAFullStopOnlyAfterACharacterThatSortsAboveIt) {
    EXPECT_EQ(AsShown("No response!"), "No response!");
    EXPECT_EQ(AsShown("Done."), "Done.");
    EXPECT_EQ(AsShown("a, b, -"), "a, b, -"); // '-' is 0x2D
    EXPECT_EQ(AsShown("(x)"), "(x)");
    EXPECT_EQ(AsShown("Error: not a Hex String"), "Error: not a Hex String.");
    EXPECT_EQ(AsShown("code 7"), "code 7.");
    EXPECT_EQ(AsShown("path /dev/"), "path /dev/."); // '/' is 0x2F
    EXPECT_EQ(AsShown("ends in blank "), "ends in blank ");
    EXPECT_EQ(AsShown(""), "");
    // A byte above 0x7F counts as above the full stop, as in a single-byte code page.
    EXPECT_EQ(AsShown("caf\xC3\xA9"), "caf\xC3\xA9.");
}

TEST(Guarded, ShowsAnEscapingErrorInTheErrorBoxAndKeepsWhatTheHandlerDid) {
    test::ModalWatcher watcher;
    int steps = 0;
    auto handler = guarded([&steps](int n) {
        steps += n;
        throw Exception("'x1' is not a valid integer value");
    });
    handler(2); // returns: the program goes on
    EXPECT_EQ(steps, 2);

    guarded([] { throw std::runtime_error("Cannot open file \"/a b\". No such file!"); })();
    guarded([] {})();

    ASSERT_EQ(watcher.Boxes().size(), 2u);
    const test::BoxSeen& first = watcher.Boxes()[0];
    EXPECT_EQ(first.text, "'x1' is not a valid integer value.");
    EXPECT_EQ(first.title, QCoreApplication::applicationName());
    EXPECT_EQ(first.icon, QMessageBox::Critical);
    EXPECT_EQ(first.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(first.applicationModal);
    EXPECT_EQ(watcher.Boxes()[1].text, "Cannot open file \"/a b\". No such file!");
}

} // namespace
} // namespace tvk9
