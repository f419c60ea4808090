#include "app/qt/qt_adapters.h"

#include "app/qt/qt_folder_memory.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QVariant>

namespace tvk9 {

QString ToQt(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

std::string FromQt(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// ---- Timer

QtTimer::QtTimer(QTimer& timer) : timer_(timer) {
    timer_.setTimerType(Qt::PreciseTimer);
}

void QtTimer::SetEnabled(bool enabled) {
    if (enabled && !timer_.isActive()) {
        timer_.start();
    } else if (!enabled) {
        timer_.stop();
    }
}

bool QtTimer::Enabled() const {
    return timer_.isActive();
}

void QtTimer::SetInterval(unsigned milliseconds) {
    if (static_cast<int>(milliseconds) != timer_.interval()) {
        timer_.setInterval(static_cast<int>(milliseconds));
    }
}

unsigned QtTimer::Interval() const {
    return static_cast<unsigned>(timer_.interval());
}

// ---- Radio button

namespace {

void UpdateTabStops(QWidget* group) {
    if (group == nullptr) {
        return;
    }
    for (QRadioButton* radio : group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
        radio->setFocusPolicy(radio->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

} // namespace

QtRadioButton::QtRadioButton(QRadioButton& button) : button_(button) {
    UpdateTabStops(button_.parentWidget());
    QObject::connect(&button_, &QRadioButton::toggled, &button_,
                     [this] { UpdateTabStops(button_.parentWidget()); });
}

void QtRadioButton::Select() {
    button_.setChecked(true);
}

bool QtRadioButton::Selected() const {
    return button_.isChecked();
}

// ---- Combo box

QtComboBox::QtComboBox(QComboBox& box) : box_(box) {}

void QtComboBox::Clear() {
    box_.clear();
}

void QtComboBox::AddItems(const std::vector<std::string>& items) {
    const bool wasEmpty = box_.count() == 0;
    for (const std::string& item : items) {
        // The shown text may have lost bytes that are no UTF-8; the name itself rides along.
        box_.addItem(ToQt(item), QByteArray::fromStdString(item));
    }
    if (wasEmpty) {
        box_.setCurrentIndex(-1); // Qt selects the first entry added to an empty box
    }
}

int QtComboBox::Count() const {
    return box_.count();
}

std::string QtComboBox::Item(int index) const {
    const QVariant name = box_.itemData(index);
    return name.isValid() ? name.toByteArray().toStdString() : FromQt(box_.itemText(index));
}

int QtComboBox::ItemIndex() const {
    return box_.currentIndex();
}

void QtComboBox::SetItemIndex(int index) {
    box_.setCurrentIndex(index >= 0 && index < box_.count() ? index : -1);
}

std::string QtComboBox::Text() const {
    return box_.currentIndex() >= 0 ? Item(box_.currentIndex()) : FromQt(box_.currentText());
}

// ---- Button, progress bar, edit box

QtButton::QtButton(QAbstractButton& button) : button_(button) {}
void QtButton::SetEnabled(bool enabled) {
    button_.setEnabled(enabled);
}
bool QtButton::Enabled() const {
    return button_.isEnabled();
}

QtProgressBar::QtProgressBar(QProgressBar& bar) : bar_(bar) {}
void QtProgressBar::SetPosition(int position) {
    bar_.setValue(position);
}
int QtProgressBar::Position() const {
    return bar_.value();
}

QtEditBox::QtEditBox(QLineEdit& edit) : edit_(edit) {}
void QtEditBox::SetText(const std::string& text) {
    edit_.setText(ToQt(text));
}
std::string QtEditBox::Text() const {
    return FromQt(edit_.text());
}

// ---- Line buffer

QtLineBuffer::QtLineBuffer(QPlainTextEdit& memo) : memo_(memo) {}

void QtLineBuffer::Clear() {
    lines_.clear();
    memo_.clear();
}

void QtLineBuffer::SetLines(const std::vector<std::string>& lines) {
    lines_ = lines;
    QStringList texts;
    for (const std::string& line : lines_) {
        texts.append(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    }
    memo_.setPlainText(texts.join(u'\n'));
}

std::vector<std::string> QtLineBuffer::Lines() const {
    return lines_;
}

// ---- Dialogs

QtDialogs::QtDialogs(QWidget& owner) : owner_(owner) {}

bool QtDialogs::ConfirmOverwrite() {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("WARNING"),
                    QStringLiteral("Selecting OK will overwrite the current settings."),
                    QMessageBox::Ok | QMessageBox::Cancel, &owner_);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Ok;
}

void QtDialogs::ShowInformation(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), ToQt(text),
                    QMessageBox::Ok, &owner_);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void QtDialogs::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), ToQt(text), QMessageBox::Ok,
                    &owner_);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::optional<std::string> QtDialogs::OpenFile(const std::string& initialFolder) {
    QtFolderMemory memory;
    const DialogFolder folder =
        QtDialogFolder(QFile::decodeName(QByteArray::fromStdString(initialFolder)), memory);
    QFileDialog dialog(&owner_);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(folder.Initial())));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    const std::string path = QFile::encodeName(chosen).toStdString();
    folder.Opened(path);
    return path;
}

// ---- Sleep

void QtSleeper::Sleep(unsigned milliseconds) {
    QThread::msleep(milliseconds);
}

} // namespace tvk9
