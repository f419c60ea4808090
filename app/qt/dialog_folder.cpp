#include "app/qt/dialog_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <utility>

namespace tvk9 {

namespace {

// Only this one value is kept: the dialog's own history stays out of it.
const QString LastFolderKey = QStringLiteral("FileDialog/LastFolder");

} // namespace

DialogFolder::DialogFolder(QString programFolder, QString memoryFile)
    : programFolder_(std::move(programFolder)), memoryFile_(std::move(memoryFile)),
      installed_(!QFileInfo(programFolder_).isWritable()) {}

QString DialogFolder::Initial() const {
    if (!installed_) {
        return programFolder_;
    }
    const QString last =
        QSettings(memoryFile_, QSettings::IniFormat).value(LastFolderKey).toString();
    return !last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath();
}

void DialogFolder::Opened(const QString& filePath) const {
    if (installed_) {
        QSettings(memoryFile_, QSettings::IniFormat)
            .setValue(LastFolderKey, QFileInfo(filePath).absolutePath());
    }
}

QString DialogFolder::DefaultMemoryFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tvk9-programmer/tvk9-programmer.conf");
}

} // namespace tvk9
