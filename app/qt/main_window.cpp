#include "app/qt/main_window.h"

#include "app/qt/application.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLayout>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>

namespace tvk9 {

namespace {

void Place(QWidget& widget, const char* name, int left, int top, int width, int height) {
    widget.setObjectName(QString::fromLatin1(name));
    widget.setGeometry(left, top, width, height);
}

void Caption(QLabel& label, const char* name, const char* text, int left, int top, int width,
             int height) {
    Place(label, name, left, top, width, height);
    label.setText(QString::fromLatin1(text));
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Captions size themselves to their text: the stored sizes fit "MS Sans Serif", and a
    // wider stand-in font must not clip them.
    const QSize fit = label.sizeHint();
    label.resize(std::max(width, fit.width()), std::max(height, fit.height()));
}

// A radio button that shows no text: the labels beside it name it on screen, and `spoken`
// names it for a screen reader.
void Radio(QRadioButton& radio, const char* name, const char* spoken, int left, int top, int width,
           int height) {
    Place(radio, name, left, top, width, height);
    radio.setAutoExclusive(true);
    radio.setAccessibleName(QString::fromLatin1(spoken));
}

// A borderless panel whose only purpose is to make its two radio buttons a group of their own.
void Row(QFrame& panel, const char* name, int top) {
    Place(panel, name, 2, top, 207, 30);
    panel.setFrameShape(QFrame::NoFrame);
}

void Push(QPushButton& button, const char* name, const char* text, int left, int top, int width,
          int height) {
    Place(button, name, left, top, width, height);
    button.setText(QString::fromLatin1(text));
    button.setAutoDefault(true); // Enter presses the button that has the focus
}

// The desktop's own keys for an action, else `fallback`: some platforms know no key to quit.
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey key, const QKeySequence& fallback) {
    const QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    return keys.isEmpty() ? QList<QKeySequence>{fallback} : keys;
}

std::string ProgramFolder() {
    return QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString() + '/';
}

char DecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? point.at(0).toLatin1() : '.';
}

} // namespace

std::vector<std::string> SystemPortLister::ListSerialPorts() {
    last_ = ListSerialPortInfo();
    std::vector<std::string> names;
    for (const PortInfo& port : last_) {
        names.push_back(port.name);
    }
    return names;
}

const PortInfo* SystemPortLister::Find(const std::string& name) const {
    const auto it = std::find_if(last_.begin(), last_.end(),
                                 [&name](const PortInfo& port) { return port.name == name; });
    return it != last_.end() ? &*it : nullptr;
}

std::string SystemPortLister::PortDetails(const std::string& name) {
    const PortInfo* port = Find(name);
    return port != nullptr ? Describe(port->usb) : std::string();
}

std::string SystemPortLister::ToolTip(const std::string& name) const {
    const PortInfo* port = Find(name);
    return port != nullptr ? PortToolTip(port->usb) : std::string();
}

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
    ApplyStoredSettings();
    controller_ = std::make_unique<ConnectionController>(
        WindowParts{timer1Port_,      timer2Port_,       timer3Port_,     comSelectPort_,
                    autoDetectPort_,  verticPort_,       horizontPort_,   pitchleft1Port_,
                    pitchright1Port_, rollleft1Port_,    rollright1Port_, yawleft1Port_,
                    yawright1Port_,   progressBar1Port_, filePathPort_,   memo2Port_,
                    dialogs_,         sleeper_,          comm1Port_,      portLister_,
                    statusLinePort_},
        ProgramFolder(), DecimalSeparator());
    BindEvents();
    FormCreate();
}

