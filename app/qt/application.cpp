#include "app/qt/application.h"

#include "app/form.h"
#include "app/program_text.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QStringList>

namespace tvk9 {

QString ApplicationTitle(const QString& programPath) {
    const std::string path = programPath.toLocal8Bit().toStdString();
    const std::string_view stem = ProgramStem(path);
    QString name = QString::fromLocal8Bit(stem.data(), static_cast<qsizetype>(stem.size()));
    if (name.size() > 1) {
        name = name.left(1) + name.mid(1).toLower();
    }
    return name;
}

QFont WindowFont() {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"});
    font.setPixelSize(WindowFontPixels);
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
                    QString::fromLocal8Bit(AsShown(message)), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace tvk9
