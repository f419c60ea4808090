#include "app/dialog_folder.h"

namespace tvk9 {

std::string_view PathSeparators() {
    return "\\/";
}

} // namespace tvk9