void TFrm_Interface::BuildControls() {
    setObjectName(QStringLiteral("Frm_Interface"));
    setWindowTitle(QStringLiteral("TVK9 Programmer"));
    setFont(WindowFont());
    setCentralWidget(&client_);
    setMenuBar(&MainMenu1);

    // In the order of the stored form.
    Place(Read, "Read", 277, 258, 75, 22);
    Read.setText(QStringLiteral("Read"));
    Read.setFocusPolicy(Qt::NoFocus);
    Read.setVisible(false);

    Caption(Label8, "Label8", "USB INTERFACE", 32, 25, 85, 13);
    Caption(Label9, "Label9", "TVK9 File", 30, 88, 46, 13);
    Caption(Label10, "Label10", "Progress", 30, 311, 41, 13);

    Place(FilePath, "FilePath", 32, 107, 345, 21);
    FilePath.setAccessibleName(QStringLiteral("TVK9 File"));

    Place(ComSelect, "ComSelect", 32, 44, 345, 21);
    ComSelect.setAccessibleName(QStringLiteral("USB INTERFACE"));
    ComSelect.setEditable(false);
    ComSelect.setStyle(&portListStyle_);
    ComSelect.setItemDelegate(&portListItems_);
    ComSelect.setMaxVisibleItems(8);
    // A list longer than it shows has a scroll bar (Fusion's menu-like drop-down turned it off).
    ComSelect.view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ComSelect.setFocusPolicy(Qt::StrongFocus); // not WheelFocus: the wheel alone gives no focus
    ComSelect.installEventFilter(&wheelOnlyWithFocus_);

    Place(ProgressBar1, "ProgressBar1", 30, 330, 347, 21);
    ProgressBar1.setOrientation(Qt::Horizontal);
    ProgressBar1.setRange(0, 100);
    ProgressBar1.setValue(0);
    ProgressBar1.setTextVisible(false);
    ProgressBar1.setFocusPolicy(Qt::NoFocus);
    ProgressBar1.setAccessibleName(QStringLiteral("Progress"));

    Place(Memo2, "Memo2", 30, 286, 347, 19);
    Memo2.setFocusPolicy(Qt::NoFocus);
    Memo2.setVisible(false);

    Place(GroupBox1, "GroupBox1", 277, 147, 196, 89);
    GroupBox1.setTitle(QStringLiteral("Orientation"));
    Caption(Label1, "Label1", "Vertical", 24, 29, 35, 13);
    Caption(Label2, "Label2", "Horizontal", 136, 29, 47, 13);
    Radio(Vertic, "Vertic", "Orientation vertical", 34, 48, 18, 17);
    Radio(Horizont, "Horizont", "Orientation horizontal", 152, 48, 17, 17);

    Place(GroupBox2, "GroupBox2", 32, 147, 211, 133);
    GroupBox2.setTitle(QStringLiteral("Sensor Output Direction"));
    Caption(Label4, "Label4", "NOR", 20, 19, 24, 13);
    Caption(Label5, "Label5", "REV", 158, 19, 22, 13);
    Row(Panel4, "Panel4", 38);
    Radio(rollleft1, "rollleft1", "Roll NOR", 23, 8, 18, 17);
    Caption(Label3, "Label3", "Roll", 84, 8, 18, 13);
    Radio(rollright1, "rollright1", "Roll REV", 158, 8, 17, 17);
    Row(Panel5, "Panel5", 68);
    Radio(pitchleft1, "pitchleft1", "Pitch NOR", 23, 8, 17, 17);
    Caption(Label6, "Label6", "Pitch", 84, 8, 24, 13);
    Radio(pitchright1, "pitchright1", "Pitch REV", 158, 8, 17, 17);
    Row(Panel2, "Panel2", 97);
    Radio(yawleft1, "yawleft1", "Yaw NOR", 23, 8, 17, 17);
    Caption(Label7, "Label7", "Yaw", 84, 8, 21, 13);
    Radio(yawright1, "yawright1", "Yaw REV", 158, 8, 17, 17);

    Push(Openfile, "Openfile", "Open File", 402, 107, 71, 21);
    Push(Start, "Start", "Start", 402, 330, 71, 21);
    Push(AutoDetect, "AutoDetect", "AutoDetect", 404, 44, 69, 21);

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer3.setObjectName(QStringLiteral("Timer3"));
    timer1Port_.SetInterval(ConnectionController::Timer1Interval);
    timer2Port_.SetInterval(ConnectionController::Timer2Interval);
    timer3Port_.SetInterval(ConnectionController::Timer3Interval);

    MainMenu1.setObjectName(QStringLiteral("MainMenu1"));
    File1.setObjectName(QStringLiteral("File1"));
    File1.setTitle(QStringLiteral("&File"));
    Save1.setObjectName(QStringLiteral("Save1"));
    Save1.setText(QStringLiteral("&Open"));
    Save1.setShortcuts(StandardKeys(QKeySequence::Open, Qt::CTRL | Qt::Key_O));
    Exit2.setObjectName(QStringLiteral("Exit2"));
    Exit2.setText(QStringLiteral("E&xit"));
    Exit2.setShortcuts(StandardKeys(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q));
    File1.addAction(&Save1);
    File1.addAction(&Exit2);
    Help1.setObjectName(QStringLiteral("Help1"));
    Help1.setTitle(QStringLiteral("&Help"));
    About1.setObjectName(QStringLiteral("About1"));
    About1.setText(QStringLiteral("&About"));
    Help1.addAction(&About1);
    MainMenu1.addMenu(&File1);
    MainMenu1.addMenu(&Help1);

    // Keyboard order; hidden and unfocusable controls in it are skipped.
    QWidget* const order[] = {&FilePath,   &ComSelect,   &ProgressBar1, &Memo2,      &Horizont,
                              &Vertic,     &yawleft1,    &yawright1,    &rollright1, &rollleft1,
                              &pitchleft1, &pitchright1, &Openfile,     &Start,      &AutoDetect};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
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
    client_.setFixedSize(513, 388);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (const QScreen* target = screen(); target != nullptr) {
        move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                 target->availableGeometry())
                 .topLeft());
    }
}

