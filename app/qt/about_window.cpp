#include "app/qt/about_window.h"

#include "app/form.h"

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
    const auto text = [](std::string_view utf8) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    };
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(text(AboutCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setFont(Tahoma(AboutFontPixels));
    setFixedSize(AboutWidth, AboutHeight);

    for (QLabel* label : {&Label1, &Label2}) {
        const AboutLabelForm& form = AboutLabels[label == &Label1 ? 0 : 1];
        label->setObjectName(text(form.name));
        Caption(*label, text(form.text), Tahoma(form.fontPixels),
                QRect(form.rect.left, form.rect.top, form.rect.width, form.rect.height));
    }

    const Rect& place = AboutButton.rect;
    Button1.setObjectName(text(AboutButton.name));
    Button1.setText(text(AboutButton.text));
    Button1.setGeometry(place.left, place.top, place.width, place.height);
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
