#include "app/qt/about_window.h"

#include "modal_watcher.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

namespace tvk9 {
namespace {

TEST(AboutWindow, HasItsCaptionSizeAndControls) {
    TAboutForm about;
    EXPECT_EQ(about.windowTitle(), "About TVK9");
    EXPECT_EQ(about.size(), QSize(339, 123));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "fixed size";
    EXPECT_FALSE(about.isVisible());

    EXPECT_EQ(about.Label1.text(), "TVK9  Programmer V1.0");
    EXPECT_EQ(about.Label1.font().pixelSize(), 19);
    EXPECT_EQ(about.Label2.font().pixelSize(), 13);
    // Captions keep their place and grow to their text where the font is wider.
    for (const auto& [label, stored] : {std::pair{&about.Label1, QRect(8, 16, 202, 23)},
                                        std::pair{&about.Label2, QRect(32, 45, 287, 16)}}) {
        EXPECT_EQ(label->pos(), stored.topLeft());
        EXPECT_GE(label->width(), stored.width());
        EXPECT_GE(label->height(), stored.height());
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width());
        EXPECT_LE(label->geometry().right(), about.width());
    }
    EXPECT_EQ(about.Button1.text(), "ok");
    EXPECT_EQ(about.Button1.geometry(), QRect(232, 80, 75, 25));
    EXPECT_EQ(about.font().pixelSize(), 11);
    EXPECT_FALSE(about.Button1.isDefault());

    // The ownership notice is one line that fits its label in the font actually used.
    const QString notice = about.Label2.text();
    EXPECT_FALSE(notice.isEmpty());
    EXPECT_FALSE(notice.contains(u'\n'));
    EXPECT_LE(QFontMetrics(about.Label2.font()).horizontalAdvance(notice), 287);

    EXPECT_EQ(about.Label1.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(about.Label2.focusPolicy(), Qt::NoFocus);
    EXPECT_NE(about.Button1.focusPolicy() & Qt::TabFocus, 0);
}

TEST(AboutWindow, ShowsModallyCentredWithTheButtonFocusedAndEnterOrEscapeClosesIt) {
    TAboutForm about;
    bool modal = false;
    QWidget* focused = nullptr;
    QRect shownAt;
    Qt::Key key = Qt::Key_Return;
    int closedByKey = 0;
    test::ModalWatcher watcher([&](QDialog& dialog) {
        modal = dialog.isModal();
        shownAt = dialog.geometry();
        focused = dialog.focusWidget();
        QTest::keyClick(dialog.focusWidget(), key);
        closedByKey += dialog.isVisible() ? 0 : 1;
        dialog.close(); // should the key have left it open
    });
    about.ShowModal(); // returns once Enter has closed it
    EXPECT_EQ(watcher.Dialogs(), 1);
    EXPECT_TRUE(modal);
    EXPECT_EQ(focused, &about.Button1);
    EXPECT_FALSE(about.isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(shownAt,
              QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(339, 123), screen));
    key = Qt::Key_Escape;
    about.ShowModal(); // and once more, closed by Escape
    EXPECT_EQ(closedByKey, 2);
}

TEST(AboutWindow, EachRequestMakesANewWindowAndTheEarlierOneStaysHidden) {
    AboutForms forms;
    EXPECT_EQ(forms.Current(), nullptr);
    TAboutForm& first = forms.Create();
    test::ModalWatcher watcher([](QDialog& dialog) {
        auto& about = static_cast<TAboutForm&>(dialog);
        about.Button1.click();
    });
    first.ShowModal();
    TAboutForm& second = forms.Create();
    second.ShowModal();
    EXPECT_EQ(watcher.Dialogs(), 2);
    EXPECT_NE(&first, &second);
    EXPECT_EQ(forms.Current(), &second);
    EXPECT_EQ(forms.Count(), 2u);
    EXPECT_FALSE(first.isVisible());
    EXPECT_FALSE(second.isVisible());
}

} // namespace
} // namespace tvk9
