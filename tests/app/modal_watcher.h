#pragma once

// Modal boxes block the code that opens them, so a test answers them from inside their own
// event loop: the watcher sees every dialog window being shown and, once that dialog's loop
// runs, hands it to the test's answer.

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace tvk9::test {

// What a message box showed.
struct BoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool applicationModal = false;
};

class ModalWatcher : public QObject {
public:
    using Answer = std::function<void(QDialog&)>;

    // Message boxes are recorded and then answered with their default button (or OK); every
    // other dialog goes to `answer`, which must close it.
    explicit ModalWatcher(Answer answer = {});
    ~ModalWatcher() override;
    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

    // Decides the button for each message box; the default picks its default button.
    std::function<QMessageBox::StandardButton(const BoxSeen&)> choose;

    const std::vector<BoxSeen>& Boxes() const { return boxes_; }
    int Dialogs() const { return dialogs_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Handle(QDialog& dialog);

    Answer answer_;
    std::vector<BoxSeen> boxes_;
    int dialogs_ = 0;
};

// Types a file name into the non-native file dialog, as a user would, and presses Open.
void TypeAndAccept(QFileDialog& dialog, const QString& name);

} // namespace tvk9::test
