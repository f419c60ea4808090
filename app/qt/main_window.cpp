#include "app/qt/main_window.h"

#include "app/form.h"
#include "app/qt/application.h"
#include "config/window_bindings.h"
#include "tools/settings/decimal_separator.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLayout>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>

namespace tvk9 {

namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Captions size themselves to their text: the stored sizes fit "MS Sans Serif", and a wider
// stand-in font must not clip them.
void Caption(QLabel& label, const ControlForm& form) {
    label.setText(Latin1(form.text));
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QSize fit = label.sizeHint();
    label.resize(std::max(form.rect.width, fit.width()), std::max(form.rect.height, fit.height()));
}

// The desktop's own keys for an action, else `fallback`: some platforms know no key to quit.
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const QKeySequence& fallback) {
    const QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    return keys.isEmpty() ? QList<QKeySequence>{fallback} : keys;
}

std::string ProgramFolder() {
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString() + '/';
}

} // namespace

PortListStyle::PortListStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

int PortListStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const {
    if (hint == SH_ComboBox_Popup) {
        return 0;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

bool WheelOnlyWithFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        if (const auto* widget = qobject_cast<QWidget*>(watched); widget && !widget->hasFocus()) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QSize PortListItems::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), 13};
}

TFrm_Interface::TFrm_Interface(AboutForms& aboutForms, SerialPortOpener opener)
    : client_(this), FilePath(&client_), ComSelect(&client_), ProgressBar1(&client_),
      Comm1(notifyChannel_, std::move(opener)), Memo2(&client_), Read(&client_),
      GroupBox1(&client_), Label1(&GroupBox1), Label2(&GroupBox1), Horizont(&GroupBox1),
      Vertic(&GroupBox1), GroupBox2(&client_), Panel2(&GroupBox2), Panel4(&GroupBox2),
      Panel5(&GroupBox2), rollright1(&Panel4), rollleft1(&Panel4), Label3(&Panel4),
      pitchleft1(&Panel5), pitchright1(&Panel5), yawleft1(&Panel2), yawright1(&Panel2),
      Label4(&GroupBox2), Label5(&GroupBox2), Label6(&Panel5), Label7(&Panel2), MainMenu1(this),
      File1(&MainMenu1), Save1(&File1), Help1(&MainMenu1), About1(&Help1), Label8(&client_),
      Label9(&client_), Label10(&client_), Openfile(&client_), Start(&client_),
      AutoDetect(&client_), Exit2(&File1), StatusBar1(this), StatusLine1(&StatusBar1),
      aboutForms_(aboutForms) {
    notifyChannel_.Attach(Comm1);
    BuildControls();
    ApplyStoredSettings(Comm1);
    controller_ = std::make_unique<ConnectionController>(
        WindowParts{timer1Port_,      timer2Port_,       timer3Port_,     comSelectPort_,
                    autoDetectPort_,  verticPort_,       horizontPort_,   pitchleft1Port_,
                    pitchright1Port_, rollleft1Port_,    rollright1Port_, yawleft1Port_,
                    yawright1Port_,   progressBar1Port_, filePathPort_,   memo2Port_,
                    dialogs_,         sleeper_,          comm1Port_,      portLister_,
                    statusLinePort_},
        ProgramFolder(), RegionalDecimalSeparator());
    BindEvents();
    FormCreate();
}

