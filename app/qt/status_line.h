#pragma once

// The status bar's line: what the programmer is doing and what went wrong.

#include "config/window_ports.h"

#include <QLabel>

namespace tvk9 {

// Holds the whole text (also shown as its tooltip) and draws what fits, cut with an ellipsis:
// a long message never widens the fixed-size window.
class StatusText final : public QLabel {
public:
    explicit StatusText(QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class QtStatusLine final : public StatusLine {
public:
    explicit QtStatusLine(QLabel& label) : label_(label) {}
    void Show(const std::string& text) override;

private:
    QLabel& label_;
};

} // namespace tvk9
