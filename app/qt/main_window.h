#pragma once

// The main window: its controls as stored in the form, the bindings of their events to the
// connection controller, and the window's own handlers.

#include "app/qt/about_window.h"
#include "app/qt/qt_adapters.h"
#include "app/qt/qt_notify_channel.h"
#include "app/qt/status_line.h"
#include "config/connection_controller.h"
#include "config/system_port_lister.h"
#include "config/tcomm_link.h"
#include "serial/comm.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>

#include <map>
#include <memory>
#include <string_view>

namespace tvk9 {

// The port list drops down as a plain list of at most eight entries, 13 pixels each: Fusion's
// own drop-down is a menu as tall as all of its entries.
class PortListStyle final : public QProxyStyle {
public:
    PortListStyle();
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

class PortListItems final : public QStyledItemDelegate {
public:
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The wheel turns the port list only while the list has the keyboard focus: a turn over it on
// the way elsewhere would stop the scan and take that port.
class WheelOnlyWithFocus final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class TFrm_Interface final : public QMainWindow {
public:
    // `aboutForms` holds the About windows that Help > About makes; it outlives the window.
    // `opener` opens Comm1's ports (tests may stand in for the system); the system's, by
    // default, remembers from one scan step to the next what other programs hold.
    explicit TFrm_Interface(AboutForms& aboutForms,
                            SerialPortOpener opener = SystemPorts().Opener());

    TFrm_Interface(const TFrm_Interface&) = delete;
    TFrm_Interface& operator=(const TFrm_Interface&) = delete;

    const ConnectionController& Controller() const { return *controller_; }

private:
    // Declared before every control: the client area below the menu bar that holds them, and
    // the channel that must outlive Comm1.
    QWidget client_;
    QtNotifyChannel notifyChannel_;
    PortListStyle portListStyle_;
    PortListItems portListItems_;
    WheelOnlyWithFocus wheelOnlyWithFocus_;

public:
    // The components, parents before their children.
    QLineEdit FilePath;
    QComboBox ComSelect;
    QProgressBar ProgressBar1;
    TComm Comm1;
    QTimer Timer1;
    QTimer Timer2;
    // OpenDialog1, the file-open dialog, is built by dialogs_ each time it is needed.
    QPlainTextEdit Memo2;
    QToolButton Read;
    QTimer Timer3;
    QGroupBox GroupBox1;
    QLabel Label1;
    QLabel Label2;
    QRadioButton Horizont;
    QRadioButton Vertic;
    QGroupBox GroupBox2;
    QFrame Panel2;
    QFrame Panel4;
    QFrame Panel5;
    QRadioButton rollright1;
    QRadioButton rollleft1;
    QLabel Label3;
    QRadioButton pitchleft1;
    QRadioButton pitchright1;
    QRadioButton yawleft1;
    QRadioButton yawright1;
    QLabel Label4;
    QLabel Label5;
    QLabel Label6;
    QLabel Label7;
    QMenuBar MainMenu1;
    QMenu File1;
    QAction Save1;
    QMenu Help1;
    QAction About1;
    QLabel Label8;
    QLabel Label9;
    QLabel Label10;
    QPushButton Openfile;
    QPushButton Start;
    QPushButton AutoDetect;
    QAction Exit2;
    // Below the client area: what the programmer is doing.
    QStatusBar StatusBar1;
    StatusText StatusLine1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void BindEvents();
    void FormCreate();
    void Save1Click();
    void Exit2Click();
    void About1Click();

    AboutForms& aboutForms_;
    bool shown_ = false;
    // The controls and timers by their names in the form.
    std::map<std::string_view, QWidget*> controls_;
    std::map<std::string_view, QTimer*> timers_;

    // What the controller sees of the window.
    QtTimer timer1Port_{Timer1};
    QtTimer timer2Port_{Timer2};
    QtTimer timer3Port_{Timer3};
    QtComboBox comSelectPort_{ComSelect};
    QtButton autoDetectPort_{AutoDetect};
    QtRadioButton verticPort_{Vertic};
    QtRadioButton horizontPort_{Horizont};
    QtRadioButton pitchleft1Port_{pitchleft1};
    QtRadioButton pitchright1Port_{pitchright1};
    QtRadioButton rollleft1Port_{rollleft1};
    QtRadioButton rollright1Port_{rollright1};
    QtRadioButton yawleft1Port_{yawleft1};
    QtRadioButton yawright1Port_{yawright1};
    QtProgressBar progressBar1Port_{ProgressBar1};
    QtEditBox filePathPort_{FilePath};
    QtLineBuffer memo2Port_{Memo2};
    QtDialogs dialogs_{*this};
    QtSleeper sleeper_;
    TCommLink comm1Port_{Comm1};
    SystemPortLister portLister_;
    QtStatusLine statusLinePort_{StatusLine1};
    std::unique_ptr<ConnectionController> controller_;
};

} // namespace tvk9
