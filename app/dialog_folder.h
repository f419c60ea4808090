#pragma once

// The folder in which the file-open dialog starts. A program run from its build or from an
// unpacked folder starts in its own folder. An installed program, whose folder the user cannot
// write to (/usr/bin, Program Files), starts in the folder of the last file opened, which it
// remembers across runs in the user's own settings, else in the home folder. Used on the
// user-interface thread, for one showing of the dialog.

#include <string>
#include <string_view>

namespace tvk9 {

// Where an installed program keeps the folder of the last file opened: one per front end.
class FolderMemory {
public:
    virtual ~FolderMemory() = default;
    // The folder kept; empty when none is kept or it is no folder any more.
    virtual std::string Recall() const = 0;
    virtual void Keep(const std::string& folder) = 0;
};

class DialogFolder {
public:
    // `programFolder`: the folder of the program's executable file; `installed`: the user cannot
    // write to it; `home`: the user's home folder. `memory` outlives the object.
    DialogFolder(std::string programFolder, bool installed, FolderMemory& memory, std::string home);

    std::string Initial() const;
    // An installed program remembers the folder of the file; others write nothing.
    void Opened(const std::string& filePath) const;

private:
    std::string programFolder_;
    bool installed_;
    FolderMemory& memory_;
    std::string home_;
};

// What separates the folders of a path: "/", and on Windows "\" as well.
std::string_view PathSeparators();

// The folder that holds a file: its path up to the last separator ('/', or '\' too on
// Windows), that separator kept only for a root ("/", "C:\").
std::string FolderOf(std::string_view filePath);

} // namespace tvk9
