#include "app/dialog_folder.h"

namespace tvk9 {

// A backslash is a character of a file's name here.
std::string_view PathSeparators() {
    return "/";
}

} // namespace tvk9
