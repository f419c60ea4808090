#include "app/qt/about_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace tvk9 {

namespace {

QFont Tahoma(int pixelSize) {
    QFont font;
    font.setFamilies({"Tahoma", "DejaVu Sans"});
    font.setPixelSize(pixelSize);
    return font;
}

// A caption sized to its text, as the stored size is for "Tahoma": a wider stand-in font must
// not clip it.
void Caption(QLabel& label, const QString& text, const QFont& font, const QRect& stored) {
    label.setTextFormat(Qt::PlainText);
    label.setText(text);
    label.setFont(font);
    label.setGeometry(stored);
    const QSize fit = label.sizeHint();
    label.resize(std::max(stored.width(), fit.width()), std::max(stored.height(), fit.height()));
}

} // namespace

TAboutForm::TAboutForm() : Button1(this), Label1(this), Label2(this) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About TVK9"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setFont(Tahoma(11));
    setFixedSize(339, 123);

    Label1.setObjectName(QStringLiteral("Label1"));
    Caption(Label1, QStringLiteral("TVK9  Programmer V1.0"), Tahoma(19), QRect(8, 16, 202, 23));
    Label2.setObjectName(QStringLiteral("Label2"));
    Caption(Label2, QString::fromUtf8("\xC2\xA9 2026 the TVK9 Programmer developers"), Tahoma(13),
            QRect(32, 45, 287, 16));

    Button1.setObjectName(QStringLiteral("Button1"));
    Button1.setText(QStringLiteral("ok"));
    Button1.setGeometry(232, 80, 75, 25);
    Button1.setDefault(false);
    Button1.setAutoDefault(true); // Enter presses the button while it has the focus
    Button1.setFocus();
    connect(&Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TAboutForm::ShowModal() {
    const QScreen* target = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (target != nullptr) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        target->availableGeometry()));
    }
    exec();
}

void TAboutForm::Button1Click() {
    close();
}

TAboutForm& AboutForms::Create() {
    forms_.push_back(std::make_unique<TAboutForm>());
    return *forms_.back();
}

} // namespace tvk9
