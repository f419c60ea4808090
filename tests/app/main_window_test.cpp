#include "app/qt/main_window.h"

#include "app/form.h"

#include "app/qt/application.h"
#include "modal_watcher.h"
#include "tools/settings/encode.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <vector>

namespace tvk9 {
namespace {

QString Plain(QString text) {
    return text.remove(u'&');
}

// The window with its scan kept away from the machine's ports: the port folder is empty, and
// tests that show the window stop the scan timer at once.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { qputenv("TVK9_PORT_DIR", QFile::encodeName(ports.path())); }
    ~MainWindowTest() override { qunsetenv("TVK9_PORT_DIR"); }

    void ShowWithoutScan() {
        window.show();
        window.Timer2.stop();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QTemporaryDir ports;
    AboutForms about;
    TFrm_Interface window{about};
};

// The Qt class that stands for each kind of control of the form.
const std::map<ControlKind, const char*> QtClassOf{{ControlKind::Label, "QLabel"},
                                                   {ControlKind::DropDownList, "QComboBox"},
                                                   {ControlKind::PushButton, "QPushButton"},
                                                   {ControlKind::EditBox, "QLineEdit"},
                                                   {ControlKind::GroupBox, "QGroupBox"},
                                                   {ControlKind::Panel, "QFrame"},
                                                   {ControlKind::RadioButton, "QRadioButton"},
                                                   {ControlKind::ProgressBar, "QProgressBar"},
                                                   {ControlKind::ToolButton, "QToolButton"},
                                                   {ControlKind::Memo, "QPlainTextEdit"}};

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString TextOf(const QWidget& w) {
    if (auto* label = qobject_cast<const QLabel*>(&w)) {
        return label->text();
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(&w)) {
        return button->text();
    }
    if (auto* group = qobject_cast<const QGroupBox*>(&w)) {
        return group->title();
    }
    if (auto* edit = qobject_cast<const QLineEdit*>(&w)) {
        return edit->text();
    }
    if (auto* memo = qobject_cast<const QPlainTextEdit*>(&w)) {
        return memo->toPlainText();
    }
    return {};
}

TEST_F(MainWindowTest, EveryControlHasItsNameKindParentPlaceAndText) {
    QWidget* client = window.centralWidget();
    ASSERT_NE(client, nullptr);
    for (const ControlForm& row : MainForm) {
        SCOPED_TRACE(row.name);
        auto* w = window.findChild<QWidget*>(Latin1(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(QtClassOf.at(row.kind)));
        EXPECT_EQ(w->parentWidget(),
                  row.parent.empty() ? client : window.findChild<QWidget*>(Latin1(row.parent)));
        EXPECT_EQ(TextOf(*w), Latin1(row.text));
        const QRect stored(row.rect.left, row.rect.top, row.rect.width, row.rect.height);
        if (qobject_cast<QLabel*>(w) != nullptr) {
            // Captions keep their place and grow to their text where the font is wider.
            EXPECT_EQ(w->pos(), stored.topLeft());
            EXPECT_GE(w->width(), stored.width());
            EXPECT_GE(w->height(), stored.height());
            EXPECT_LE(w->fontMetrics().horizontalAdvance(TextOf(*w)), w->width());
        } else {
            EXPECT_EQ(w->geometry(), stored);
        }
    }
    // Worked out by hand: the roll row's NOR button sits in GroupBox2 (32, 147), in Panel4 (2,
    // 38) at (23, 8): 57, 193 in the client area; the yaw label at 32 + 2 + 84, 147 + 97 + 8.
    EXPECT_EQ(window.rollleft1.mapTo(client, QPoint(0, 0)), QPoint(57, 193));
    EXPECT_EQ(window.Label7.mapTo(client, QPoint(0, 0)), QPoint(118, 252));
    // Radio buttons show no text: the labels name them.
    EXPECT_EQ(window.findChildren<QRadioButton*>().size(), 8);
    EXPECT_EQ(window.Panel4.frameShape(), QFrame::NoFrame);
}

TEST_F(MainWindowTest, TheWindowIsFixedCentredAndCarriesItsCaptionFontAndMenu) {
    EXPECT_EQ(window.objectName(), "Frm_Interface");
    EXPECT_EQ(window.windowTitle(), "TVK9 Programmer");
    EXPECT_EQ(window.centralWidget()->size(), QSize(513, 388));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the border cannot resize it";
    // The status bar adds its height below the client area.
    EXPECT_EQ(window.statusBar(), &window.StatusBar1);
    EXPECT_EQ(window.centralWidget()->geometry().bottom() + 1, window.StatusBar1.y());
    EXPECT_EQ(window.size(), QSize(513, window.menuBar()->sizeHint().height() + 388 +
                                            window.StatusBar1.sizeHint().height()));
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_EQ(
        window.pos(),
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(), screen).topLeft());
    EXPECT_EQ(window.font().pixelSize(), 11);
    EXPECT_EQ(window.font().families().value(0), "MS Sans Serif");
    EXPECT_EQ(window.Start.font().pixelSize(), 11) << "every control inherits the font";

    EXPECT_EQ(window.menuBar(), &window.MainMenu1);
    const QList<QAction*> menus = window.MainMenu1.actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(Plain(menus[0]->text()), "File");
    EXPECT_EQ(Plain(menus[1]->text()), "Help");
    const QList<QAction*> file = window.File1.actions();
    ASSERT_EQ(file.size(), 2);
    EXPECT_EQ(file[0], &window.Save1);
    EXPECT_EQ(Plain(window.Save1.text()), "Open");
    EXPECT_EQ(file[1], &window.Exit2);
    EXPECT_EQ(Plain(window.Exit2.text()), "Exit");
    ASSERT_EQ(window.Help1.actions().size(), 1);
    EXPECT_EQ(Plain(window.About1.text()), "About");
    EXPECT_TRUE(window.Save1.shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_O)));
    EXPECT_TRUE(window.Exit2.shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
    EXPECT_TRUE(window.About1.shortcut().isEmpty());
}

TEST_F(MainWindowTest, StartsWithEverythingEmptyUnselectedAndStill) {
    for (QTimer* timer : {&window.Timer1, &window.Timer2, &window.Timer3}) {
        EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString();
        EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
    }
    EXPECT_EQ(window.Timer1.interval(), 500);
    EXPECT_EQ(window.Timer2.interval(), 700);
    EXPECT_EQ(window.Timer3.interval(), 10);

    EXPECT_FALSE(window.Comm1.PortOpen());
    EXPECT_EQ(window.Comm1.CommName(), "COM1");
    // Read length before buffer size, as stored: 10 fits the initial buffer of 2048.
    EXPECT_EQ(window.Comm1.InputLen(), 10);
    EXPECT_EQ(window.Comm1.InBufferSize(), 10);
    EXPECT_EQ(window.Comm1.BaudRate(), 9600u);
    EXPECT_EQ(window.Comm1.ByteSize(), TByteSize::_8);
    EXPECT_EQ(window.Comm1.Parity(), TParity::None);
    EXPECT_EQ(window.Comm1.StopBits(), TStopBits::_1);
    EXPECT_EQ(window.Comm1.XonLimit(), 500);
    EXPECT_EQ(window.Comm1.XoffLimit(), 500);
    EXPECT_EQ(window.Comm1.XonChar(), 0x11);
    EXPECT_EQ(window.Comm1.XoffChar(), 0x13);
    EXPECT_EQ(window.Comm1.ReplacedChar(), 0x00);
    EXPECT_EQ(window.Comm1.ReadIntervalTimeout(), 100u);
    EXPECT_EQ(window.Comm1.ReadTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(window.Comm1.ReadTotalTimeoutConstant(), 0u);
    EXPECT_EQ(window.Comm1.WriteTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(window.Comm1.WriteTotalTimeoutConstant(), 0u);

    EXPECT_EQ(window.ComSelect.count(), 0);
    EXPECT_EQ(window.ComSelect.currentIndex(), -1);
    EXPECT_FALSE(window.ComSelect.isEditable());
    EXPECT_EQ(window.ComSelect.maxVisibleItems(), 8);
    EXPECT_TRUE(window.FilePath.text().isEmpty());
    EXPECT_TRUE(window.Memo2.toPlainText().isEmpty());
    EXPECT_EQ(window.ProgressBar1.value(), 0);
    EXPECT_EQ(window.ProgressBar1.minimum(), 0);
    EXPECT_EQ(window.ProgressBar1.maximum(), 100);
    for (const QRadioButton* radio : window.findChildren<QRadioButton*>()) {
        EXPECT_FALSE(radio->isChecked()) << radio->objectName().toStdString();
    }
    EXPECT_TRUE(window.AutoDetect.isEnabled());
    EXPECT_EQ(window.findChild<QFileDialog*>(), nullptr) << "built only when needed";

    // Never shown, never reached with the keyboard.
    EXPECT_TRUE(window.Read.isHidden());
    EXPECT_TRUE(window.Memo2.isHidden());
    EXPECT_EQ(window.Read.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(window.Memo2.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(window.Controller().Settings(), DeviceSettings{});
}

TEST_F(MainWindowTest, TheProgressBarIsDrawnGreenOnWhite) {
    const QPalette palette = window.ProgressBar1.palette();
    EXPECT_EQ(palette.color(QPalette::Highlight), QColor(0x1F, 0xBD, 0x52));
    EXPECT_EQ(palette.color(QPalette::Base), QColor(Qt::white));

    window.ProgressBar1.setValue(50);
    const QImage image = window.ProgressBar1.grab().toImage();
    const int y = image.height() / 2;
    const QColor bar = image.pixelColor(image.width() / 4, y);
    const QColor background = image.pixelColor(image.width() * 7 / 8, y);
    EXPECT_GT(bar.green(), 150);
    EXPECT_LT(bar.red(), 90);
    EXPECT_LT(bar.blue(), 130);
    EXPECT_EQ(background, QColor(Qt::white));
}

TEST_F(MainWindowTest, ThePortListDropsDownAtMostEightEntriesOfThirteenPixels) {
    ShowWithoutScan();
    for (int i = 0; i < 20; ++i) {
        window.ComSelect.addItem(QStringLiteral("/dev/ttyUSB%1").arg(i));
    }
    window.ComSelect.showPopup();
    const QAbstractItemView* list = window.ComSelect.view();
    ASSERT_TRUE(list->isVisible());
    EXPECT_EQ(list->sizeHintForRow(0), 13);
    EXPECT_LE(list->viewport()->height(), 8 * 13);
    EXPECT_GE(list->viewport()->height(), 7 * 13);
    EXPECT_TRUE(list->verticalScrollBar()->isVisible()) << "the other twelve are reachable";
    window.ComSelect.hidePopup();
}

TEST_F(MainWindowTest, TheWheelTurnsThePortListOnlyWhileItHasTheFocus) {
    ShowWithoutScan();
    window.Timer2.start(); // a scan is under way
    window.ComSelect.clear();
    window.ComSelect.addItems({"/nonexistent/A", "/nonexistent/B", "/nonexistent/C"});
    window.ComSelect.setCurrentIndex(1);
    QSignalSpy picks(&window.ComSelect, &QComboBox::activated);
    const auto turn = [this] {
        QWheelEvent wheel({9, 9}, window.ComSelect.mapToGlobal(QPointF(9, 9)), {}, {0, -120},
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&window.ComSelect, &wheel);
    };
    turn();
    EXPECT_EQ(window.ComSelect.currentIndex(), 1);
    EXPECT_EQ(picks.count(), 0);
    EXPECT_TRUE(window.Timer2.isActive()) << "the scan goes on";
    EXPECT_EQ(window.Comm1.CommName(), "COM1") << "no port taken";

    window.ComSelect.setFocus(); // with the focus the wheel picks, as the arrow keys do
    turn();
    EXPECT_EQ(window.ComSelect.currentIndex(), 2);
    EXPECT_EQ(picks.count(), 1);
    EXPECT_EQ(window.Comm1.CommName(), "/nonexistent/C");
}

TEST_F(MainWindowTest, EveryControlHasANameAScreenReaderCanSpeak) {
    const auto spoken = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
    };
    QStringList radios;
    for (QRadioButton* radio :
         {&window.Vertic, &window.Horizont, &window.rollleft1, &window.rollright1,
          &window.pitchleft1, &window.pitchright1, &window.yawleft1, &window.yawright1}) {
        radios << spoken(radio);
    }
    EXPECT_EQ(radios.join(u','), "Orientation vertical,Orientation horizontal,Roll NOR,Roll REV,"
                                 "Pitch NOR,Pitch REV,Yaw NOR,Yaw REV");
    int named = 0;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w->isVisibleTo(&window) && w->focusPolicy() != Qt::NoFocus && !w->isWindow()) {
            EXPECT_FALSE(spoken(w).isEmpty()) << w->objectName().toStdString();
            ++named;
        }
    }
    EXPECT_EQ(named, 13); // FilePath, ComSelect, eight radio buttons, three push buttons
}

TEST_F(MainWindowTest, ShowingListsThePortsAndStartsTheScanOnce) {
    window.show();
    EXPECT_TRUE(window.Timer2.isActive());
    window.Timer2.stop();
    EXPECT_EQ(window.ComSelect.count(), static_cast<int>(ListSerialPorts().size()));
    EXPECT_EQ(window.ComSelect.currentIndex(), -1);
    window.hide();
    window.show();
    EXPECT_FALSE(window.Timer2.isActive()) << "the show event of a later show is no FormShow";
}

// Tab visits FilePath, ComSelect, the orientation pair, the axis rows (yaw, roll, pitch),
// Open File, Start, AutoDetect; a radio group with no selection is skipped.
TEST_F(MainWindowTest, TabSkipsUnselectedRadioGroupsAndVisitsTheRestInOrder) {
    ShowWithoutScan();
    EXPECT_EQ(QApplication::focusWidget(), &window.FilePath);
    auto tour = [this] {
        QStringList names;
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            names << QApplication::focusWidget()->objectName();
            if (QApplication::focusWidget() == &window.FilePath) {
                break;
            }
        }
        return names;
    };
    EXPECT_EQ(tour(), QStringList({"ComSelect", "Openfile", "Start", "AutoDetect", "FilePath"}));

    window.Horizont.setChecked(true);
    window.rollleft1.setChecked(true);
    window.yawright1.setChecked(true);
    window.FilePath.setFocus();
    EXPECT_EQ(tour(), QStringList({"ComSelect", "Horizont", "yawright1", "rollleft1", "Openfile",
                                   "Start", "AutoDetect", "FilePath"}));
}

TEST_F(MainWindowTest, RadioButtonsReachTheSettingsByUserAndByCode) {
    // The window's bindings run the controller's rules: NOR of 0 gives 20, REV of 20 gives 0.
    window.pitchleft1.setChecked(true);
    EXPECT_EQ(window.Controller().Settings().pitch, 20);
    window.pitchright1.setChecked(true);
    EXPECT_EQ(window.Controller().Settings().pitch, 0);
    window.show();
    window.Timer2.stop();
    QTest::mouseClick(&window.yawleft1, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(window.Controller().Settings().yaw, 20);
    EXPECT_EQ(window.Controller().Settings().pitch, 0) << "other rows untouched";
    window.Vertic.setChecked(true);
    EXPECT_EQ(window.Controller().Settings().orientation, 1);
    EXPECT_FALSE(window.rollleft1.isChecked());
    EXPECT_FALSE(window.rollright1.isChecked());
}

TEST_F(MainWindowTest, FileOpenRunsTheSameActionAsTheButtonAndEscapingErrorsAreShown) {
    QStringList folders;
    QString typed;
    test::ModalWatcher watcher([&](QDialog& dialog) {
        auto& files = static_cast<QFileDialog&>(dialog);
        folders << files.directory().absolutePath();
        if (typed.isEmpty()) {
            files.reject();
        } else {
            test::TypeAndAccept(files, typed);
        }
    });
    window.Save1.trigger();
    window.Openfile.click();
    ASSERT_EQ(folders.size(), 2);
    EXPECT_EQ(folders[0], QCoreApplication::applicationDirPath());
    EXPECT_EQ(folders[1], folders[0]);
    EXPECT_TRUE(window.FilePath.text().isEmpty()) << "cancelled: nothing changes";

    // A first line that is no hex text: the codec's error leaves the handler and is shown.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    typed = dir.filePath("not hex.tvk");
    QFile file(typed);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("zz00\r\n");
    file.close();
    window.Save1.trigger();
    EXPECT_EQ(window.FilePath.text(), typed);
    ASSERT_EQ(watcher.Boxes().size(), 1u);
    EXPECT_EQ(watcher.Boxes()[0].text, "Error: not a Hex String.");
    EXPECT_EQ(watcher.Boxes()[0].title, QCoreApplication::applicationName());
    EXPECT_EQ(watcher.Boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(watcher.Boxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // Typed into the path box by hand: nothing reads it.
    window.FilePath.setText(dir.filePath("elsewhere"));
    EXPECT_EQ(watcher.Boxes().size(), 1u);
}

// A full path typed key by key into the dialog's name box, then Enter. The file's decimals
// carry the regional separator: the window tests run once more under a comma locale.
TEST_F(MainWindowTest, AFullPathTypedIntoTheFileDialogLoadsTheFileAndLeavesNothingOnScreen) {
    ShowWithoutScan();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("typed.tvk");
    SettingsLines plain{"vexnoc", "0.7", "-0.05", "1.5", "2.55", "25.6", "-0.1", "1"};
    for (std::string& line : plain) {
        std::replace(line.begin(), line.end(), '.', QLocale::system().decimalPoint()[0].toLatin1());
    }
    std::ofstream(file.toStdString(), std::ios::binary) << EncodeSettingsFile(plain);
    test::ModalWatcher watcher([&](QDialog& dialog) {
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        // Keys go where a user's go: to the completion popup while it is open, else to the name
        // box of the active dialog (Qt's offscreen platform does not reactivate it by itself).
        const auto target = [&]() -> QWidget* {
            if (QWidget* popup = QApplication::activePopupWidget(); popup != nullptr) {
                return popup;
            }
            if (!dialog.isActiveWindow()) {
                dialog.activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            }
            return name;
        };
        for (const char c : name != nullptr ? file.toLocal8Bit() : QByteArray()) {
            QTest::keyClick(target(), c);
            QCoreApplication::processEvents(); // as between a user's keys
        }
        QTest::keyClick(target(), Qt::Key_Return);
        if (dialog.isVisible()) {
            ADD_FAILURE() << "the dialog took no typed path";
            dialog.reject();
        }
    });
    window.Openfile.click();
    EXPECT_EQ(watcher.Dialogs(), 1);
    EXPECT_EQ(window.FilePath.text(), file);
    EXPECT_EQ(window.Controller().Settings(), (DeviceSettings{1, 17, 9, 20, 25, 0, 255}));
    QTest::qWait(300); // whatever the dialog left behind would now show
    for (const QWidget* top : QApplication::topLevelWidgets()) {
        EXPECT_TRUE(top == &window || !top->isVisible())
            << top->metaObject()->className() << " " << top->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, HelpAboutShowsTheAboutWindowModallyAndExitClosesTheWindow) {
    ShowWithoutScan();
    QWidget* modal = nullptr;
    test::ModalWatcher watcher([&](QDialog& dialog) {
        modal = QApplication::activeModalWidget();
        static_cast<TAboutForm&>(dialog).Button1.click();
    });
    window.About1.trigger();
    window.About1.trigger();
    EXPECT_EQ(watcher.Dialogs(), 2);
    EXPECT_EQ(about.Count(), 2u);
    EXPECT_EQ(modal, about.Current());
    EXPECT_TRUE(window.isVisible());

    window.Exit2.trigger();
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace tvk9