void TFrm_Interface::BuildControls() {
    setObjectName(QStringLiteral("Frm_Interface"));
    setWindowTitle(Latin1(MainCaption));
    setFont(WindowFont());
    setCentralWidget(&client_);
    setMenuBar(&MainMenu1);

    controls_ = {{"Read", &Read},
                 {"Label8", &Label8},
                 {"Label9", &Label9},
                 {"Label10", &Label10},
                 {"FilePath", &FilePath},
                 {"ComSelect", &ComSelect},
                 {"ProgressBar1", &ProgressBar1},
                 {"Memo2", &Memo2},
                 {"GroupBox1", &GroupBox1},
                 {"Label1", &Label1},
                 {"Label2", &Label2},
                 {"Vertic", &Vertic},
                 {"Horizont", &Horizont},
                 {"GroupBox2", &GroupBox2},
                 {"Label4", &Label4},
                 {"Label5", &Label5},
                 {"Panel4", &Panel4},
                 {"rollleft1", &rollleft1},
                 {"Label3", &Label3},
                 {"rollright1", &rollright1},
                 {"Panel5", &Panel5},
                 {"pitchleft1", &pitchleft1},
                 {"Label6", &Label6},
                 {"pitchright1", &pitchright1},
                 {"Panel2", &Panel2},
                 {"yawleft1", &yawleft1},
                 {"Label7", &Label7},
                 {"yawright1", &yawright1},
                 {"Openfile", &Openfile},
                 {"Start", &Start},
                 {"AutoDetect", &AutoDetect}};
    timers_ = {{"Timer1", &Timer1}, {"Timer2", &Timer2}, {"Timer3", &Timer3}};

    // In the order of the stored form.
    for (const ControlForm& form : MainForm) {
        QWidget& widget = *controls_.at(form.name);
        widget.setObjectName(Latin1(form.name));
        widget.setGeometry(form.rect.left, form.rect.top, form.rect.width, form.rect.height);
        switch (form.kind) {
        case ControlKind::Label:
            Caption(static_cast<QLabel&>(widget), form);
            break;
        case ControlKind::PushButton:
            static_cast<QPushButton&>(widget).setText(Latin1(form.text));
            // Enter presses the button that has the focus.
            static_cast<QPushButton&>(widget).setAutoDefault(true);
            break;
        case ControlKind::ToolButton:
            static_cast<QToolButton&>(widget).setText(Latin1(form.text));
            break;
        case ControlKind::GroupBox:
            static_cast<QGroupBox&>(widget).setTitle(Latin1(form.text));
            break;
        case ControlKind::Panel:
            static_cast<QFrame&>(widget).setFrameShape(QFrame::NoFrame);
            break;
        case ControlKind::RadioButton:
            // No text: the labels beside it name it on screen.
            static_cast<QRadioButton&>(widget).setAutoExclusive(true);
            break;
        case ControlKind::ProgressBar:
            ProgressBar1.setOrientation(Qt::Horizontal);
            ProgressBar1.setRange(0, 100);
            ProgressBar1.setValue(0);
            ProgressBar1.setTextVisible(false);
            ProgressBar1.setFocusPolicy(Qt::NoFocus);
            break;
        case ControlKind::DropDownList:
            ComSelect.setEditable(false);
            ComSelect.setStyle(&portListStyle_);
            ComSelect.setItemDelegate(&portListItems_);
            ComSelect.setMaxVisibleItems(PortListVisibleItems);
            // A list longer than it shows has a scroll bar (Fusion's menu-like drop-down turned
            // it off).
            ComSelect.view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            ComSelect.setFocusPolicy(Qt::StrongFocus); // not WheelFocus: the wheel gives no focus
            ComSelect.installEventFilter(&wheelOnlyWithFocus_);
            break;
        case ControlKind::EditBox:
        case ControlKind::Memo:
            break;
        }
        if (!form.spoken.empty()) {
            widget.setAccessibleName(Latin1(form.spoken));
        }
        if (form.hidden) {
            widget.setFocusPolicy(Qt::NoFocus);
            widget.setVisible(false);
        }
    }

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer3.setObjectName(QStringLiteral("Timer3"));
    timer1Port_.SetInterval(ConnectionController::Timer1Interval);
    timer2Port_.SetInterval(ConnectionController::Timer2Interval);
    timer3Port_.SetInterval(ConnectionController::Timer3Interval);

    MainMenu1.setObjectName(QStringLiteral("MainMenu1"));
    const std::map<std::string_view, QMenu*> menus{{"File1", &File1}, {"Help1", &Help1}};
    const std::map<std::string_view, QAction*> items{
        {"Save1", &Save1}, {"Exit2", &Exit2}, {"About1", &About1}};
    for (const MenuItemForm& form : MainMenu) {
        if (form.menu.empty()) {
            QMenu& menu = *menus.at(form.name);
            menu.setObjectName(Latin1(form.name));
            menu.setTitle(Latin1(form.text));
            MainMenu1.addMenu(&menu);
        } else {
            QAction& item = *items.at(form.name);
            item.setObjectName(Latin1(form.name));
            item.setText(Latin1(form.text));
            menus.at(form.menu)->addAction(&item);
        }
    }
    Save1.setShortcuts(StandardKeys(QKeySequence::Open, Qt::CTRL | Qt::Key_O));
    Exit2.setShortcuts(StandardKeys(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q));

    // Keyboard order; hidden and unfocusable controls in it are skipped.
    for (std::size_t i = 1; i < KeyboardOrder.size(); ++i) {
        QWidget::setTabOrder(controls_.at(KeyboardOrder[i - 1]), controls_.at(KeyboardOrder[i]));
    }
    FilePath.setFocus();

    // One line below the client area; the window grows by its height.
    StatusBar1.setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1.setSizeGripEnabled(false);
    StatusLine1.setObjectName(QStringLiteral("StatusLine1"));
    StatusLine1.setContentsMargins(4, 0, 4, 0);
    StatusBar1.addWidget(&StatusLine1, 1);
    setStatusBar(&StatusBar1);

    // Fixed size: the client area is 513 x 388 below the menu bar.
    client_.setFixedSize(ClientWidth, ClientHeight);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (const QScreen* target = screen(); target != nullptr) {
        move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                 target->availableGeometry())
                 .topLeft());
    }
}

