#include "app/qt/qt_adapters.h"

#include "app/qt/qt_folder_memory.h"
#include "app/qt/qt_notify_channel.h"
#include "modal_watcher.h"
#include "serial/comm.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <array>

namespace tvk9 {
namespace {

// Two radio groups, as the window has them: buttons exclude each other within one parent.
struct TwoGroups {
    QWidget window;
    QWidget rowA{&window};
    QWidget rowB{&window};
    QRadioButton left{&rowA};
    QRadioButton right{&rowA};
    QRadioButton other{&rowB};
    QRadioButton otherRight{&rowB};
    QtRadioButton leftPort{left};
    QtRadioButton rightPort{right};
    QtRadioButton otherPort{other};
    std::array<int, 4> clicks{};

    TwoGroups() {
        window.resize(200, 100);
        rowA.setGeometry(0, 0, 200, 40);
        rowB.setGeometry(0, 50, 200, 40);
        left.setGeometry(10, 10, 18, 17);
        right.setGeometry(100, 10, 17, 17);
        other.setGeometry(10, 10, 18, 17);
        otherRight.setGeometry(100, 10, 17, 17);
        int i = 0;
        for (QRadioButton* radio : {&left, &right, &other, &otherRight}) {
            BindClick(*radio, window, [this, i] { ++clicks[static_cast<std::size_t>(i)]; });
            ++i;
        }
        window.show();
    }
};

TEST(RadioAdapter, SelectingFromCodeRaisesTheClickOnceAndOnlyForTheNewButton) {
    TwoGroups g;
    EXPECT_FALSE(g.leftPort.Selected());
    EXPECT_FALSE(g.rightPort.Selected());

    g.leftPort.Select();
    EXPECT_TRUE(g.leftPort.Selected());
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 0, 0, 0}));

    g.leftPort.Select(); // already selected: nothing
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 0, 0, 0}));

    g.rightPort.Select(); // the partner is unselected without an event
    EXPECT_FALSE(g.leftPort.Selected());
    EXPECT_TRUE(g.rightPort.Selected());
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 1, 0, 0}));

    // The other group is untouched, and selecting in it leaves the first alone.
    EXPECT_FALSE(g.otherPort.Selected());
    g.otherPort.Select();
    EXPECT_TRUE(g.rightPort.Selected());
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 1, 1, 0}));
}

TEST(RadioAdapter, AUserClickRaisesTheHandlerOnlyWhenItChangesTheSelection) {
    TwoGroups g;
    QTest::mouseClick(&g.left, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_TRUE(g.leftPort.Selected());
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 0, 0, 0}));
    QTest::mouseClick(&g.left, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_TRUE(g.leftPort.Selected()); // a click never unselects
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 0, 0, 0}));
    QTest::mouseClick(&g.right, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(g.clicks, (std::array<int, 4>{1, 1, 0, 0}));
}

