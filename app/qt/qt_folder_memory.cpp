#include "app/qt/qt_folder_memory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <utility>

namespace tvk9 {

namespace {

// Only this one value is kept: the dialog's own history stays out of it.
const QString LastFolderKey = QStringLiteral("FileDialog/LastFolder");

std::string Encoded(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

QtFolderMemory::QtFolderMemory(QString memoryFile) : memoryFile_(std::move(memoryFile)) {}

std::string QtFolderMemory::Recall() const {
    const QString last =
        QSettings(memoryFile_, QSettings::IniFormat).value(LastFolderKey).toString();
    return !last.isEmpty() && QFileInfo(last).isDir() ? Encoded(last) : std::string();
}

void QtFolderMemory::Keep(const std::string& folder) {
    QSettings(memoryFile_, QSettings::IniFormat)
        .setValue(LastFolderKey, QFile::decodeName(QByteArray::fromStdString(folder)));
}

QString QtFolderMemory::DefaultMemoryFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tvk9-programmer/tvk9-programmer.conf");
}

DialogFolder QtDialogFolder(const QString& programFolder, FolderMemory& memory) {
    return DialogFolder(Encoded(programFolder), !QFileInfo(programFolder).isWritable(), memory,
                        Encoded(QDir::homePath()));
}

} // namespace tvk9
