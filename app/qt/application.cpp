#include "app/qt/application.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QStringList>

namespace tvk9 {

QString ApplicationTitle(const QString& programPath) {
    QString name = programPath.mid(programPath.lastIndexOf(u'/') + 1);
    name.truncate(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    if (name.size() > 1) {
        name = name.left(1) + name.mid(1).toLower();
    }
    return name;
}

QString ErrorBoxText(const std::string& message) {
    std::string text = message;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text += '.';
    }
    return QString::fromLocal8Bit(text);
}

QFont WindowFont() {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
    font.setPixelSize(11);
    return font;
}

void SetupApplication(QApplication& app) {
    // Only the name: a display name would be appended to every window caption.
    app.setApplicationName(ApplicationTitle(QCoreApplication::applicationFilePath()));
    QApplication::setStyle(QStringLiteral("Fusion"));
    // The program keeps nothing between runs. Qt's file dialog would read and write its
    // history and last folder in the user's settings; a path below a device file can be
    // neither read nor created.
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
    }
}

void ShowErrorBox(const std::string& message) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    ErrorBoxText(message), QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace tvk9
