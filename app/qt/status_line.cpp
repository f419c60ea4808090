#include "app/qt/status_line.h"

#include "app/qt/qt_adapters.h"

#include <QPainter>
#include <QStyle>

namespace tvk9 {

StatusText::StatusText(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

QSize StatusText::sizeHint() const {
    return {0, QLabel::sizeHint().height()};
}

QSize StatusText::minimumSizeHint() const {
    return sizeHint();
}

void StatusText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(),
                          shown, foregroundRole());
}

void QtStatusLine::Show(const std::string& text) {
    const QString line = ToQt(text);
    label_.setText(line);
    label_.setToolTip(line);
}

} // namespace tvk9