void TFrm_Interface::ApplyStoredSettings() {
    // The form stores InputLen before InBufferSize, so the read length is measured against the
    // initial buffer size.
    Comm1.SetCommName("COM1");
    Comm1.SetInputLen(10);
    Comm1.SetInBufferSize(10);
    Comm1.SetByteSize(TByteSize::_8);
    Comm1.SetParity(TParity::None);
    Comm1.SetStopBits(TStopBits::_1);
    Comm1.SetXonLimit(500);
    Comm1.SetXoffLimit(500);
    Comm1.SetXonChar(0x11);
    Comm1.SetXoffChar(0x13);
    Comm1.SetReplacedChar(0x00);
    Comm1.SetReadIntervalTimeout(100);
    Comm1.SetReadTotalTimeoutMultiplier(0);
    Comm1.SetReadTotalTimeoutConstant(0);
    Comm1.SetWriteTotalTimeoutMultiplier(0);
    Comm1.SetWriteTotalTimeoutConstant(0);
}

void TFrm_Interface::BindEvents() {
    ConnectionController& c = *controller_;
    BindSelect(ComSelect, *this, guarded([&c] { c.ComSelectSelect(); }));
    connect(&AutoDetect, &QPushButton::clicked, this, guarded([&c] { c.AutoDetectClick(); }));
    connect(&Openfile, &QPushButton::clicked, this, guarded([&c] { c.OpenfileClick(); }));
    connect(&Start, &QPushButton::clicked, this, guarded([&c] { c.Button3Click(); }));
    connect(&Read, &QToolButton::clicked, this, guarded([&c] { c.ReadClick(); }));
    BindClick(Vertic, *this, guarded([&c] { c.VerticClick(); }));
    BindClick(Horizont, *this, guarded([&c] { c.HorizontClick(); }));
    BindClick(rollleft1, *this, guarded([&c] { c.rollleft1Click(); }));
    BindClick(rollright1, *this, guarded([&c] { c.rollright1Click(); }));
    BindClick(pitchleft1, *this, guarded([&c] { c.pitchleft1Click(); }));
    BindClick(pitchright1, *this, guarded([&c] { c.pitchright1Click(); }));
    BindClick(yawleft1, *this, guarded([&c] { c.yawleft1Click(); }));
    BindClick(yawright1, *this, guarded([&c] { c.yawright1Click(); }));
    connect(&Timer1, &QTimer::timeout, this, guarded([&c] { c.Timer1Timer(); }));
    connect(&Timer2, &QTimer::timeout, this, guarded([&c] { c.Timer2Timer(); }));
    connect(&Timer3, &QTimer::timeout, this, guarded([&c] { c.Timer3Timer(); }));
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
    // White background, bar in green (red 31, green 189, blue 82).
    QPalette palette = ProgressBar1.palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x1F, 0xBD, 0x52));
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