void TFrm_Interface::BindEvents() {
    ConnectionController& c = *controller_;
    for (const Binding& binding : WindowBindings) {
        auto handler = guarded([&c, h = binding.handler] { (c.*h)(); });
        switch (binding.event) {
        case WindowEvent::Select:
            BindSelect(ComSelect, *this, handler);
            break;
        case WindowEvent::Tick:
            connect(timers_.at(binding.source), &QTimer::timeout, this, handler);
            break;
        case WindowEvent::Click:
            if (auto* radio = qobject_cast<QRadioButton*>(controls_.at(binding.source))) {
                BindClick(*radio, *this, handler);
            } else {
                connect(static_cast<QAbstractButton*>(controls_.at(binding.source)),
                        &QAbstractButton::clicked, this, handler);
            }
            break;
        }
    }
    connect(&Save1, &QAction::triggered, this, guarded([this] { Save1Click(); }));
    connect(&Exit2, &QAction::triggered, this, guarded([this] { Exit2Click(); }));
    connect(&About1, &QAction::triggered, this, guarded([this] { About1Click(); }));
    Comm1.OnReceiveData = guarded([&c](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        c.Comm1ReceiveData(std::span<const std::uint8_t>(buffer, length));
    });
    Comm1.OnRequestHangup = guarded([&c](TComm&) { c.Comm1RequestHangup(); });
    // Each port entry carries what the system knows of the port as its tooltip.
    connect(ComSelect.model(), &QAbstractItemModel::rowsInserted, this,
            guarded([this](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row) {
                    ComSelect.setItemData(row, ToQt(portLister_.ToolTip(comSelectPort_.Item(row))),
                                          Qt::ToolTipRole);
                }
            }));
}

void TFrm_Interface::FormCreate() {
    const auto colour = [](unsigned value) {
        return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                      static_cast<int>((value >> 16) & 0xFF));
    };
    QPalette palette = ProgressBar1.palette();
    palette.setColor(QPalette::Base, colour(ProgressBackgroundColour));
    palette.setColor(QPalette::Window, colour(ProgressBackgroundColour));
    palette.setColor(QPalette::Highlight, colour(ProgressBarColour));
    ProgressBar1.setPalette(palette);
}

void TFrm_Interface::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous() && !shown_) {
        shown_ = true;
        guarded([this] { controller_->FormShow(); })();
    }
}

void TFrm_Interface::Save1Click() {
    Openfile.click();
}

void TFrm_Interface::Exit2Click() {
    close();
}

void TFrm_Interface::About1Click() {
    aboutForms_.Create().ShowModal();
}

} // namespace tvk9
