#include "app/dialog_folder.h"

#include <utility>

namespace tvk9 {

DialogFolder::DialogFolder(std::string programFolder, bool installed, FolderMemory& memory,
                           std::string home)
    : programFolder_(std::move(programFolder)), installed_(installed), memory_(memory),
      home_(std::move(home)) {}

std::string DialogFolder::Initial() const {
    if (!installed_) {
        return programFolder_;
    }
    const std::string last = memory_.Recall();
    return last.empty() ? home_ : last;
}

void DialogFolder::Opened(const std::string& filePath) const {
    if (installed_) {
        memory_.Keep(FolderOf(filePath));
    }
}

std::string FolderOf(std::string_view filePath) {
    const std::size_t last = filePath.find_last_of(PathSeparators());
    if (last == std::string_view::npos) {
        return {};
    }
    const bool root = last == 0 || (last == 2 && filePath[1] == ':');
    return std::string(filePath.substr(0, root ? last + 1 : last));
}

} // namespace tvk9
