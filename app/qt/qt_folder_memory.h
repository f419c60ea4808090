#pragma once

// The file dialog's folder rule (app/dialog_folder.h) on Qt: the folder of the last file opened
// is kept in $XDG_CONFIG_HOME/tvk9-programmer/tvk9-programmer.conf.

#include "app/dialog_folder.h"

#include <QString>

namespace tvk9 {

class QtFolderMemory final : public FolderMemory {
public:
    explicit QtFolderMemory(QString memoryFile = DefaultMemoryFile());
    std::string Recall() const override;
    void Keep(const std::string& folder) override;

    // $XDG_CONFIG_HOME/tvk9-programmer/tvk9-programmer.conf
    static QString DefaultMemoryFile();

private:
    QString memoryFile_;
};

// The rule for a program in `programFolder`: installed when the user cannot write there.
DialogFolder QtDialogFolder(const QString& programFolder, FolderMemory& memory);

} // namespace tvk9
