#pragma once

// The folder in which the file-open dialog starts. A program run from its build or from an
// unpacked folder starts in its own folder. An installed program, whose folder the user cannot
// write to (/usr/bin), starts in the folder of the last file opened, which it remembers across
// runs in the user's configuration folder, else in the home folder.

#include <QString>

namespace tvk9 {

class DialogFolder {
public:
    // `programFolder`: the folder of the program's executable file; `memoryFile`: where an
    // installed program keeps the folder of the last file opened.
    explicit DialogFolder(QString programFolder, QString memoryFile = DefaultMemoryFile());

    QString Initial() const;
    // An installed program remembers the folder of the file; others write nothing.
    void Opened(const QString& filePath) const;

    // $XDG_CONFIG_HOME/tvk9-programmer/tvk9-programmer.conf
    static QString DefaultMemoryFile();

private:
    QString programFolder_;
    QString memoryFile_;
    bool installed_;
};

} // namespace tvk9
