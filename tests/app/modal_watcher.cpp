#include "modal_watcher.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace tvk9::test {

ModalWatcher::ModalWatcher(Answer answer) : answer_(std::move(answer)) {
    qApp->installEventFilter(this);
}

ModalWatcher::~ModalWatcher() {
    qApp->removeEventFilter(this);
}

bool ModalWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog != nullptr && dialog->isWindow()) {
            // Answer once the dialog's own loop runs, not from inside its show().
            QPointer<QDialog> guard(dialog);
            QTimer::singleShot(0, this, [this, guard] {
                if (guard && guard->isVisible()) {
                    Handle(*guard);
                }
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

void ModalWatcher::Handle(QDialog& dialog) {
    ++dialogs_;
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    if (box == nullptr) {
        if (answer_) {
            answer_(dialog);
        } else {
            dialog.reject();
        }
        return;
    }
    BoxSeen seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.defaultButton = box->defaultButton() != nullptr ? box->standardButton(box->defaultButton())
                                                         : QMessageBox::NoButton;
    seen.applicationModal = box->windowModality() == Qt::ApplicationModal;
    boxes_.push_back(seen);
    QMessageBox::StandardButton pick =
        choose
            ? choose(seen)
            : (seen.defaultButton != QMessageBox::NoButton ? seen.defaultButton : QMessageBox::Ok);
    if (QAbstractButton* button = box->button(pick); button != nullptr) {
        button->click();
    } else {
        box->reject();
    }
}

void TypeAndAccept(QFileDialog& dialog, const QString& name) {
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (edit == nullptr) {
        dialog.reject();
        return;
    }
    edit->setText(name);
    static_cast<QDialog&>(dialog).accept(); // QFileDialog's accept checks the name
}

} // namespace tvk9::test