TEST(RadioAdapter, OnlyTheSelectedButtonOfAGroupIsATabStop) {
    TwoGroups g;
    for (QRadioButton* radio : {&g.left, &g.right, &g.other}) {
        EXPECT_EQ(radio->focusPolicy(), Qt::ClickFocus) << "nothing selected yet";
    }
    g.leftPort.Select();
    EXPECT_EQ(g.left.focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(g.right.focusPolicy(), Qt::ClickFocus);
    g.right.setChecked(true);
    EXPECT_EQ(g.left.focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(g.right.focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(g.other.focusPolicy(), Qt::ClickFocus);
}

TEST(ComboAdapter, NothingDoneFromCodeRaisesTheSelectEventButAUserPickDoes) {
    QComboBox box;
    QtComboBox port(box);
    int picks = 0;
    BindSelect(box, box, [&picks] { ++picks; });

    port.AddItems({"/dev/ttyUSB0", "/tmp/tvk9 ports/sim\xC3\xA9"});
    EXPECT_EQ(port.Count(), 2);
    EXPECT_EQ(port.ItemIndex(), -1) << "filling an empty list selects nothing";
    EXPECT_EQ(port.Text(), "");
    EXPECT_EQ(port.Item(1), "/tmp/tvk9 ports/sim\xC3\xA9");

    port.SetItemIndex(1);
    EXPECT_EQ(port.Text(), "/tmp/tvk9 ports/sim\xC3\xA9");
    port.AddItems({"/dev/ttyS0"}); // appending keeps the selection
    EXPECT_EQ(port.ItemIndex(), 1);
    port.SetItemIndex(-1);
    EXPECT_EQ(port.ItemIndex(), -1);
    port.Clear();
    EXPECT_EQ(port.Count(), 0);
    port.AddItems({"a", "b", "c"});
    port.SetItemIndex(0);
    EXPECT_EQ(picks, 0);

    box.show();
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Down);
    EXPECT_EQ(picks, 1);
    EXPECT_EQ(port.Text(), "b");
}

// A link in the port folder may be named with bytes that are no UTF-8: the name the logic
// opens must be the one the system listed, not the text the list shows.
TEST(ComboAdapter, HandsBackEveryByteOfAPortName) {
    QComboBox box;
    QtComboBox port(box);
    const std::string latin1Name = "/tmp/tvk9-ports/sim\xE9";
    const std::string brokenName = std::string("/tmp/tvk9-ports/\xFF\xFE", 18) + "x";
    port.AddItems({latin1Name, brokenName, "/dev/ttyS0"});
    EXPECT_EQ(port.Item(0), latin1Name);
    EXPECT_EQ(port.Item(1), brokenName);
    EXPECT_EQ(port.Item(2), "/dev/ttyS0");
    EXPECT_EQ(port.Text(), "");
    port.SetItemIndex(1);
    EXPECT_EQ(port.Text(), brokenName);
    EXPECT_FALSE(box.currentText().isEmpty()) << "the list still shows the name";
    port.SetItemIndex(0);
    EXPECT_EQ(port.Text(), latin1Name);
}

// A long interval, and a short pause before each check. A timer that was not restarted has
// no more time left than before; one that was has its whole interval left less the time
// since just before the call. Neither check depends on how fast the test runs.
TEST(TimerAdapter, EnablingAnEnabledTimerOrSettingItsIntervalAgainDoesNotRestartIt) {
    QTimer timer;
    QtTimer port(timer);
    const auto restartedSince = [&timer](const QElapsedTimer& mark) {
        const int remaining = timer.remainingTime(); // before the elapsed time is read
        return remaining >= timer.interval() - mark.elapsed() - 5;
    };
    EXPECT_EQ(timer.timerType(), Qt::PreciseTimer);
    port.SetInterval(60000);
    EXPECT_FALSE(port.Enabled());
    EXPECT_EQ(port.Interval(), 60000u);

    port.SetEnabled(true);
    EXPECT_TRUE(port.Enabled());
    QThread::msleep(30);
    const int before = timer.remainingTime();
    ASSERT_LT(before, 60000 - 20);

    port.SetEnabled(true);
    EXPECT_LE(timer.remainingTime(), before);
    port.SetInterval(60000);
    EXPECT_LE(timer.remainingTime(), before);

    QElapsedTimer mark;
    mark.start();
    port.SetInterval(59990); // a new interval starts the period afresh
    EXPECT_TRUE(port.Enabled());
    EXPECT_EQ(port.Interval(), 59990u);
    EXPECT_TRUE(restartedSince(mark));
    QThread::msleep(30);

    port.SetEnabled(false);
    EXPECT_FALSE(port.Enabled());
    mark.start();
    port.SetEnabled(true); // enabling a disabled timer starts it afresh
    EXPECT_TRUE(restartedSince(mark));
    // Setting the interval of a disabled timer does not start it.
    port.SetEnabled(false);
    port.SetInterval(500);
    EXPECT_FALSE(port.Enabled());
}

TEST(LineBufferAdapter, KeepsEveryByteOfEveryLineAndShowsTheText) {
    QPlainTextEdit memo;
    QtLineBuffer lines(memo);
    const std::vector<std::string> text{"0123456789ABCDEF",
                                        std::string("no\xA0"
                                                    "break\x01",
                                                    9),
                                        std::string("nul\0in", 6), ""};
    lines.SetLines(text);
    EXPECT_EQ(lines.Lines(), text);
    EXPECT_TRUE(memo.toPlainText().startsWith("0123456789ABCDEF\n"));
    lines.Clear();
    EXPECT_TRUE(lines.Lines().empty());
    EXPECT_TRUE(memo.toPlainText().isEmpty());
}

TEST(DialogsAdapter, TheConfirmationIsAnApplicationModalWarningWithOkAsDefault) {
    QWidget owner;
    QtDialogs dialogs(owner);
    test::ModalWatcher watcher;
    EXPECT_TRUE(dialogs.ConfirmOverwrite());
    watcher.choose = [](const test::BoxSeen&) { return QMessageBox::Cancel; };
    EXPECT_FALSE(dialogs.ConfirmOverwrite());

    ASSERT_EQ(watcher.Boxes().size(), 2u);
    const test::BoxSeen& box = watcher.Boxes()[0];
    EXPECT_EQ(box.title, "WARNING");
    EXPECT_EQ(box.text, "Selecting OK will overwrite the current settings.");
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.defaultButton, QMessageBox::Ok);
    EXPECT_TRUE(box.applicationModal);
}

TEST(DialogsAdapter, OutcomesAreInformationBoxesAndTheRefusalAnErrorBox) {
    QWidget owner;
    QtDialogs dialogs(owner);
    test::ModalWatcher watcher;
    dialogs.ShowInformation("No Sucess!");
    dialogs.ShowError("Data Error!");
    ASSERT_EQ(watcher.Boxes().size(), 2u);
    EXPECT_EQ(watcher.Boxes()[0].title, "Information");
    EXPECT_EQ(watcher.Boxes()[0].text, "No Sucess!");
    EXPECT_EQ(watcher.Boxes()[0].icon, QMessageBox::Information);
    EXPECT_EQ(watcher.Boxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(watcher.Boxes()[1].title, "Error");
    EXPECT_EQ(watcher.Boxes()[1].text, "Data Error!");
    EXPECT_EQ(watcher.Boxes()[1].icon, QMessageBox::Critical);
    EXPECT_EQ(watcher.Boxes()[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(DialogsAdapter, TheFileDialogOpensInTheGivenFolderAndReturnsTheChosenFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("settings.tvk");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QWidget owner;
    QtDialogs dialogs(owner);

    QString shownIn;
    bool choose = false;
    test::ModalWatcher watcher([&](QDialog& dialog) {
        auto& fd = static_cast<QFileDialog&>(dialog);
        shownIn = fd.directory().absolutePath();
        if (choose) {
            test::TypeAndAccept(fd, "settings.tvk");
        } else {
            fd.reject();
        }
    });
    const std::string folder = QFile::encodeName(dir.path()).toStdString() + '/';
    EXPECT_EQ(dialogs.OpenFile(folder), std::nullopt);
    EXPECT_EQ(shownIn, dir.path());
    choose = true;
    EXPECT_EQ(dialogs.OpenFile(folder), QFile::encodeName(file).toStdString());
    EXPECT_EQ(watcher.Dialogs(), 2);
    EXPECT_EQ(owner.findChild<QFileDialog*>(), nullptr) << "nothing of the dialog is left";
}

// An installed program (its folder here one that does not exist, so the user cannot write to
// it) starts in the home folder, then where the last file was opened, in a later run too; one
// run from a folder of the user's own starts there and remembers nothing.
TEST(DialogFolder, AnInstalledProgramRemembersTheLastFolderAcrossRuns) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid() && QDir(dir.path()).mkdir("files"));
    const auto local = [](const QString& path) { return QFile::encodeName(path).toStdString(); };
    QtFolderMemory memory(dir.filePath("config/tvk9-programmer.conf"));
    const DialogFolder installed = QtDialogFolder(dir.filePath("no-such-prefix/bin/"), memory);
    EXPECT_EQ(installed.Initial(), local(QDir::homePath()));
    installed.Opened(local(dir.filePath("files/a.tvk")));
    QtFolderMemory again(dir.filePath("config/tvk9-programmer.conf"));
    EXPECT_EQ(QtDialogFolder(dir.filePath("no-such-prefix/bin/"), again).Initial(),
              local(dir.filePath("files")));
    ASSERT_TRUE(QDir(dir.filePath("files")).removeRecursively());
    EXPECT_EQ(installed.Initial(), local(QDir::homePath())) << "the folder is gone";

    QtFolderMemory ownMemory(dir.filePath("own.conf"));
    const DialogFolder own = QtDialogFolder(dir.path() + '/', ownMemory);
    own.Opened(local(dir.filePath("b.tvk")));
    EXPECT_EQ(own.Initial(), local(dir.path() + '/'));
    EXPECT_FALSE(QFile::exists(dir.filePath("own.conf")));
}

TEST(QtNotifyChannel, HoldsTenThousandUndispatchedMessagesAndAHangupBeyond) {
    QtNotifyChannel channel;
    TComm comm(channel, {});
    channel.Attach(comm);
    int events = 0;
    comm.OnRequestHangup = comm.OnSendDataEmpty = [&](TComm&) { ++events; };
    for (int i = 0; i < 10000; ++i)
        ASSERT_TRUE(channel.Post({MsgSendDataEmpty, 0, 0, nullptr}));
    EXPECT_FALSE(channel.Post({MsgSendDataEmpty, 0, 0, nullptr}));
    EXPECT_TRUE(channel.Post({MsgRequestHangup, 0, 0, nullptr}));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(events, 10001);
    EXPECT_TRUE(channel.Post({MsgSendDataEmpty, 0, 0, nullptr})); // dispatched ones made room
}

} // namespace
} // namespace tvk9
