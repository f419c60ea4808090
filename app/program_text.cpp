#include "app/program_text.h"

#include "app/dialog_folder.h"

namespace tvk9 {

std::string_view ProgramStem(std::string_view programPath) {
    const std::size_t folder = FolderOf(programPath).size();
    std::string_view name = programPath.substr(folder);
    if (!name.empty() && folder > 0 && (name.front() == '/' || name.front() == '\\')) {
        name.remove_prefix(1);
    }
    return name.substr(0, name.find('.'));
}

} // namespace tvk9
